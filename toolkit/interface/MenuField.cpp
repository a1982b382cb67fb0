#include "MenuField.h"

#include <cmath>

#include <Message.h>

#include "ControlLook.h"
#include "Menu.h"
#include "MenuItem.h"
#include "MenuPrivate.h"
#include "PopUpMenu.h"
#include "Window.h"

using namespace BPrivate;

namespace
{

using Guard = std::lock_guard<std::recursive_mutex>;

const float kLabelGap = 8;
const float kTextInset = 6;
const float kArrowRoom = 16;

// The longest start of `text` (whole UTF-8 characters) that fits, with an
// ellipsis when it had to be cut.
std::string fitted(const BFont& font, const std::string& text, float width)
{
    if (font.StringWidth(text.c_str()) <= width)
        return text;
    const std::string ellipsis = "\xE2\x80\xA6";
    size_t length = text.size();
    while (length > 0) {
        do
            length--;
        while (length > 0 && (uint8(text[length]) & 0xC0) == 0x80);
        std::string cut = text.substr(0, length) + ellipsis;
        if (font.StringWidth(cut.c_str()) <= width)
            return cut;
    }
    return std::string();
}

} // namespace

BMenuField::BMenuField(BRect frame, const char* name, const char* label, BMenu* menu,
                       uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags), fLabel(label != nullptr ? label : ""),
      fHasLabel(label != nullptr), fMenu(nullptr), fItem(nullptr), fDivider(0), fEnabled(true),
      fFilter(nullptr)
{
    // A menu that already shows elsewhere cannot be ours too.
    if (menu == nullptr || menu->Superitem() != nullptr)
        menu = new BPopUpMenu("");
    fItem = new BMenuItem(menu);
    fMenu = menu;
    if (fHasLabel && !fLabel.empty())
        fDivider = std::ceil(StringWidth(fLabel.c_str())) + kLabelGap;
    float width, height;
    GetPreferredSize(&width, &height);
    if (Frame().Height() < height)
        ResizeTo(Frame().Width(), height);
    SetViewColor(kPanelColor);
    SetLowColor(kPanelColor);
}

BMenuField::~BMenuField()
{
    if (Window() != nullptr)
        LeaveWindow();
    // The item owns the menu.
    delete fItem;
}

void BMenuField::AttachedToWindow()
{
    if (Parent() != nullptr && Parent()->ViewColor() != B_TRANSPARENT_COLOR) {
        SetViewColor(Parent()->ViewColor());
        SetLowColor(Parent()->ViewColor());
    }
    Guard guard(menu_lock());
    fMenu->fOwner = BMessenger(this);
    fMenu->fDefaultTarget = BMessenger(Window());
    fFilter = new MenuClickFilter(this, fMenu);
    Window()->AddCommonFilter(fFilter);
}

void BMenuField::DetachedFromWindow()
{
    LeaveWindow();
}

void BMenuField::LeaveWindow()
{
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fMenu->fTracking;
    if (tracking && !tracking->done)
        tracking->End(nullptr);
    fMenu->fOwner = BMessenger();
    fMenu->fDefaultTarget = BMessenger();
    fMenu->fChangePosted = false;
    if (fFilter != nullptr) {
        Window()->RemoveCommonFilter(fFilter);
        delete fFilter;
        fFilter = nullptr;
    }
}

void BMenuField::GetPreferredSize(float* width, float* height)
{
    BFont font;
    GetFont(&font);
    font_height metrics;
    font.GetHeight(&metrics);
    float widest = 0;
    {
        Guard guard(menu_lock());
        for (int32 i = 0; i < fMenu->CountItems(); i++)
            widest = std::max(widest, font.StringWidth(fMenu->ItemAt(i)->Label()));
        widest = std::max(widest, font.StringWidth(fItem->Label()));
    }
    if (width != nullptr)
        *width = fDivider + std::ceil(widest) + 2 * kTextInset + kArrowRoom;
    if (height != nullptr)
        *height = std::ceil(metrics.ascent + metrics.descent + metrics.leading) + 8;
}

void BMenuField::ResizeToPreferred()
{
    float width, height;
    GetPreferredSize(&width, &height);
    ResizeTo(width, height);
}

BRect BMenuField::BoxFrame() const
{
    BRect bounds = Bounds();
    return BRect(bounds.left + fDivider, bounds.top, bounds.right, bounds.bottom);
}

bool BMenuField::IsOpen() const
{
    Guard guard(menu_lock());
    return fMenu->fTracking && !fMenu->fTracking->done && fMenu->fTracking->root == fMenu;
}

void BMenuField::Draw(BRect)
{
    BFont font;
    GetFont(&font);
    font_height metrics;
    font.GetHeight(&metrics);
    BRect bounds = Bounds();
    float baseline =
        std::floor((bounds.top + bounds.bottom + metrics.ascent - metrics.descent) / 2);
    if (fHasLabel && fDivider > 0) {
        SetHighColor(fEnabled ? kTextColor : kDisabledText);
        std::string label = fitted(font, fLabel, fDivider - 2);
        DrawString(label.c_str(), BPoint(bounds.left, baseline));
    }

    BRect box = BoxFrame();
    if (!box.IsValid() || box.Width() < 4)
        return;
    bool open = IsOpen();
    SetHighColor(kPanelColor);
    FillRect(box.InsetByCopy(2, 2));
    draw_framed_bevel(this, box, open);

    std::string text;
    {
        Guard guard(menu_lock());
        text = fItem->Label();
    }
    float room = box.Width() - 2 * kTextInset - kArrowRoom;
    text = fitted(font, text, std::max(room, 0.0f));
    SetHighColor(fEnabled ? kTextColor : kDisabledText);
    DrawString(text.c_str(), BPoint(box.left + kTextInset, baseline));
    if (IsFocus() && Window() != nullptr && Window()->IsActive()) {
        SetHighColor(kFocusColor);
        float width = std::ceil(font.StringWidth(text.c_str()));
        StrokeLine(BPoint(box.left + kTextInset, baseline + 2),
                   BPoint(box.left + kTextInset + std::max(width, 4.0f), baseline + 2));
    }
    // The arrow that says a menu opens here.
    float middle = std::floor((box.top + box.bottom) / 2);
    float right = box.right - 6;
    SetHighColor(fEnabled ? kTextColor : kDisabledText);
    FillTriangle(BPoint(right - 8, middle - 2), BPoint(right, middle - 2),
                 BPoint(right - 4, middle + 2));
}

void BMenuField::OpenMenu(bool fromKeyboard)
{
    if (Window() == nullptr)
        return;
    BRect box = ConvertToScreen(BoxFrame());
    BRect screen = screen_frame(box.LeftTop());
    Guard guard(menu_lock());
    if (IsOpen())
        return;
    auto tracking = std::make_shared<MenuTracking>();
    tracking->root = fMenu;
    tracking->opener = BMessenger(this);
    tracking->openerFrame = box;
    tracking->openerWindowFrame = Window()->Frame();
    tracking->screen = screen;
    uint32 buttons;
    pointer_state(&tracking->lastPointer, &buttons, &tracking->lastPresses);
    tracking->lastButtons = buttons;
    tracking->sticky = fromKeyboard || buttons == 0;
    fMenu->fMinWidth = box.Width() + 1;
    tracking->OpenMenu(fMenu, box.LeftBottom() + BPoint(0, 1), 0);
    if (fromKeyboard) {
        // Start from the current choice.
        BMenuItem* marked = fMenu->FindMarked();
        if (fMenu->IsChoosable(marked))
            fMenu->fHighlight = fMenu->IndexOf(marked);
        else
            fMenu->SelectFirstItem();
    }
    Invalidate();
}

void BMenuField::MouseDown(BPoint where)
{
    {
        Guard guard(menu_lock());
        if (IsOpen()) {
            // Another click on the field closes the menu.
            fMenu->fTracking->End(nullptr);
            Invalidate();
            return;
        }
    }
    if (fEnabled && BoxFrame().Contains(where))
        OpenMenu(false);
}

void BMenuField::MouseUp(BPoint where)
{
    Guard guard(menu_lock());
    std::shared_ptr<MenuTracking> tracking = fMenu->fTracking;
    if (tracking && !tracking->done && !tracking->sticky)
        tracking->Release(ConvertToScreen(where));
}

void BMenuField::KeyDown(const char* bytes, int32 numBytes)
{
    if (numBytes == 1 && fEnabled &&
        (bytes[0] == B_SPACE || bytes[0] == B_ENTER || bytes[0] == B_DOWN_ARROW ||
         bytes[0] == B_UP_ARROW)) {
        OpenMenu(true);
        return;
    }
    BView::KeyDown(bytes, numBytes);
}

void BMenuField::MakeFocus(bool focus)
{
    if (focus == IsFocus())
        return;
    BView::MakeFocus(focus);
    Invalidate();
}

void BMenuField::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case kMenuChanged: {
        Guard guard(menu_lock());
        fMenu->fChangePosted = false;
        Invalidate();
        return;
    }
    case kMenuEnded:
        Invalidate();
        return;
    default:
        BView::MessageReceived(message);
        return;
    }
}

void BMenuField::SetLabel(const char* label)
{
    fLabel = label != nullptr ? label : "";
    fHasLabel = label != nullptr;
    Invalidate();
}

void BMenuField::SetEnabled(bool enabled)
{
    if (enabled == fEnabled)
        return;
    fEnabled = enabled;
    if (!enabled) {
        Guard guard(menu_lock());
        if (IsOpen())
            fMenu->fTracking->End(nullptr);
    }
    Invalidate();
}

void BMenuField::SetDivider(float divider)
{
    divider = std::round(divider);
    if (!(divider >= 0)) // NaN too
        divider = 0;
    fDivider = std::min(divider, 32768.0f);
    Invalidate();
}
