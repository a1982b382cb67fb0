#pragma once

// A view that the user operates: it has a label, a value and an enabled
// state, and sends a copy of its model message to its target (the window,
// unless another target is set) when it is invoked. The copy carries
// "when", "source" (the control) and "be:value".

#include <string>

#include <Invoker.h>
#include <View.h>

enum { B_CONTROL_OFF = 0, B_CONTROL_ON = 1 };

class BControl : public BView, public BInvoker
{
public:
    BControl(BRect frame, const char* name, const char* label, BMessage* message,
             uint32 resizingMode, uint32 flags);
    ~BControl() override;

    void AttachedToWindow() override;
    void MessageReceived(BMessage* message) override;
    void MakeFocus(bool focus = true) override;
    // Space and Enter invoke a focused control.
    void KeyDown(const char* bytes, int32 numBytes) override;

    virtual void SetLabel(const char* label);
    const char* Label() const { return fHasLabel ? fLabel.c_str() : nullptr; }
    virtual void SetValue(int32 value);
    int32 Value() const { return fValue; }
    void SetValueNoUpdate(int32 value) { fValue = value; }
    virtual void SetEnabled(bool enabled);
    bool IsEnabled() const { return fEnabled; }
    // Disabled controls are passed over by Tab.
    bool _AcceptsNavigation() const override;

    status_t Invoke(BMessage* message = nullptr) override;

    bool IsTracking() const { return fTracking; }
    void SetTracking(bool tracking) { fTracking = tracking; }

private:
    std::string fLabel;
    bool fHasLabel;
    int32 fValue;
    bool fEnabled;
    bool fTracking;
};
