#include "Window.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstring>

#include <AppDefs.h>
#include <Application.h>
#include <DisplayServer.h>

#include "Cursor.h"
#include "DisplayInit.h"
#include "MenuBar.h"
#include "MenuPrivate.h"
#include "ScrollView.h"
#include "View.h"

namespace
{

const bigtime_t kDefaultPulseRate = 500000;
// More separate rectangles than this in the update region are merged.
const size_t kMaxUpdateRects = 16;
// The caret shows and hides for this long each; after kBlinkFor without
// being moved it stays on, and the window stops waking for it.
const bigtime_t kBlinkPhase = 500000;
const bigtime_t kBlinkFor = 10000000;

void tree_order(BView* view, std::vector<BView*>* order)
{
    for (int32 i = 0; i < view->CountChildren(); i++) {
        BView* child = view->ChildAt(i);
        if (child->IsHidden())
            continue;
        order->push_back(child);
        tree_order(child, order);
    }
}

window_look look_of(window_type type)
{
    switch (type) {
    case B_DOCUMENT_WINDOW:
        return B_DOCUMENT_WINDOW_LOOK;
    case B_MODAL_WINDOW:
        return B_MODAL_WINDOW_LOOK;
    case B_BORDERED_WINDOW:
        return B_BORDERED_WINDOW_LOOK;
    case B_FLOATING_WINDOW:
        return B_FLOATING_WINDOW_LOOK;
    default:
        return B_TITLED_WINDOW_LOOK;
    }
}

window_feel feel_of(window_type type)
{
    switch (type) {
    case B_MODAL_WINDOW:
        return B_MODAL_APP_WINDOW_FEEL;
    case B_FLOATING_WINDOW:
        return B_FLOATING_APP_WINDOW_FEEL;
    default:
        return B_NORMAL_WINDOW_FEEL;
    }
}

// Whole pixels: the frame's edges are pixel centres.
BRect snapped(BRect frame)
{
    return BRect(std::round(frame.left), std::round(frame.top), std::round(frame.right),
                 std::round(frame.bottom));
}

// The application may quit when every window agrees.
bool windows_quit_requested()
{
    // Open menus go first, without locking any other window: a window
    // waiting for a menu holds its lock until the menu goes.
    BPrivate::quit_popup_windows();
    for (BWindow* window : BPrivate::windows()) {
        if (BPrivate::lock_quitting_menus(window) != B_OK)
            continue; // gone meanwhile
        bool agrees = window->QuitRequested();
        window->Unlock();
        if (!agrees)
            return false;
    }
    return true;
}

} // namespace

BWindow::BWindow(BRect frame, const char* title, window_type type, uint32 flags, uint32)
    : BLooper(title)
{
    fType = type;
    Init(frame, title, look_of(type), feel_of(type), flags);
}

BWindow::BWindow(BRect frame, const char* title, window_look look, window_feel feel, uint32 flags,
                 uint32)
    : BLooper(title)
{
    fType = B_UNTYPED_WINDOW;
    Init(frame, title, look, feel, flags);
}

void BWindow::Init(BRect frame, const char* title, window_look look, window_feel feel, uint32 flags)
{
    fTitle = title != nullptr ? title : "";
    fLook = look;
    fFeel = feel;
    fFlags = flags;
    fFrame = snapped(frame);
    if (fFrame.Width() < 0)
        fFrame.right = fFrame.left;
    if (fFrame.Height() < 0)
        fFrame.bottom = fFrame.top;
    fFocus = nullptr;
    fLastMouseView = nullptr;
    fMouseDownView = nullptr;
    fLastPressView = nullptr;
    fCursorShape = int32(BPrivate::CursorShape::kArrow);
    fKeyMenuBar = nullptr;
    fShown = false;
    fShowLevel = 1;
    fActive = false;
    fBuffer = nullptr;
    fUpdatePosted = false;
    fUpdateDue = B_INFINITE_TIMEOUT;
    fNextFrame = 0;
    fNeedsPresent = false;
    fUpdatesDisabled = 0;
    fPulseRate = kDefaultPulseRate;
    fLastPulse = 0;
    fPulseViews = 0;
    fBlinking = false;
    fBlinkBase = 0;
    fNextBlink = B_INFINITE_TIMEOUT;
    fCaretPhase = true;
    fMinWidth = 0;
    fMaxWidth = 32768;
    fMinHeight = 0;
    fMaxHeight = 32768;

    BPrivate::WindowFeatures features;
    features.title = fTitle;
    features.frame = fFrame;
    features.resizable = (flags & B_NOT_RESIZABLE) == 0;
    features.decorated = look != B_NO_BORDER_WINDOW_LOOK;
    // Menus: borderless, above everything, taking the keyboard while shown.
    features.popup = look == B_NO_BORDER_WINDOW_LOOK && feel == B_FLOATING_ALL_WINDOW_FEEL;
    fPopup = features.popup;
    features.modalApp = feel == B_MODAL_APP_WINDOW_FEEL || feel == B_MODAL_ALL_WINDOW_FEEL;
    fServerId = BPrivate::display()->RegisterWindow(this, features);

    fTopView = new BView(Bounds(), "top view", B_FOLLOW_ALL_SIDES, 0);
    fTopView->SetViewColor(B_TRANSPARENT_COLOR);
    fTopView->_Attach(this);
    BPrivate::register_window(this, this, fPopup);
    BPrivate::gWindowsQuitRequested = windows_quit_requested;
}

BWindow::~BWindow()
{
    BPrivate::unregister_window(this);
    // The views learn that they leave the window while it still exists.
    fTopView->_Detach();
    delete fTopView;
    fTopView = nullptr;
    BPrivate::display()->UnregisterWindow(fServerId);
    for (Shortcut& shortcut : fShortcuts)
        delete shortcut.message;
    if (fBuffer != nullptr)
        cairo_surface_destroy(fBuffer);
}

// -- life --------------------------------------------------------------------------

void BWindow::Quit()
{
    if (!IsLocked() && !Lock())
        return;
    BPrivate::display()->SetVisible(fServerId, false);
    BLooper::Quit();
}

bool BWindow::QuitRequested()
{
    return true;
}

void BWindow::Show()
{
    if (!IsRunning())
        Run();
    if (!Lock())
        return;
    fShowLevel--;
    if (fShowLevel == 0) {
        if (!fShown) {
            fShown = true;
            _Invalidate(Bounds());
        }
        BPrivate::display()->SetVisible(fServerId, true);
    }
    Unlock();
}

void BWindow::Hide()
{
    if (!Lock())
        return;
    fShowLevel++;
    if (fShowLevel == 1)
        BPrivate::display()->SetVisible(fServerId, false);
    Unlock();
}

bool BWindow::IsHidden() const
{
    return fShowLevel > 0;
}

void BWindow::Activate(bool active)
{
    if (active)
        BPrivate::display()->Activate(fServerId);
}

bool BWindow::IsActive() const
{
    return fActive;
}

void BWindow::WindowActivated(bool) {}

void BWindow::FrameMoved(BPoint) {}

void BWindow::FrameResized(float, float) {}

// -- messages ------------------------------------------------------------------------

void BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
    switch (message->what) {
    case B_MOUSE_DOWN:
    case B_MOUSE_UP:
    case B_MOUSE_MOVED:
        if (handler == this) {
            HandleMouse(message);
            break;
        }
        BLooper::DispatchMessage(message, handler);
        break;
    case B_MOUSE_WHEEL_CHANGED:
        if (handler == this) {
            BPoint where;
            message->FindPoint("where", &where);
            BView* under = fTopView->_ViewAt(where);
            // The wheel scrolls the nearest view from the one under the
            // pointer up that has a scroll bar; without one, the view under
            // the pointer itself decides.
            BView* view = under;
            while (view != nullptr && view != fTopView && !view->_HasScrollBar())
                view = view->Parent();
            if (view == nullptr || view == fTopView)
                view = under;
            if (view != nullptr && view != fTopView)
                view->MessageReceived(message);
            break;
        }
        BLooper::DispatchMessage(message, handler);
        break;
    case B_KEY_DOWN:
    case B_KEY_UP: {
        if (message->what == B_KEY_DOWN && HandleShortcut(message))
            break;
        const char* bytes = "";
        message->FindString("bytes", &bytes);
        int32 key = 0, modifiers = 0;
        message->FindInt32("key", &key);
        message->FindInt32("modifiers", &modifiers);
        // F10 opens the menu bar, whichever view has the focus.
        if (message->what == B_KEY_DOWN && bytes[0] == B_FUNCTION_KEY && key == B_F10_KEY &&
            (modifiers & (B_SHIFT_KEY | B_COMMAND_KEY | B_OPTION_KEY | B_CONTROL_KEY)) == 0 &&
            fKeyMenuBar != nullptr) {
            PostMessage(BPrivate::kMenuKeyboardOpen, fKeyMenuBar);
            break;
        }
        auto* view = dynamic_cast<BView*>(handler);
        if (view == nullptr || view->Window() != this) {
            // Without a focus view Tab finds the first one.
            if (message->what == B_KEY_DOWN && bytes[0] == B_TAB && bytes[1] == '\0')
                _NavigateFocus((modifiers & B_SHIFT_KEY) == 0);
            break;
        }
        if (message->what == B_KEY_DOWN)
            view->KeyDown(bytes, int32(strlen(bytes)));
        else
            view->KeyUp(bytes, int32(strlen(bytes)));
        break;
    }
    case B_WINDOW_ACTIVATED:
        if (handler == this) {
            bool active = false;
            message->FindBool("active", &active);
            if (active != fActive) {
                fActive = active;
                WindowActivated(active);
                fTopView->_WindowActivatedTree(active);
                // An inactive window shows no focus.
                ShowFocus(fFocus);
                _RestartBlink();
            }
            break;
        }
        BLooper::DispatchMessage(message, handler);
        break;
    case B_WINDOW_RESIZED:
        if (handler == this) {
            int32 width = 0, height = 0;
            message->FindInt32("width", &width);
            message->FindInt32("height", &height);
            if (width != int32(fFrame.Width()) || height != int32(fFrame.Height())) {
                Resized(float(width), float(height));
                FrameResized(float(width), float(height));
            }
            break;
        }
        BLooper::DispatchMessage(message, handler);
        break;
    case B_WINDOW_MOVED:
        if (handler == this) {
            BPoint where;
            message->FindPoint("where", &where);
            fFrame.OffsetTo(where);
            FrameMoved(where);
            break;
        }
        BLooper::DispatchMessage(message, handler);
        break;
    default:
        BLooper::DispatchMessage(message, handler);
        break;
    }
    UpdateBlinking();
    if (fNeedsPresent)
        _Present();
}

void BWindow::MessageReceived(BMessage* message)
{
    BLooper::MessageReceived(message);
}

void BWindow::HandleMouse(BMessage* message)
{
    BPoint where;
    message->FindPoint("where", &where);
    BView* view = fTopView->_ViewAt(where);
    if (message->what != B_MOUSE_UP)
        UpdateCursor(view);
    switch (message->what) {
    case B_MOUSE_DOWN: {
        // Quick presses on two views are two single clicks, however close.
        int32 clicks = 1;
        if (message->FindInt32("clicks", &clicks) == B_OK && clicks > 1 && view != fLastPressView)
            message->ReplaceInt32("clicks", 1);
        fLastPressView = view;
        fMouseDownView = view;
        if (view != nullptr && view != fTopView)
            view->MouseDown(view->_FromWindow(where));
        break;
    }
    case B_MOUSE_UP: {
        // The release belongs to the view that took the press.
        BView* target = fMouseDownView != nullptr ? fMouseDownView : view;
        fMouseDownView = nullptr;
        if (target != nullptr && target != fTopView && target->Window() == this)
            target->MouseUp(target->_FromWindow(where));
        break;
    }
    case B_MOUSE_MOVED:
        if (view != fLastMouseView) {
            BView* left = fLastMouseView;
            fLastMouseView = view;
            if (left != nullptr && left != fTopView && left->Window() == this)
                left->MouseMoved(left->_FromWindow(where), B_EXITED_VIEW, nullptr);
            if (view != nullptr && view != fTopView)
                view->MouseMoved(view->_FromWindow(where), B_ENTERED_VIEW, nullptr);
        } else if (view != nullptr && view != fTopView) {
            view->MouseMoved(view->_FromWindow(where), B_INSIDE_VIEW, nullptr);
        }
        break;
    }
}

bool BWindow::HandleShortcut(BMessage* message)
{
    int32 modifiers = 0;
    message->FindInt32("modifiers", &modifiers);
    if ((modifiers & B_COMMAND_KEY) == 0)
        return false;
    const char* bytes = "";
    message->FindString("bytes", &bytes);
    uint32 key = uint32(uint8(bytes[0]));
    if (key >= 'A' && key <= 'Z')
        key = key - 'A' + 'a';
    uint32 relevant =
        uint32(modifiers) & (B_SHIFT_KEY | B_COMMAND_KEY | B_CONTROL_KEY | B_OPTION_KEY);
    for (const Shortcut& shortcut : fShortcuts) {
        if (shortcut.key != key || shortcut.modifiers != relevant)
            continue;
        BMessage copy(*shortcut.message);
        BHandler* target = shortcut.target;
        if (target != nullptr && target->Looper() != nullptr && target->Looper() != this) {
            target->Looper()->PostMessage(&copy, target);
        } else if (target != nullptr && target->Looper() == this) {
            PostMessage(&copy, target);
        } else {
            PostMessage(&copy);
        }
        return true;
    }
    return false;
}

// -- shortcuts -----------------------------------------------------------------------

void BWindow::AddShortcut(uint32 key, uint32 modifiers, BMessage* message)
{
    AddShortcut(key, modifiers, message, nullptr);
}

void BWindow::AddShortcut(uint32 key, uint32 modifiers, BMessage* message, BHandler* target)
{
    if (message == nullptr)
        return;
    if (key >= 'A' && key <= 'Z')
        key = key - 'A' + 'a';
    RemoveShortcut(key, modifiers);
    uint32 relevant =
        (modifiers | B_COMMAND_KEY) & (B_SHIFT_KEY | B_COMMAND_KEY | B_CONTROL_KEY | B_OPTION_KEY);
    fShortcuts.push_back(Shortcut{key, relevant, message, target});
}

void BWindow::RemoveShortcut(uint32 key, uint32 modifiers)
{
    if (key >= 'A' && key <= 'Z')
        key = key - 'A' + 'a';
    uint32 relevant =
        (modifiers | B_COMMAND_KEY) & (B_SHIFT_KEY | B_COMMAND_KEY | B_CONTROL_KEY | B_OPTION_KEY);
    for (auto it = fShortcuts.begin(); it != fShortcuts.end(); ++it) {
        if (it->key == key && it->modifiers == relevant) {
            delete it->message;
            fShortcuts.erase(it);
            return;
        }
    }
}

// -- geometry --------------------------------------------------------------------------

void BWindow::SetTitle(const char* title)
{
    fTitle = title != nullptr ? title : "";
    SetName(fTitle.c_str());
    BPrivate::display()->SetTitle(fServerId, fTitle.c_str());
}

BRect BWindow::Frame() const
{
    return fFrame;
}

BRect BWindow::Bounds() const
{
    return BRect(0, 0, fFrame.Width(), fFrame.Height());
}

void BWindow::MoveTo(BPoint where)
{
    MoveTo(where.x, where.y);
}

void BWindow::MoveTo(float x, float y)
{
    x = std::round(x);
    y = std::round(y);
    if (x == fFrame.left && y == fFrame.top)
        return;
    fFrame.OffsetTo(x, y);
    BPrivate::display()->SetFrame(fServerId, fFrame);
    FrameMoved(fFrame.LeftTop());
}

void BWindow::MoveBy(float dx, float dy)
{
    MoveTo(fFrame.left + dx, fFrame.top + dy);
}

void BWindow::ResizeTo(float width, float height)
{
    width = std::round(std::max(fMinWidth, std::min(fMaxWidth, width)));
    height = std::round(std::max(fMinHeight, std::min(fMaxHeight, height)));
    if (width == fFrame.Width() && height == fFrame.Height())
        return;
    Resized(width, height);
    BPrivate::display()->SetFrame(fServerId, fFrame);
    FrameResized(width, height);
}

void BWindow::ResizeBy(float dx, float dy)
{
    ResizeTo(fFrame.Width() + dx, fFrame.Height() + dy);
}

void BWindow::SetSizeLimits(float minWidth, float maxWidth, float minHeight, float maxHeight)
{
    fMinWidth = minWidth;
    fMaxWidth = maxWidth;
    fMinHeight = minHeight;
    fMaxHeight = maxHeight;
}

status_t BWindow::SetFlags(uint32 flags)
{
    fFlags = flags;
    return B_OK;
}

void BWindow::Resized(float width, float height)
{
    fFrame.right = fFrame.left + width;
    fFrame.bottom = fFrame.top + height;
    if (fBuffer != nullptr) {
        cairo_surface_destroy(fBuffer);
        fBuffer = nullptr;
    }
    fTopView->ResizeTo(width, height);
    fUpdateRegion.clear();
    _Invalidate(Bounds());
}

void BWindow::ConvertToScreen(BPoint* point) const
{
    *point += fFrame.LeftTop();
}

BPoint BWindow::ConvertToScreen(BPoint point) const
{
    return point + fFrame.LeftTop();
}

void BWindow::ConvertToScreen(BRect* rect) const
{
    rect->OffsetBy(fFrame.LeftTop());
}

BRect BWindow::ConvertToScreen(BRect rect) const
{
    return rect.OffsetByCopy(fFrame.left, fFrame.top);
}

void BWindow::ConvertFromScreen(BPoint* point) const
{
    *point -= fFrame.LeftTop();
}

BPoint BWindow::ConvertFromScreen(BPoint point) const
{
    return point - fFrame.LeftTop();
}

void BWindow::ConvertFromScreen(BRect* rect) const
{
    rect->OffsetBy(-fFrame.left, -fFrame.top);
}

BRect BWindow::ConvertFromScreen(BRect rect) const
{
    return rect.OffsetByCopy(-fFrame.left, -fFrame.top);
}

// -- views -------------------------------------------------------------------------------

void BWindow::AddChild(BView* child, BView* before)
{
    fTopView->AddChild(child, before);
}

bool BWindow::RemoveChild(BView* child)
{
    return fTopView->RemoveChild(child);
}

int32 BWindow::CountChildren() const
{
    return fTopView->CountChildren();
}

BView* BWindow::ChildAt(int32 index) const
{
    return fTopView->ChildAt(index);
}

BView* BWindow::FindView(const char* name) const
{
    return fTopView != nullptr ? fTopView->FindView(name) : nullptr;
}

BView* BWindow::FindView(BPoint point) const
{
    BView* view = fTopView->_ViewAt(point);
    return view == fTopView ? nullptr : view;
}

void BWindow::_SetFocus(BView* view, bool focus)
{
    if (focus) {
        if (fFocus == view)
            return;
        // The view that had the focus is told while it still has it, so
        // that it sees the change and takes its focus mark away.
        BView* previous = fFocus;
        if (previous != nullptr)
            previous->MakeFocus(false);
        if (fFocus == previous) {
            // Its MakeFocus did not let go (an override that keeps it).
            fFocus = nullptr;
            ShowFocus(previous);
        }
        fFocus = view;
        SetPreferredHandler(view);
        ShowFocus(view);
        _RestartBlink();
    } else if (fFocus == view) {
        fFocus = nullptr;
        SetPreferredHandler(nullptr);
        ShowFocus(view);
    }
}

void BWindow::ShowFocus(BView* view)
{
    if (view == nullptr || view->Window() != this)
        return;
    bool shown = view == fFocus && fActive;
    // A scroll view's frame shows the focus of the view it scrolls.
    auto* scrollView = dynamic_cast<BScrollView*>(view->Parent());
    if (scrollView != nullptr && scrollView->Target() == view)
        scrollView->SetBorderHighlighted(shown);
    view->Invalidate();
}

void BWindow::_NavigateFocus(bool forward)
{
    std::vector<BView*> order;
    tree_order(fTopView, &order);
    if (order.empty())
        return;
    int32 count = int32(order.size());
    auto found = std::find(order.begin(), order.end(), fFocus);
    int32 start = found != order.end() ? int32(found - order.begin()) : (forward ? -1 : count);
    for (int32 step = 1; step <= count; step++) {
        int32 index = ((start + (forward ? step : -step)) % count + count) % count;
        BView* candidate = order[size_t(index)];
        if (candidate == fFocus)
            return; // the only one
        if (candidate->_AcceptsNavigation()) {
            candidate->MakeFocus(true);
            return;
        }
    }
}

void BWindow::UpdateCursor(BView* under)
{
    const BCursor* cursor = nullptr;
    for (BView* view = under; view != nullptr && cursor == nullptr; view = view->Parent())
        cursor = view->_Cursor();
    auto shape = cursor != nullptr && cursor->ID() == B_CURSOR_ID_I_BEAM
                     ? BPrivate::CursorShape::kIBeam
                     : BPrivate::CursorShape::kArrow;
    if (int32(shape) == fCursorShape)
        return;
    fCursorShape = int32(shape);
    BPrivate::display()->SetCursor(fServerId, shape);
}

void BWindow::_CursorChanged()
{
    UpdateCursor(fLastMouseView);
}

void BWindow::_RestartBlink()
{
    fBlinkBase = system_time();
    fNextBlink = fBlinkBase + kBlinkPhase;
    if (!fCaretPhase && fFocus != nullptr) {
        fCaretPhase = true;
        fFocus->_BlinkCaret(true);
    }
}

void BWindow::UpdateBlinking()
{
    bool blinking = fActive && fFocus != nullptr && fFocus->_CaretBlinks();
    if (blinking == fBlinking)
        return;
    fBlinking = blinking;
    if (!blinking && !fCaretPhase) {
        fCaretPhase = true;
        if (fFocus != nullptr)
            fFocus->_BlinkCaret(true);
    }
    if (blinking)
        _Poke();
}

void BWindow::_ViewAttached(BView* view)
{
    if ((view->Flags() & B_PULSE_NEEDED) != 0)
        _PulseViewsChanged(1);
}

void BWindow::_PulseViewsChanged(int32 delta)
{
    fPulseViews += delta;
    if (delta > 0)
        _Poke();
}

void BWindow::_ViewDetached(BView* view)
{
    if ((view->Flags() & B_PULSE_NEEDED) != 0)
        fPulseViews--;
    if (fFocus == view)
        _SetFocus(view, false);
    if (fLastMouseView == view)
        fLastMouseView = nullptr;
    if (fMouseDownView == view)
        fMouseDownView = nullptr;
    if (fLastPressView == view)
        fLastPressView = nullptr;
}

// -- drawing -------------------------------------------------------------------------------

void BWindow::EnsureBuffer()
{
    if (fBuffer != nullptr)
        return;
    // Device pixels; the device scale keeps every drawing call in points.
    int scale = int(BPrivate::display()->Scale());
    fBuffer = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, (int(fFrame.Width()) + 1) * scale,
                                         (int(fFrame.Height()) + 1) * scale);
    cairo_surface_set_device_scale(fBuffer, scale, scale);
}

_cairo* BWindow::_DrawingContext()
{
    EnsureBuffer();
    return cairo_create(fBuffer);
}

void BWindow::_Invalidate(BRect rect)
{
    rect = rect & Bounds();
    if (!rect.IsValid())
        return;
    // Whole pixels only.
    rect.Set(std::floor(rect.left), std::floor(rect.top), std::ceil(rect.right),
             std::ceil(rect.bottom));
    for (BRect& existing : fUpdateRegion) {
        if (existing.Contains(rect))
            return;
        if (rect.Contains(existing)) {
            existing = rect;
            return;
        }
    }
    if (fUpdateRegion.size() >= kMaxUpdateRects) {
        BRect all = rect;
        for (const BRect& existing : fUpdateRegion)
            all = all | existing;
        fUpdateRegion.assign(1, all);
    } else {
        fUpdateRegion.push_back(rect);
    }
    if (!fUpdatePosted && fUpdatesDisabled == 0)
        ScheduleUpdate();
}

// The update is no message behind the others: the loop draws it between
// two messages once its frame is due (at once if the last frame is a frame
// or more ago), so many changes share a frame and a long queue does not
// hold it back.
void BWindow::ScheduleUpdate()
{
    fUpdatePosted = true;
    fUpdateDue = std::max(system_time(), fNextFrame.load());
    _SetDeferred(true);
    _Poke();
}

bool BWindow::_UpdatePending() const
{
    return fUpdatePosted || !fUpdateRegion.empty() || fNeedsPresent;
}

void BWindow::DrawUpdate()
{
    fUpdatePosted = false;
    fUpdateDue = B_INFINITE_TIMEOUT;
    _SetDeferred(false);
    if (fUpdateRegion.empty() || fUpdatesDisabled > 0)
        return;
    bigtime_t start = system_time();
    fTopView->_PrepareTree();
    // Preparing may have scrolled or changed what shows.
    EnsureBuffer();
    std::vector<BRect> region;
    region.swap(fUpdateRegion);
    cairo_t* context = cairo_create(fBuffer);
    fTopView->_DrawTree(context, region);
    cairo_destroy(context);
    _Present();
    // What a view invalidated while it drew waits for the next frame, and
    // a window that takes long to draw leaves as long again to its
    // messages.
    bigtime_t end = system_time();
    // A window draws at most once a frame of the screen, however often its
    // views change, and while it works through a backlog of messages it
    // still draws once in each.
    bigtime_t interval = BPrivate::display()->FrameInterval();
    fNextFrame = std::max(start + interval, end + (end - start));
    fUpdatePosted = false;
    fUpdateDue = B_INFINITE_TIMEOUT;
    _SetDeferred(false);
    if (!fUpdateRegion.empty() && fUpdatesDisabled == 0)
        ScheduleUpdate();
}

void BWindow::UpdateIfNeeded()
{
    if (find_thread(nullptr) != Thread() && IsRunning())
        return; // only the window's own thread draws
    DrawUpdate();
    if (fNeedsPresent)
        _Present();
}

void BWindow::_Present()
{
    fNeedsPresent = false;
    if (fBuffer == nullptr)
        return;
    cairo_surface_flush(fBuffer);
    BPrivate::display()->SubmitFrame(
        fServerId, cairo_image_surface_get_data(fBuffer), cairo_image_surface_get_width(fBuffer),
        cairo_image_surface_get_height(fBuffer), cairo_image_surface_get_stride(fBuffer));
}

void BWindow::Sync()
{
    if (fNeedsPresent)
        _Present();
}

void BWindow::Flush()
{
    Sync();
}

void BWindow::DisableUpdates()
{
    fUpdatesDisabled++;
}

void BWindow::EnableUpdates()
{
    if (fUpdatesDisabled > 0 && --fUpdatesDisabled == 0 && !fUpdateRegion.empty() && !fUpdatePosted)
        ScheduleUpdate();
}

// -- pulse -----------------------------------------------------------------------------------

void BWindow::SetPulseRate(bigtime_t rate)
{
    fPulseRate = rate > 0 ? std::max<bigtime_t>(rate, 10000) : 0;
    _Poke();
}

bigtime_t BWindow::_NextWakeup() const
{
    bigtime_t next = B_INFINITE_TIMEOUT;
    if (fPulseViews > 0 && fPulseRate > 0 && fShown)
        next = fLastPulse + fPulseRate;
    if (fBlinking && fShown)
        next = std::min<bigtime_t>(next, fNextBlink);
    return std::min<bigtime_t>(next, fUpdateDue);
}

void BWindow::_Wakeup()
{
    bigtime_t now = system_time();
    if (fPulseViews > 0 && fPulseRate > 0 && now >= fLastPulse + fPulseRate) {
        fLastPulse = now;
        fTopView->_PulseTree();
    }
    if (fBlinking && fFocus != nullptr && now >= fNextBlink) {
        bigtime_t elapsed = now - fBlinkBase;
        bool on = elapsed >= kBlinkFor || (elapsed / kBlinkPhase) % 2 == 0;
        if (on != fCaretPhase) {
            fCaretPhase = on;
            fFocus->_BlinkCaret(on);
        }
        // Past the blinking time the caret stays on, and nothing is due.
        fNextBlink = elapsed >= kBlinkFor ? B_INFINITE_TIMEOUT
                                          : fBlinkBase + (elapsed / kBlinkPhase + 1) * kBlinkPhase;
    }
    UpdateBlinking();
    if (fUpdatePosted && now >= fUpdateDue)
        DrawUpdate();
    if (fNeedsPresent)
        _Present();
}
