#pragma once

// A vertical list of items, one or several of which can be selected.
//
// The list holds its items without owning them: removing an item hands it
// back, and the list's destruction deletes none. Rows lie one under the
// other; the list keeps a running total of their heights, so that finding
// the row at a point and drawing only the rows in an update stay fast for
// tens of thousands of items. A scroll bar that targets the list gets its
// range, proportion and steps from the list as items come and go and as
// the list is resized.
//
// Every change of the selection, by the user or by a call, calls
// SelectionChanged() and sends a copy of the selection message, if there
// is one, with "when", "source" (the list) and "index" (each selected
// index in order, or -1 when nothing is selected). A double click or Enter
// sends the invocation message in the same way. Both go to the target: the
// window, unless another target is set.

#include <vector>

#include <Invoker.h>
#include <ListItem.h>
#include <View.h>

class BList;
class BScrollView;

enum list_view_type { B_SINGLE_SELECTION_LIST, B_MULTIPLE_SELECTION_LIST };

class BListView : public BView, public BInvoker
{
public:
    // Always with B_FRAME_EVENTS: the list follows its size for its bar.
    BListView(BRect frame, const char* name, list_view_type type = B_SINGLE_SELECTION_LIST,
              uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
              uint32 flags = B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE);
    ~BListView() override;

    void AttachedToWindow() override;
    void Draw(BRect updateRect) override;
    // Selects the row under the pointer (Shift extends a multiple-selection
    // list from the last click, Command toggles one row); a press below the
    // last row deselects everything; a double click on a row invokes.
    void MouseDown(BPoint where) override;
    // Up and Down (with Shift: extending), Home, End, Page Up and Page Down
    // move the selection; Enter invokes.
    void KeyDown(const char* bytes, int32 numBytes) override;
    void FrameResized(float newWidth, float newHeight) override;
    void MakeFocus(bool focus = true) override;
    void TargetedByScrollView(BScrollView* scrollView) override;
    // The items are sized again for the new font.
    void SetFont(const BFont* font, uint32 mask = B_FONT_ALL) override;

    // Items. Adding fails for null and for an index out of [0, count].
    // Removing leaves the removed items untouched.
    virtual bool AddItem(BListItem* item);
    virtual bool AddItem(BListItem* item, int32 index);
    virtual bool AddList(BList* items);
    virtual bool AddList(BList* items, int32 index);
    virtual bool RemoveItem(BListItem* item);
    virtual BListItem* RemoveItem(int32 index);
    virtual bool RemoveItems(int32 index, int32 count);
    virtual void MakeEmpty();
    BListItem* ItemAt(int32 index) const;
    BListItem* FirstItem() const;
    BListItem* LastItem() const;
    int32 CountItems() const { return int32(fItems.size()); }
    bool IsEmpty() const { return fItems.empty(); }
    int32 IndexOf(const BListItem* item) const;
    // The row under a point in the list's coordinates, or -1.
    int32 IndexOf(BPoint point) const;
    bool HasItem(const BListItem* item) const { return IndexOf(item) >= 0; }
    const BListItem** Items() const;
    // Stops at the first call that returns true.
    void DoForEach(bool (*func)(BListItem* item));
    void DoForEach(bool (*func)(BListItem* item, void* arg), void* arg);
    // `compare` gets pointers to two BListItem* and answers like strcmp;
    // the sort is stable.
    void SortItems(int (*compare)(const void*, const void*));
    bool SwapItems(int32 a, int32 b);
    bool MoveItem(int32 from, int32 to);

    // Messages; the list owns them.
    virtual void SetSelectionMessage(BMessage* message);
    BMessage* SelectionMessage() const { return fSelectionMessage; }
    uint32 SelectionCommand() const;
    virtual void SetInvocationMessage(BMessage* message);
    BMessage* InvocationMessage() const { return Message(); }
    uint32 InvocationCommand() const { return Command(); }
    status_t Invoke(BMessage* message = nullptr) override;

    virtual void SetListType(list_view_type type);
    list_view_type ListType() const { return fListType; }

    // Selection. Indices out of range select nothing and change nothing.
    int32 CurrentSelection(int32 index = 0) const;
    void Select(int32 index, bool extend = false);
    void Select(int32 from, int32 to, bool extend = false);
    bool IsItemSelected(int32 index) const;
    void Deselect(int32 index);
    void DeselectAll();
    void DeselectExcept(int32 exceptFrom, int32 exceptTo);
    virtual void SelectionChanged();

    void InvalidateItem(int32 index);
    // The row's frame in the list's coordinates; invalid out of range.
    BRect ItemFrame(int32 index) const;
    void ScrollToSelection();

private:
    // Changes the flags and redraws; no notification.
    bool SelectRange(int32 from, int32 to, bool extend);
    bool DeselectRange(int32 exceptFrom, int32 exceptTo);
    void NotifySelection();
    void UpdateItems();
    void RecalcFrom(int32 index);
    void InvalidateFrom(int32 index);
    void FixupScrollBar();
    void ScrollToItem(int32 index);
    void MoveCursor(int32 index, bool extend);
    int32 EnabledFrom(int32 index, int32 direction) const;
    void Reordered(int32 from, int32 to);
    bool InsertItems(const std::vector<BListItem*>& items, int32 index);

    std::vector<BListItem*> fItems;
    // fTops[i] is the top of row i; fTops[count] the height of them all.
    std::vector<double> fTops;
    list_view_type fListType;
    BMessage* fSelectionMessage;
    // The selected indices in order, kept in step with the items' flags
    // (select through the list, not through the items).
    std::vector<int32> fSelected;
    int32 fAnchor;    // where a Shift-extended selection starts
    int32 fCursor;    // the row the keys move from
    int32 fLastClick; // the row of the previous press, for double clicks
    uint32 fChanges;  // counts changes to the items, to notice them in callbacks
    bool fDrawing;
};
