#pragma once

// The reading-and-typing area of every server, channel and private window:
// the read-only output "srv_txt" in the scroll view "TextScroller", an
// engraved separator, and the input line "message" below.
//
// Windows print through w_print in a print kind (0 to 5) that picks the
// colour from irc_color. The output keeps at most 16384 bytes: the oldest
// whole lines go first. A reader at the end follows new text; one who has
// scrolled up keeps the same lines in view.

#include <View.h>

class BWindow;

class IRCView : public BView
{
public:
    // `window` is not used; the caller adds the view to its parent.
    IRCView(BWindow* window, BRect frame);
    ~IRCView() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void AllAttached() override;
    void DetachedFromWindow() override;
    void Draw(BRect update) override;
    void KeyDown(const char* bytes, int32 numBytes) override;
    void FrameResized(float width, float height) override;

    void w_print(const char* text, int kind);
    void set_brodcast(bool brodcast) { m_brodcast = brodcast; }

private:
    bool m_brodcast;
};
