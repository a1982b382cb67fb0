#include "Control.h"

#include <Message.h>

#include "ControlLook.h"
#include "Window.h"

BControl::BControl(BRect frame, const char* name, const char* label, BMessage* message,
                   uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags), BInvoker(message, nullptr),
      fLabel(label != nullptr ? label : ""), fHasLabel(label != nullptr), fValue(0), fEnabled(true),
      fTracking(false)
{
    SetViewColor(BPrivate::kPanelColor);
    SetLowColor(BPrivate::kPanelColor);
}

BControl::~BControl() {}

void BControl::AttachedToWindow()
{
    // Controls take on their parent's colours, and without a target of
    // their own they deliver to their window.
    if (Parent() != nullptr && Parent()->ViewColor() != B_TRANSPARENT_COLOR) {
        SetViewColor(Parent()->ViewColor());
        SetLowColor(Parent()->ViewColor());
    }
    if (Target() == nullptr && !Messenger().IsValid())
        SetTarget(Window());
    BView::AttachedToWindow();
}

void BControl::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}

bool BControl::_AcceptsNavigation() const
{
    return fEnabled && BView::_AcceptsNavigation();
}

void BControl::MakeFocus(bool focus)
{
    if (focus == IsFocus())
        return;
    BView::MakeFocus(focus);
    Invalidate();
}

void BControl::KeyDown(const char* bytes, int32 numBytes)
{
    if (numBytes == 1 && (bytes[0] == B_SPACE || bytes[0] == B_ENTER) && fEnabled) {
        SetValue(fValue ? B_CONTROL_OFF : B_CONTROL_ON);
        Invoke();
        return;
    }
    BView::KeyDown(bytes, numBytes);
}

void BControl::SetLabel(const char* label)
{
    fLabel = label != nullptr ? label : "";
    fHasLabel = label != nullptr;
    Invalidate();
}

void BControl::SetValue(int32 value)
{
    if (value == fValue)
        return;
    fValue = value;
    Invalidate();
}

void BControl::SetEnabled(bool enabled)
{
    if (enabled == fEnabled)
        return;
    fEnabled = enabled;
    Invalidate();
}

status_t BControl::Invoke(BMessage* message)
{
    BMessage copy;
    if (_StampedCopy(message, this, &copy) != B_OK)
        return B_BAD_VALUE;
    copy.AddInt32("be:value", fValue);
    return BInvoker::Invoke(&copy);
}
