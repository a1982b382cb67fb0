#include "View.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstring>

#include <AppDefs.h>
#include <DisplayServer.h>
#include <Message.h>

#include "DisplayInit.h"
#include "ScrollBar.h"
#include "Window.h"

namespace
{

const rgb_color kDefaultViewColor = {216, 216, 216, 255};
const rgb_color kBlack = {0, 0, 0, 255};
const rgb_color kWhite = {255, 255, 255, 255};

} // namespace

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BHandler(name), fWindow(nullptr), fParent(nullptr),
      fFrame(std::round(frame.left), std::round(frame.top), std::round(frame.right),
             std::round(frame.bottom)),
      fResizingMode(resizingMode), fFlags(flags), fHideLevel(0), fViewColor(kDefaultViewColor),
      fHighColor(kBlack), fLowColor(kWhite), fPenSize(1), fDrawingMode(B_OP_COPY),
      fFont(*be_plain_font), fContext(nullptr), fVerticalBar(nullptr), fHorizontalBar(nullptr),
      fCursor(nullptr)
{
}

BView::~BView()
{
    // Scroll bars that still target this view must not keep a pointer to it.
    for (BView* bar : {fVerticalBar, fHorizontalBar}) {
        if (bar != nullptr && bar != this) {
            if (auto* scrollBar = dynamic_cast<BScrollBar*>(bar))
                scrollBar->SetTarget(nullptr);
        }
    }
    if (fParent != nullptr)
        fParent->RemoveChild(this);
    else if (fWindow != nullptr)
        _Detach();
    for (BView* child : std::vector<BView*>(fChildren)) {
        child->fParent = nullptr;
        delete child;
    }
    fChildren.clear();
}

// -- hooks -----------------------------------------------------------------------------

void BView::AttachedToWindow() {}

void BView::AllAttached() {}

void BView::DetachedFromWindow() {}

void BView::AllDetached() {}

void BView::Draw(BRect) {}

void BView::DrawAfterChildren(BRect) {}

void BView::MouseDown(BPoint) {}

void BView::MouseUp(BPoint) {}

void BView::MouseMoved(BPoint, uint32, const BMessage*) {}

void BView::KeyDown(const char* bytes, int32 numBytes)
{
    // Tab that no view took moves the focus on, Shift+Tab back.
    if (fWindow != nullptr && numBytes == 1 && bytes != nullptr && bytes[0] == B_TAB) {
        int32 modifiers = 0;
        if (BMessage* message = fWindow->CurrentMessage())
            message->FindInt32("modifiers", &modifiers);
        fWindow->_NavigateFocus((modifiers & B_SHIFT_KEY) == 0);
    }
}

void BView::KeyUp(const char*, int32) {}

void BView::FrameMoved(BPoint) {}

void BView::FrameResized(float, float) {}

void BView::Pulse() {}

void BView::WindowActivated(bool) {}

void BView::TargetedByScrollView(BScrollView*) {}

void BView::MessageReceived(BMessage* message)
{
    if (message->what == B_MOUSE_WHEEL_CHANGED) {
        float dx = 0, dy = 0;
        message->FindFloat("be:wheel_delta_x", &dx);
        message->FindFloat("be:wheel_delta_y", &dy);
        if (fVerticalBar != nullptr && dy != 0)
            fVerticalBar->_ScrollWheel(dy);
        else if (fHorizontalBar != nullptr && (dx != 0 || dy != 0))
            fHorizontalBar->_ScrollWheel(dx != 0 ? dx : dy);
        return;
    }
    BHandler::MessageReceived(message);
}

void BView::MakeFocus(bool focus)
{
    if (fWindow != nullptr)
        fWindow->_SetFocus(this, focus);
}

bool BView::_AcceptsNavigation() const
{
    return (fFlags & B_NAVIGABLE) != 0 && !IsHidden();
}

void BView::SetViewCursor(const BCursor* cursor, bool)
{
    if (cursor == fCursor)
        return;
    fCursor = cursor;
    if (fWindow != nullptr)
        fWindow->_CursorChanged();
}

bool BView::IsFocus() const
{
    return fWindow != nullptr && fWindow->CurrentFocus() == this;
}

void BView::SetFlags(uint32 flags)
{
    bool pulseBefore = (fFlags & B_PULSE_NEEDED) != 0;
    bool pulseAfter = (flags & B_PULSE_NEEDED) != 0;
    fFlags = flags;
    if (fWindow != nullptr && pulseBefore != pulseAfter)
        fWindow->_PulseViewsChanged(pulseAfter ? 1 : -1);
}

void BView::SetResizingMode(uint32 mode)
{
    fResizingMode = mode;
}

void BView::Show()
{
    if (fHideLevel > 0 && --fHideLevel == 0)
        InvalidateScreenArea();
}

void BView::Hide()
{
    if (fHideLevel++ == 0)
        InvalidateScreenArea();
}

bool BView::IsHidden() const
{
    for (const BView* view = this; view != nullptr; view = view->fParent) {
        if (view->fHideLevel > 0)
            return true;
    }
    return false;
}

// -- the tree ------------------------------------------------------------------------------

void BView::AddChild(BView* child, BView* before)
{
    if (child == nullptr || child->fParent != nullptr || child == this)
        return;
    auto at = std::find(fChildren.begin(), fChildren.end(), before);
    fChildren.insert(at, child);
    child->fParent = this;
    if (fWindow != nullptr) {
        child->_Attach(fWindow);
        child->InvalidateScreenArea();
    }
}

bool BView::RemoveChild(BView* child)
{
    auto found = std::find(fChildren.begin(), fChildren.end(), child);
    if (child == nullptr || found == fChildren.end())
        return false;
    if (fWindow != nullptr) {
        child->InvalidateScreenArea();
        child->_Detach();
    }
    fChildren.erase(std::find(fChildren.begin(), fChildren.end(), child));
    child->fParent = nullptr;
    return true;
}

bool BView::RemoveSelf()
{
    return fParent != nullptr && fParent->RemoveChild(this);
}

BView* BView::ChildAt(int32 index) const
{
    if (index < 0 || size_t(index) >= fChildren.size())
        return nullptr;
    return fChildren[size_t(index)];
}

BView* BView::NextSibling() const
{
    if (fParent == nullptr)
        return nullptr;
    auto& siblings = fParent->fChildren;
    auto at = std::find(siblings.begin(), siblings.end(), this);
    return at == siblings.end() || at + 1 == siblings.end() ? nullptr : *(at + 1);
}

BView* BView::PreviousSibling() const
{
    if (fParent == nullptr)
        return nullptr;
    auto& siblings = fParent->fChildren;
    auto at = std::find(siblings.begin(), siblings.end(), this);
    return at == siblings.begin() || at == siblings.end() ? nullptr : *(at - 1);
}

BView* BView::FindView(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    for (BView* child : fChildren) {
        if (child->Name() != nullptr && strcmp(child->Name(), name) == 0)
            return child;
        if (BView* found = child->FindView(name))
            return found;
    }
    return nullptr;
}

void BView::_Attach(BWindow* window)
{
    fWindow = window;
    window->AddHandler(this);
    SetNextHandler(fParent != nullptr ? static_cast<BHandler*>(fParent)
                                      : static_cast<BHandler*>(window));
    window->_ViewAttached(this);
    AttachedToWindow();
    // A child that AttachedToWindow added is in the window already.
    for (BView* child : std::vector<BView*>(fChildren)) {
        if (child->fWindow == nullptr)
            child->_Attach(window);
    }
    AllAttached();
}

void BView::_Detach()
{
    if (fWindow == nullptr)
        return;
    DetachedFromWindow();
    for (BView* child : std::vector<BView*>(fChildren))
        child->_Detach();
    AllDetached();
    fWindow->_ViewDetached(this);
    fWindow->RemoveHandler(this);
    SetNextHandler(nullptr);
    fWindow = nullptr;
}

// -- geometry --------------------------------------------------------------------------------

BRect BView::Bounds() const
{
    return BRect(fOrigin.x, fOrigin.y, fOrigin.x + fFrame.Width(), fOrigin.y + fFrame.Height());
}

void BView::MoveTo(BPoint where)
{
    MoveTo(where.x, where.y);
}

void BView::MoveTo(float x, float y)
{
    x = std::round(x);
    y = std::round(y);
    if (x == fFrame.left && y == fFrame.top)
        return;
    InvalidateScreenArea();
    fFrame.OffsetTo(x, y);
    InvalidateScreenArea();
    if ((fFlags & B_FRAME_EVENTS) != 0)
        FrameMoved(fFrame.LeftTop());
}

void BView::MoveBy(float dx, float dy)
{
    MoveTo(fFrame.left + dx, fFrame.top + dy);
}

void BView::ResizeTo(float width, float height)
{
    width = std::round(width);
    height = std::round(height);
    float dx = width - fFrame.Width();
    float dy = height - fFrame.Height();
    if (dx == 0 && dy == 0)
        return;
    InvalidateScreenArea();
    fFrame.right = fFrame.left + width;
    fFrame.bottom = fFrame.top + height;
    for (BView* child : std::vector<BView*>(fChildren))
        child->_ParentResized(dx, dy);
    InvalidateScreenArea();
    if ((fFlags & B_FRAME_EVENTS) != 0)
        FrameResized(width, height);
}

void BView::ResizeBy(float dx, float dy)
{
    ResizeTo(fFrame.Width() + dx, fFrame.Height() + dy);
}

void BView::_ParentResized(float dx, float dy)
{
    uint32 left = (fResizingMode >> 12) & 0xf, top = (fResizingMode >> 8) & 0xf,
           right = (fResizingMode >> 4) & 0xf, bottom = fResizingMode & 0xf;
    auto shift = [](uint32 rule, float delta, uint32 far) {
        if (rule == far)
            return delta;
        if (rule == _VIEW_CENTER_)
            return std::round(delta / 2);
        return 0.0f;
    };
    BRect frame = fFrame;
    frame.left += shift(left, dx, _VIEW_RIGHT_);
    frame.right += shift(right, dx, _VIEW_RIGHT_);
    frame.top += shift(top, dy, _VIEW_BOTTOM_);
    frame.bottom += shift(bottom, dy, _VIEW_BOTTOM_);
    if (frame.LeftTop() != fFrame.LeftTop())
        MoveTo(frame.LeftTop());
    if (frame.Width() != fFrame.Width() || frame.Height() != fFrame.Height())
        ResizeTo(frame.Width(), frame.Height());
}

void BView::ScrollTo(BPoint where)
{
    where.Set(std::round(where.x), std::round(where.y));
    if (where == fOrigin)
        return;
    fOrigin = where;
    if (fVerticalBar != nullptr)
        fVerticalBar->_TargetScrolled(where.y);
    if (fHorizontalBar != nullptr)
        fHorizontalBar->_TargetScrolled(where.x);
    Invalidate();
}

void BView::ScrollBy(float dx, float dy)
{
    ScrollTo(BPoint(fOrigin.x + dx, fOrigin.y + dy));
}

void BView::_SetScrollBar(orientation direction, BView* bar)
{
    (direction == B_VERTICAL ? fVerticalBar : fHorizontalBar) = bar;
}

void BView::_ScrollWheel(float) {}

void BView::_TargetScrolled(float) {}

BPoint BView::_ToWindow(BPoint point) const
{
    for (const BView* view = this; view != nullptr; view = view->fParent)
        point = point - view->fOrigin + view->fFrame.LeftTop();
    return point;
}

BRect BView::_ToWindow(BRect rect) const
{
    BPoint offset = _ToWindow(BPoint(0, 0));
    return rect.OffsetByCopy(offset.x, offset.y);
}

BPoint BView::_FromWindow(BPoint point) const
{
    return point - _ToWindow(BPoint(0, 0));
}

BRect BView::_VisibleInWindow() const
{
    BRect visible = _ToWindow(Bounds());
    for (const BView* view = fParent; view != nullptr; view = view->fParent)
        visible = visible & view->_ToWindow(view->Bounds());
    return visible;
}

BPoint BView::ConvertToParent(BPoint point) const
{
    return point - fOrigin + fFrame.LeftTop();
}

BRect BView::ConvertToParent(BRect rect) const
{
    BPoint offset = fFrame.LeftTop() - fOrigin;
    return rect.OffsetByCopy(offset.x, offset.y);
}

BPoint BView::ConvertFromParent(BPoint point) const
{
    return point - fFrame.LeftTop() + fOrigin;
}

BRect BView::ConvertFromParent(BRect rect) const
{
    BPoint offset = fOrigin - fFrame.LeftTop();
    return rect.OffsetByCopy(offset.x, offset.y);
}

void BView::ConvertToScreen(BPoint* point) const
{
    *point = ConvertToScreen(*point);
}

BPoint BView::ConvertToScreen(BPoint point) const
{
    BPoint inWindow = _ToWindow(point);
    return fWindow != nullptr ? fWindow->ConvertToScreen(inWindow) : inWindow;
}

void BView::ConvertToScreen(BRect* rect) const
{
    *rect = ConvertToScreen(*rect);
}

BRect BView::ConvertToScreen(BRect rect) const
{
    BPoint offset = ConvertToScreen(BPoint(0, 0));
    return rect.OffsetByCopy(offset.x, offset.y);
}

void BView::ConvertFromScreen(BPoint* point) const
{
    *point = ConvertFromScreen(*point);
}

BPoint BView::ConvertFromScreen(BPoint point) const
{
    return point - ConvertToScreen(BPoint(0, 0));
}

void BView::ConvertFromScreen(BRect* rect) const
{
    *rect = ConvertFromScreen(*rect);
}

BRect BView::ConvertFromScreen(BRect rect) const
{
    BPoint offset = ConvertToScreen(BPoint(0, 0));
    return rect.OffsetByCopy(-offset.x, -offset.y);
}

BView* BView::_ViewAt(BPoint windowPoint)
{
    if (fHideLevel > 0 || !_VisibleInWindow().Contains(windowPoint))
        return nullptr;
    // Later children lie on top of earlier ones.
    for (auto it = fChildren.rbegin(); it != fChildren.rend(); ++it) {
        if (BView* found = (*it)->_ViewAt(windowPoint))
            return found;
    }
    return this;
}

// -- updating ----------------------------------------------------------------------------------

void BView::InvalidateScreenArea()
{
    if (fWindow == nullptr)
        return;
    BRect visible = _VisibleInWindow();
    if (visible.IsValid())
        fWindow->_Invalidate(visible);
}

void BView::Invalidate()
{
    InvalidateScreenArea();
}

void BView::Invalidate(BRect rect)
{
    if (fWindow == nullptr)
        return;
    BRect area = _ToWindow(rect) & _VisibleInWindow();
    if (area.IsValid())
        fWindow->_Invalidate(area);
}

void BView::_PrepareTree()
{
    if (fHideLevel > 0)
        return;
    _Prepare();
    for (BView* child : std::vector<BView*>(fChildren))
        child->_PrepareTree();
}

void BView::_DrawTree(_cairo* context, const std::vector<BRect>& region)
{
    if (fHideLevel > 0)
        return;
    BRect visible = _VisibleInWindow();
    if (!visible.IsValid())
        return;
    std::vector<BRect> clips;
    BRect update;
    for (const BRect& rect : region) {
        BRect clip = rect & visible;
        if (!clip.IsValid())
            continue;
        clips.push_back(clip);
        update = update.IsValid() ? update | clip : clip;
    }
    if (clips.empty())
        return;

    cairo_t* cr = static_cast<cairo_t*>(context);
    cairo_save(cr);
    cairo_new_path(cr);
    for (const BRect& clip : clips)
        cairo_rectangle(cr, clip.left, clip.top, clip.Width() + 1, clip.Height() + 1);
    cairo_clip(cr);
    BPoint origin = _ToWindow(BPoint(0, 0));
    cairo_translate(cr, origin.x, origin.y);
    if (fViewColor != B_TRANSPARENT_COLOR) {
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgb(cr, fViewColor.red / 255.0, fViewColor.green / 255.0,
                             fViewColor.blue / 255.0);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    BRect updateInView = update.OffsetByCopy(-origin.x, -origin.y);
    fContext = context;
    if ((fFlags & B_WILL_DRAW) != 0)
        Draw(updateInView);
    fContext = nullptr;
    cairo_restore(cr);

    for (BView* child : std::vector<BView*>(fChildren))
        child->_DrawTree(context, region);

    if ((fFlags & B_DRAW_ON_CHILDREN) != 0) {
        cairo_save(cr);
        cairo_new_path(cr);
        for (const BRect& clip : clips)
            cairo_rectangle(cr, clip.left, clip.top, clip.Width() + 1, clip.Height() + 1);
        cairo_clip(cr);
        cairo_translate(cr, origin.x, origin.y);
        fContext = context;
        DrawAfterChildren(updateInView);
        fContext = nullptr;
        cairo_restore(cr);
    }
}

void BView::_PulseTree()
{
    if ((fFlags & B_PULSE_NEEDED) != 0)
        Pulse();
    for (BView* child : std::vector<BView*>(fChildren))
        child->_PulseTree();
}

void BView::_WindowActivatedTree(bool active)
{
    WindowActivated(active);
    for (BView* child : std::vector<BView*>(fChildren))
        child->_WindowActivatedTree(active);
}

void BView::GetMouse(BPoint* location, uint32* buttons, bool)
{
    if (fWindow != nullptr)
        fWindow->Sync(); // what a tracking loop drew shows while it tracks
    BPoint screen;
    uint32 held = 0;
    if (BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get())
        server->GetPointer(&screen, &held);
    if (location != nullptr)
        *location = ConvertFromScreen(screen);
    if (buttons != nullptr)
        *buttons = held;
}

// -- drawing state ------------------------------------------------------------------------------

void BView::SetViewColor(rgb_color color)
{
    fViewColor = color;
}

void BView::SetViewColor(uchar red, uchar green, uchar blue, uchar alpha)
{
    SetViewColor(make_color(red, green, blue, alpha));
}

void BView::SetHighColor(rgb_color color)
{
    fHighColor = color;
}

void BView::SetHighColor(uchar red, uchar green, uchar blue, uchar alpha)
{
    SetHighColor(make_color(red, green, blue, alpha));
}

void BView::SetLowColor(rgb_color color)
{
    fLowColor = color;
}

void BView::SetLowColor(uchar red, uchar green, uchar blue, uchar alpha)
{
    SetLowColor(make_color(red, green, blue, alpha));
}

void BView::SetPenSize(float size)
{
    fPenSize = size > 0 ? size : 0;
}

void BView::MovePenTo(BPoint where)
{
    fPenLocation = where;
}

void BView::MovePenTo(float x, float y)
{
    fPenLocation.Set(x, y);
}

void BView::MovePenBy(float dx, float dy)
{
    fPenLocation += BPoint(dx, dy);
}

void BView::SetDrawingMode(drawing_mode mode)
{
    fDrawingMode = mode;
}

void BView::SetFont(const BFont* font, uint32 mask)
{
    if (font == nullptr)
        return;
    if (mask == B_FONT_ALL) {
        fFont = *font;
        return;
    }
    if ((mask & B_FONT_FAMILY_AND_STYLE) != 0) {
        font_family family;
        font_style style;
        font->GetFamilyAndStyle(&family, &style);
        fFont.SetFamilyAndStyle(family, style);
    }
    if ((mask & B_FONT_SIZE) != 0)
        fFont.SetSize(font->Size());
    if ((mask & B_FONT_FACE) != 0)
        fFont.SetFace(font->Face());
    if ((mask & B_FONT_FLAGS) != 0)
        fFont.SetFlags(font->Flags());
}

void BView::GetFont(BFont* font) const
{
    if (font != nullptr)
        *font = fFont;
}

void BView::SetFontSize(float size)
{
    fFont.SetSize(size);
}

void BView::GetFontHeight(font_height* height) const
{
    fFont.GetHeight(height);
}

float BView::StringWidth(const char* string) const
{
    return string != nullptr ? fFont.StringWidth(string) : 0;
}

float BView::StringWidth(const char* string, int32 length) const
{
    return string != nullptr ? fFont.StringWidth(string, length) : 0;
}
