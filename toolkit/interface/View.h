#pragma once

// A rectangle of a window that draws itself and takes input.
//
// Views form a tree under their window. A view's frame is in its parent's
// coordinates; its bounds are its own coordinate system, whose left-top is
// the scroll position. When a parent is resized, each child moves and
// sizes itself by its resizing mode. Views are handlers of their window:
// they run in the window's thread and receive its messages.

#include <functional>
#include <string>
#include <vector>

#include <Font.h>
#include <Handler.h>
#include <InterfaceDefs.h>
#include <Rect.h>

class BBitmap;
class BCursor;
class BScrollBar;
class BScrollView;
class BWindow;
struct _cairo;

class BView : public BHandler
{
public:
    BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags);
    ~BView() override;

    // Hooks.
    virtual void AttachedToWindow();
    virtual void AllAttached();
    virtual void DetachedFromWindow();
    virtual void AllDetached();
    virtual void Draw(BRect updateRect);
    virtual void DrawAfterChildren(BRect updateRect);
    virtual void MouseDown(BPoint where);
    virtual void MouseUp(BPoint where);
    virtual void MouseMoved(BPoint where, uint32 transit, const BMessage* dragMessage);
    virtual void KeyDown(const char* bytes, int32 numBytes);
    virtual void KeyUp(const char* bytes, int32 numBytes);
    virtual void FrameMoved(BPoint newPosition);
    virtual void FrameResized(float newWidth, float newHeight);
    virtual void Pulse();
    virtual void WindowActivated(bool active);
    virtual void MakeFocus(bool focus = true);
    virtual void TargetedByScrollView(BScrollView* scrollView);
    void MessageReceived(BMessage* message) override;

    bool IsFocus() const;
    // The pointer's look over this view and its children that set none.
    void SetViewCursor(const BCursor* cursor, bool sync = true);
    virtual void SetFlags(uint32 flags);
    uint32 Flags() const { return fFlags; }
    virtual void SetResizingMode(uint32 mode);
    uint32 ResizingMode() const { return fResizingMode; }
    virtual void Show();
    virtual void Hide();
    bool IsHidden() const;

    // The tree.
    BWindow* Window() const { return fWindow; }
    BView* Parent() const { return fParent; }
    void AddChild(BView* child, BView* before = nullptr);
    bool RemoveChild(BView* child);
    bool RemoveSelf();
    int32 CountChildren() const { return int32(fChildren.size()); }
    BView* ChildAt(int32 index) const;
    BView* NextSibling() const;
    BView* PreviousSibling() const;
    BView* FindView(const char* name) const;

    // Geometry.
    BRect Bounds() const;
    BRect Frame() const { return fFrame; }
    void MoveTo(BPoint where);
    void MoveTo(float x, float y);
    void MoveBy(float dx, float dy);
    void ResizeTo(float width, float height);
    void ResizeBy(float dx, float dy);
    void ScrollTo(BPoint where);
    void ScrollTo(float x, float y) { ScrollTo(BPoint(x, y)); }
    void ScrollBy(float dx, float dy);
    BScrollBar* ScrollBar(orientation direction) const;

    void ConvertToScreen(BPoint* point) const;
    BPoint ConvertToScreen(BPoint point) const;
    void ConvertToScreen(BRect* rect) const;
    BRect ConvertToScreen(BRect rect) const;
    void ConvertFromScreen(BPoint* point) const;
    BPoint ConvertFromScreen(BPoint point) const;
    void ConvertFromScreen(BRect* rect) const;
    BRect ConvertFromScreen(BRect rect) const;
    BPoint ConvertToParent(BPoint point) const;
    BRect ConvertToParent(BRect rect) const;
    BPoint ConvertFromParent(BPoint point) const;
    BRect ConvertFromParent(BRect rect) const;

    void Invalidate();
    void Invalidate(BRect rect);
    // The pointer in this view's coordinates and the buttons held now.
    void GetMouse(BPoint* location, uint32* buttons, bool checkMessageQueue = true);

    // Drawing state.
    virtual void SetViewColor(rgb_color color);
    void SetViewColor(uchar red, uchar green, uchar blue, uchar alpha = 255);
    rgb_color ViewColor() const { return fViewColor; }
    virtual void SetHighColor(rgb_color color);
    void SetHighColor(uchar red, uchar green, uchar blue, uchar alpha = 255);
    rgb_color HighColor() const { return fHighColor; }
    virtual void SetLowColor(rgb_color color);
    void SetLowColor(uchar red, uchar green, uchar blue, uchar alpha = 255);
    rgb_color LowColor() const { return fLowColor; }
    void SetPenSize(float size);
    float PenSize() const { return fPenSize; }
    void MovePenTo(BPoint where);
    void MovePenTo(float x, float y);
    void MovePenBy(float dx, float dy);
    BPoint PenLocation() const { return fPenLocation; }
    virtual void SetDrawingMode(drawing_mode mode);
    drawing_mode DrawingMode() const { return fDrawingMode; }
    virtual void SetFont(const BFont* font, uint32 mask = B_FONT_ALL);
    void GetFont(BFont* font) const;
    void SetFontSize(float size);
    void GetFontHeight(font_height* height) const;
    float StringWidth(const char* string) const;
    float StringWidth(const char* string, int32 length) const;

    // Drawing: lines and rectangle edges light exactly the pixels they name.
    void StrokeLine(BPoint to, pattern p = B_SOLID_HIGH);
    void StrokeLine(BPoint from, BPoint to, pattern p = B_SOLID_HIGH);
    void StrokeRect(BRect rect, pattern p = B_SOLID_HIGH);
    void FillRect(BRect rect, pattern p = B_SOLID_HIGH);
    void InvertRect(BRect rect);
    void StrokeEllipse(BRect rect, pattern p = B_SOLID_HIGH);
    void FillEllipse(BRect rect, pattern p = B_SOLID_HIGH);
    void FillTriangle(BPoint a, BPoint b, BPoint c, pattern p = B_SOLID_HIGH);
    // At the pen, which then moves past the text.
    void DrawString(const char* string, escapement_delta* delta = nullptr);
    void DrawString(const char* string, int32 length, escapement_delta* delta = nullptr);
    void DrawString(const char* string, BPoint where, escapement_delta* delta = nullptr);
    void DrawBitmap(const BBitmap* bitmap);
    void DrawBitmap(const BBitmap* bitmap, BPoint where);
    void DrawBitmap(const BBitmap* bitmap, BRect destination);
    void DrawBitmap(const BBitmap* bitmap, BRect source, BRect destination);
    // Hands what was drawn so far to the screen.
    void Sync() const;
    void Flush() const;

    // Toolkit internals ----------------------------------------------------
    // Runs `draw` with a cairo context on the window's back buffer, set up
    // for this view (its coordinates, clipped to what shows of it), as the
    // drawing calls above do; for toolkit classes that draw laid-out text.
    void _Draw(const std::function<void(_cairo*)>& draw);
    void _Attach(BWindow* window);
    void _Detach();
    // This view's visible part in window coordinates (clipped by every
    // ancestor); invalid when nothing shows.
    BRect _VisibleInWindow() const;
    BPoint _ToWindow(BPoint point) const;
    BRect _ToWindow(BRect rect) const;
    BPoint _FromWindow(BPoint point) const;
    void _ParentResized(float dx, float dy);
    void _SetUpdateContext(_cairo* context) { fContext = context; }
    // The scroll bars that target this view (they are views themselves).
    void _SetScrollBar(orientation direction, BView* bar);
    bool _HasScrollBar() const { return fVerticalBar != nullptr || fHorizontalBar != nullptr; }
    // Scroll bars answer these: the wheel turned over their target, and
    // their target scrolled to a position by itself.
    virtual void _ScrollWheel(float delta);
    virtual void _TargetScrolled(float position);
    // Before an update draws: each shown view settles what it is about to
    // show, and may still scroll or invalidate.
    virtual void _Prepare() {}
    void _PrepareTree();
    // Calls Draw and DrawAfterChildren for this view and its children.
    void _DrawTree(_cairo* context, const std::vector<BRect>& region);
    BView* _ViewAt(BPoint windowPoint);
    void _PulseTree();
    void _WindowActivatedTree(bool active);
    // Whether Tab may move the focus here now (navigable, shown, usable).
    virtual bool _AcceptsNavigation() const;
    // A caret that blinks while this view is the focus of the active
    // window; the window's timer calls _BlinkCaret with each phase.
    virtual bool _CaretBlinks() const { return false; }
    virtual void _BlinkCaret(bool) {}
    // The cursor set on this view, or null.
    const BCursor* _Cursor() const { return fCursor; }

private:
    friend class BWindow;

    // Runs a drawing operation with a context set up for this view.
    template <class Operation>
    void Paint(Operation operation);
    void PaintShape(pattern p, const std::function<void(_cairo*)>& path, bool fill);
    void InvalidateScreenArea();

    BWindow* fWindow;
    BView* fParent;
    std::vector<BView*> fChildren;
    BRect fFrame;
    BPoint fOrigin; // scroll position: the left-top of the bounds
    uint32 fResizingMode;
    uint32 fFlags;
    int32 fHideLevel;

    rgb_color fViewColor;
    rgb_color fHighColor;
    rgb_color fLowColor;
    float fPenSize;
    BPoint fPenLocation;
    drawing_mode fDrawingMode;
    BFont fFont;
    _cairo* fContext; // set while the window updates this view
    BView* fVerticalBar;
    BView* fHorizontalBar;
    const BCursor* fCursor;
};
