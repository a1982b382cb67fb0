#pragma once

// A small modal window with a text and up to three buttons. Go() shows it
// and waits until a button is pressed, returning its index; the alert then
// closes and deletes itself. Go() may be called from any thread, also from
// the main thread before the application runs or after it has ended: the
// caller then pumps the display itself while it waits.

#include <memory>
#include <string>

#include <Window.h>

class BInvoker;

enum alert_type { B_EMPTY_ALERT = 0, B_INFO_ALERT, B_IDEA_ALERT, B_WARNING_ALERT, B_STOP_ALERT };

enum button_width { B_WIDTH_AS_USUAL, B_WIDTH_FROM_WIDEST, B_WIDTH_FROM_LABEL };

namespace BPrivate
{
struct AlertResult;
}

class BAlert : public BWindow
{
public:
    BAlert(const char* title, const char* text, const char* button0, const char* button1 = nullptr,
           const char* button2 = nullptr, button_width width = B_WIDTH_AS_USUAL,
           alert_type type = B_INFO_ALERT);
    ~BAlert() override;

    // Shows the alert and returns the index of the button pressed (-1 when
    // the alert went away without one).
    int32 Go();
    // Shows the alert and returns at once; the invoker's message is sent
    // with "which" = the button's index when one is pressed.
    status_t Go(BInvoker* invoker);

    void SetShortcut(int32 index, char key);
    const char* Text() const { return fText.c_str(); }
    int32 CountButtons() const { return fButtonCount; }
    const char* ButtonLabel(int32 index) const;
    alert_type Type() const { return fType; }

    void MessageReceived(BMessage* message) override;

private:
    friend class AlertView;

    void Choose(int32 index);

    std::string fText;
    std::string fLabels[3];
    char fShortcuts[3];
    int32 fButtonCount;
    alert_type fType;
    std::shared_ptr<BPrivate::AlertResult> fResult;
    BInvoker* fInvoker;
};
