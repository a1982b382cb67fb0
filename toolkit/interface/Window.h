#pragma once

// A window: a looper with a tree of views and a back buffer.
//
// Its thread starts with the first Show(). Views draw into the back buffer
// (a cairo image surface the size of the window in device pixels, its
// device scale set so that drawing is in points) only from this thread:
// Invalidate() adds to the update region and schedules one update, which
// the window's loop draws between two messages when the next frame of the
// display is due: at most once a frame however often views change, and
// once a frame while a backlog of messages waits. The update first lets
// each view settle what it will show (_Prepare: a text view lays out the
// lines it is about to draw), then paints each view's background and calls
// its Draw() in tree order, clipped to what is visible of it and to the
// region, then hands the finished frame to the display server. Drawing done outside Draw() (a view
// tracking the mouse) is handed over at the end of the message, on Sync()
// and on GetMouse().
//
// Input arrives as messages from the display server: mouse messages go to
// the deepest visible view under the point, keys to the focus view through
// its filters (the focus view is the window's preferred handler), with the
// window's shortcuts and menu bar given the first look at Command keys.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <InterfaceDefs.h>
#include <Looper.h>
#include <Rect.h>

class BMenuBar;
class BView;
struct _cairo;
struct _cairo_surface;

enum window_type {
    B_UNTYPED_WINDOW = 0,
    B_TITLED_WINDOW = 1,
    B_MODAL_WINDOW = 3,
    B_DOCUMENT_WINDOW = 11,
    B_BORDERED_WINDOW = 20,
    B_FLOATING_WINDOW = 21,
};

enum window_look {
    B_BORDERED_WINDOW_LOOK = 20,
    B_NO_BORDER_WINDOW_LOOK = 19,
    B_TITLED_WINDOW_LOOK = 1,
    B_DOCUMENT_WINDOW_LOOK = 11,
    B_MODAL_WINDOW_LOOK = 3,
    B_FLOATING_WINDOW_LOOK = 7,
};

enum window_feel {
    B_NORMAL_WINDOW_FEEL = 0,
    B_MODAL_SUBSET_WINDOW_FEEL = 2,
    B_MODAL_APP_WINDOW_FEEL = 1,
    B_MODAL_ALL_WINDOW_FEEL = 3,
    B_FLOATING_SUBSET_WINDOW_FEEL = 4,
    B_FLOATING_APP_WINDOW_FEEL = 5,
    B_FLOATING_ALL_WINDOW_FEEL = 6,
};

enum {
    B_NOT_MOVABLE = 0x00000001,
    B_NOT_CLOSABLE = 0x00000020,
    B_NOT_ZOOMABLE = 0x00000040,
    B_NOT_MINIMIZABLE = 0x00004000,
    B_NOT_RESIZABLE = 0x00000002,
    B_NOT_H_RESIZABLE = 0x00000004,
    B_NOT_V_RESIZABLE = 0x00000008,
    B_AVOID_FRONT = 0x00000080,
    B_AVOID_FOCUS = 0x00002000,
    B_WILL_ACCEPT_FIRST_CLICK = 0x00000010,
    B_OUTLINE_RESIZE = 0x00001000,
    B_NO_WORKSPACE_ACTIVATION = 0x00000100,
    B_NOT_ANCHORED_ON_ACTIVATE = 0x00020000,
    B_ASYNCHRONOUS_CONTROLS = 0x00080000,
    B_QUIT_ON_WINDOW_CLOSE = 0x00100000,
};

// A window with look B_NO_BORDER_WINDOW_LOOK and feel
// B_FLOATING_ALL_WINDOW_FEEL is a pop-up (a menu): it stays above the
// others, does not become the active window, and gets the keyboard while
// it shows.
class BWindow : public BLooper
{
public:
    BWindow(BRect frame, const char* title, window_type type, uint32 flags,
            uint32 workspace = B_CURRENT_WORKSPACE);
    BWindow(BRect frame, const char* title, window_look look, window_feel feel, uint32 flags,
            uint32 workspace = B_CURRENT_WORKSPACE);
    ~BWindow() override;

    void Quit() override;
    bool QuitRequested() override;
    void DispatchMessage(BMessage* message, BHandler* handler) override;
    void MessageReceived(BMessage* message) override;

    virtual void Show();
    virtual void Hide();
    bool IsHidden() const;
    void Activate(bool active = true);
    bool IsActive() const;
    virtual void WindowActivated(bool active);
    virtual void FrameMoved(BPoint newPosition);
    virtual void FrameResized(float newWidth, float newHeight);

    void SetTitle(const char* title);
    const char* Title() const { return fTitle.c_str(); }
    BRect Frame() const;
    BRect Bounds() const;
    void MoveTo(BPoint where);
    void MoveTo(float x, float y);
    void MoveBy(float dx, float dy);
    void ResizeTo(float width, float height);
    void ResizeBy(float dx, float dy);
    void SetSizeLimits(float minWidth, float maxWidth, float minHeight, float maxHeight);
    window_type Type() const { return fType; }
    window_look Look() const { return fLook; }
    window_feel Feel() const { return fFeel; }
    uint32 Flags() const { return fFlags; }
    status_t SetFlags(uint32 flags);

    void AddChild(BView* child, BView* before = nullptr);
    bool RemoveChild(BView* child);
    int32 CountChildren() const;
    BView* ChildAt(int32 index) const;
    BView* FindView(const char* name) const;
    BView* FindView(BPoint point) const;
    BView* CurrentFocus() const { return fFocus; }
    BView* LastMouseMovedView() const { return fLastMouseView; }

    void UpdateIfNeeded();
    void Sync();
    void Flush();
    void DisableUpdates();
    void EnableUpdates();

    void SetPulseRate(bigtime_t rate);
    bigtime_t PulseRate() const { return fPulseRate.load(); }

    void ConvertToScreen(BPoint* point) const;
    BPoint ConvertToScreen(BPoint point) const;
    void ConvertToScreen(BRect* rect) const;
    BRect ConvertToScreen(BRect rect) const;
    void ConvertFromScreen(BPoint* point) const;
    BPoint ConvertFromScreen(BPoint point) const;
    void ConvertFromScreen(BRect* rect) const;
    BRect ConvertFromScreen(BRect rect) const;

    // Command-key shortcuts; the menu bar of the window adds its items'.
    void AddShortcut(uint32 key, uint32 modifiers, BMessage* message);
    void AddShortcut(uint32 key, uint32 modifiers, BMessage* message, BHandler* target);
    void RemoveShortcut(uint32 key, uint32 modifiers);
    BMenuBar* KeyMenuBar() const { return fKeyMenuBar; }
    void SetKeyMenuBar(BMenuBar* bar) { fKeyMenuBar = bar; }

    // Toolkit internals ----------------------------------------------------
    int32 _ServerId() const { return fServerId; }
    // Adds a rectangle (window coordinates) to the update region.
    void _Invalidate(BRect rect);
    // A context on the back buffer for drawing outside an update.
    _cairo* _DrawingContext();
    void _DrewOutsideUpdate() { fNeedsPresent = true; }
    void _Present();
    void _SetFocus(BView* view, bool focus);
    // Moves the focus to the next (previous) view, in tree order, that
    // takes it from the keyboard; round from the end to the start.
    void _NavigateFocus(bool forward);
    // A view's cursor changed: the pointer may show another shape.
    void _CursorChanged();
    // The caret was just moved or typed at: it shows, and blinks again
    // from now on.
    void _RestartBlink();
    void _ViewAttached(BView* view);
    void _ViewDetached(BView* view);
    // A view attached here started or stopped asking for pulses.
    void _PulseViewsChanged(int32 delta);
    bool _IsPopup() const { return fPopup; }
    bool _UpdatePending() const;
    _cairo_surface* _BackBuffer() const { return fBuffer; }

protected:
    bigtime_t _NextWakeup() const override;
    void _Wakeup() override;

private:
    struct Shortcut {
        uint32 key;
        uint32 modifiers;
        BMessage* message;
        BHandler* target;
    };

    void Init(BRect frame, const char* title, window_look look, window_feel feel, uint32 flags);
    // Redraws what shows whether the view has the focus.
    void ShowFocus(BView* view);
    void UpdateCursor(BView* under);
    void UpdateBlinking();
    void HandleMouse(BMessage* message);
    bool HandleShortcut(BMessage* message);
    void Resized(float width, float height);
    void DrawUpdate();
    void ScheduleUpdate();
    void EnsureBuffer();

    std::string fTitle;
    window_type fType;
    window_look fLook;
    window_feel fFeel;
    uint32 fFlags;
    BRect fFrame;
    BView* fTopView;
    BView* fFocus;
    BView* fLastMouseView;
    BView* fMouseDownView;
    BView* fLastPressView; // a double click is two presses on one view
    int32 fCursorShape;
    BMenuBar* fKeyMenuBar;
    int32 fServerId;
    int32 fShowLevel; // > 0: hidden
    bool fActive;

    _cairo_surface* fBuffer;
    std::vector<BRect> fUpdateRegion;
    bool fUpdatePosted;
    bool fNeedsPresent;
    int32 fUpdatesDisabled;

    // Read by the loop while it waits, without the window's lock.
    std::atomic<bigtime_t> fPulseRate;
    // When the pending update is to be drawn (B_INFINITE_TIMEOUT: none is),
    // and the earliest the next frame may be.
    std::atomic<bigtime_t> fUpdateDue;
    std::atomic<bigtime_t> fNextFrame;
    std::atomic<bigtime_t> fLastPulse;
    std::atomic<int32> fPulseViews;
    std::atomic<bool> fShown;
    // The caret of the focus view blinks while this is set; its phase
    // counts from fBlinkBase, and the next change is due at fNextBlink.
    std::atomic<bool> fBlinking;
    std::atomic<bigtime_t> fBlinkBase;
    std::atomic<bigtime_t> fNextBlink;
    bool fCaretPhase;
    bool fPopup;
    std::vector<Shortcut> fShortcuts;
    float fMinWidth, fMaxWidth, fMinHeight, fMaxHeight;
};
