#include "ListView.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>

#include <AppDefs.h>
#include <List.h>
#include <Message.h>
#include <OS.h>

#include "ControlLook.h"
#include "ScrollBar.h"
#include "ScrollView.h"
#include "Window.h"

namespace
{

// A bottom-up merge sort: stable, and never outside the array whatever the
// comparison answers (std::sort may run off the end for one that is not a
// strict weak ordering).
void merge_sort(std::vector<BListItem*>& items, int (*compare)(const void*, const void*))
{
    size_t count = items.size();
    std::vector<BListItem*> merged(count);
    for (size_t width = 1; width < count; width *= 2) {
        for (size_t low = 0; low < count; low += 2 * width) {
            size_t middle = std::min(low + width, count), high = std::min(low + 2 * width, count);
            size_t left = low, right = middle, out = low;
            while (left < middle && right < high) {
                if (compare(&items[right], &items[left]) < 0)
                    merged[out++] = items[right++];
                else
                    merged[out++] = items[left++];
            }
            while (left < middle)
                merged[out++] = items[left++];
            while (right < high)
                merged[out++] = items[right++];
        }
        items.swap(merged);
    }
}

// The modifier keys of the event being handled, or those held now.
uint32 event_modifiers(BWindow* window)
{
    BMessage* message = window != nullptr ? window->CurrentMessage() : nullptr;
    int32 held = 0;
    if (message != nullptr && message->FindInt32("modifiers", &held) == B_OK)
        return uint32(held);
    return modifiers();
}

} // namespace

BListView::BListView(BRect frame, const char* name, list_view_type type, uint32 resizingMode,
                     uint32 flags)
    // Without frame events a resized list could not keep its scroll bar right.
    : BView(frame, name, resizingMode, flags | B_FRAME_EVENTS), BInvoker(), fTops(1, 0.0),
      fListType(type == B_MULTIPLE_SELECTION_LIST ? type : B_SINGLE_SELECTION_LIST),
      fSelectionMessage(nullptr), fAnchor(-1), fCursor(-1), fLastClick(-1), fChanges(0),
      fDrawing(false)
{
    SetViewColor(BPrivate::kFieldColor);
    SetLowColor(BPrivate::kFieldColor);
}

BListView::~BListView()
{
    for (orientation direction : {B_VERTICAL, B_HORIZONTAL}) {
        if (BScrollBar* bar = ScrollBar(direction))
            bar->SetTarget(nullptr);
    }
    delete fSelectionMessage;
}

// -- hooks -------------------------------------------------------------------------

void BListView::AttachedToWindow()
{
    BView::AttachedToWindow();
    if (Target() == nullptr && !Messenger().IsValid())
        SetTarget(Window());
    UpdateItems();
    FixupScrollBar();
}

void BListView::FrameResized(float newWidth, float newHeight)
{
    BView::FrameResized(newWidth, newHeight);
    FixupScrollBar();
}

void BListView::TargetedByScrollView(BScrollView*)
{
    FixupScrollBar();
}

void BListView::MakeFocus(bool focus)
{
    // The window marks the focus on the scroll view's frame.
    BView::MakeFocus(focus);
}

void BListView::SetFont(const BFont* font, uint32 mask)
{
    BFont before;
    GetFont(&before);
    BView::SetFont(font, mask);
    BFont after;
    GetFont(&after);
    // Items that set the owner's font while they draw must not resize
    // every row in the middle of drawing; Draw puts the font back.
    if (fDrawing || before == after)
        return;
    UpdateItems();
    Invalidate();
    FixupScrollBar();
}

void BListView::Draw(BRect updateRect)
{
    if (fItems.empty() || !updateRect.IsValid())
        return;
    // The update rectangle bounds what needs drawing; the clip has its
    // parts, so that two rows far apart do not redraw all those between.
    std::vector<BRect> parts;
    _Draw([&](_cairo* context) {
        cairo_rectangle_list_t* list =
            cairo_copy_clip_rectangle_list(reinterpret_cast<cairo_t*>(context));
        if (list->status == CAIRO_STATUS_SUCCESS) {
            for (int i = 0; i < list->num_rectangles; i++) {
                const cairo_rectangle_t& r = list->rectangles[i];
                parts.push_back(BRect(float(r.x), float(r.y), float(r.x + r.width - 1),
                                      float(r.y + r.height - 1)));
            }
        }
        cairo_rectangle_list_destroy(list);
    });
    if (parts.empty())
        parts.push_back(updateRect);
    // The first row that reaches into the update, by binary search.
    auto first = std::upper_bound(fTops.begin(), fTops.end() - 1, double(updateRect.top));
    size_t index = first == fTops.begin() ? 0 : size_t(first - fTops.begin()) - 1;
    if (fTops[index + 1] <= updateRect.top)
        return; // the update lies below the last row
    BFont font;
    GetFont(&font);
    rgb_color high = HighColor(), low = LowColor();
    drawing_mode mode = DrawingMode();
    float penSize = PenSize();
    fDrawing = true;
    uint32 changes = fChanges;
    for (; index < fItems.size() && fTops[index] <= updateRect.bottom; index++) {
        BRect frame = ItemFrame(int32(index));
        if (std::none_of(parts.begin(), parts.end(),
                         [&](const BRect& part) { return part.Intersects(frame); }))
            continue;
        fItems[index]->DrawItem(this, frame, false);
        // Each row starts from the list's own state, whatever the last
        // one left behind.
        BView::SetFont(&font);
        SetHighColor(high);
        SetLowColor(low);
        SetDrawingMode(mode);
        SetPenSize(penSize);
        if (changes != fChanges)
            break; // an item changed the list while drawing
    }
    fDrawing = false;
}

void BListView::MouseDown(BPoint where)
{
    if ((Flags() & B_NAVIGABLE) != 0 && !IsFocus())
        MakeFocus(true);
    int32 clicks = 1;
    if (BMessage* message = Window() != nullptr ? Window()->CurrentMessage() : nullptr) {
        if (message->what == B_MOUSE_DOWN)
            message->FindInt32("clicks", &clicks);
    }
    uint32 held = event_modifiers(Window());
    int32 index = IndexOf(where);
    bool again = index == fLastClick;
    fLastClick = index;
    if (index < 0) {
        DeselectAll();
        return;
    }
    if (!fItems[size_t(index)]->IsEnabled())
        return;
    bool multiple = fListType == B_MULTIPLE_SELECTION_LIST;
    if (multiple && (held & B_SHIFT_KEY) != 0 && fAnchor >= 0 && fAnchor < CountItems()) {
        if (SelectRange(std::min(fAnchor, index), std::max(fAnchor, index), false))
            NotifySelection();
        fCursor = index;
    } else if (multiple && (held & B_COMMAND_KEY) != 0) {
        if (IsItemSelected(index))
            Deselect(index);
        else
            Select(index, true);
        fAnchor = fCursor = index;
    } else {
        Select(index, false);
        fAnchor = fCursor = index;
    }
    if (clicks >= 2 && again && IsItemSelected(index))
        Invoke();
}

void BListView::KeyDown(const char* bytes, int32 numBytes)
{
    if (numBytes != 1 || fItems.empty()) {
        BView::KeyDown(bytes, numBytes);
        return;
    }
    bool extend = (event_modifiers(Window()) & B_SHIFT_KEY) != 0;
    int32 last = CountItems() - 1;
    int32 from = fCursor >= 0 && fCursor <= last ? fCursor : CurrentSelection(0);
    // Rows that fit the view, for the page keys.
    int32 page = 1;
    if (from >= 0) {
        float rows = (Bounds().Height() + 1) / (ItemFrame(from).Height() + 1);
        page = std::max<int32>(1, int32(std::min(rows, 1e6f)) - 1);
    }
    switch (bytes[0]) {
    case B_UP_ARROW:
        MoveCursor(from < 0 ? EnabledFrom(last, -1) : EnabledFrom(from - 1, -1), extend);
        break;
    case B_DOWN_ARROW:
        MoveCursor(from < 0 ? EnabledFrom(0, 1) : EnabledFrom(from + 1, 1), extend);
        break;
    case B_HOME:
        MoveCursor(EnabledFrom(0, 1), extend);
        break;
    case B_END:
        MoveCursor(EnabledFrom(last, -1), extend);
        break;
    case B_PAGE_UP:
        MoveCursor(EnabledFrom(std::max(0, from - page), -1), extend);
        break;
    case B_PAGE_DOWN:
        MoveCursor(EnabledFrom(std::min(last, std::max(from, 0) + page), 1), extend);
        break;
    case B_ENTER:
        if (CurrentSelection(0) >= 0)
            Invoke();
        break;
    default:
        BView::KeyDown(bytes, numBytes);
        break;
    }
}

int32 BListView::EnabledFrom(int32 index, int32 direction) const
{
    for (; index >= 0 && index < CountItems(); index += direction) {
        if (fItems[size_t(index)]->IsEnabled())
            return index;
    }
    return -1;
}

void BListView::MoveCursor(int32 index, bool extend)
{
    if (index < 0)
        return;
    if (extend && fListType == B_MULTIPLE_SELECTION_LIST && fAnchor >= 0 &&
        fAnchor < CountItems()) {
        if (SelectRange(std::min(fAnchor, index), std::max(fAnchor, index), false))
            NotifySelection();
    } else {
        Select(index, false);
        fAnchor = index;
    }
    fCursor = index;
    ScrollToItem(index);
}

// -- items -------------------------------------------------------------------------

bool BListView::AddItem(BListItem* item)
{
    return AddItem(item, CountItems());
}

bool BListView::AddItem(BListItem* item, int32 index)
{
    if (item == nullptr)
        return false;
    return InsertItems(std::vector<BListItem*>(1, item), index);
}

bool BListView::AddList(BList* items)
{
    return AddList(items, CountItems());
}

bool BListView::AddList(BList* items, int32 index)
{
    if (items == nullptr)
        return false;
    std::vector<BListItem*> adding;
    adding.reserve(size_t(items->CountItems()));
    for (int32 i = 0; i < items->CountItems(); i++) {
        auto* item = static_cast<BListItem*>(items->ItemAt(i));
        if (item == nullptr)
            return false;
        adding.push_back(item);
    }
    return InsertItems(adding, index);
}

bool BListView::InsertItems(const std::vector<BListItem*>& items, int32 index)
{
    if (index < 0 || index > CountItems())
        return false;
    if (items.empty())
        return true;
    BFont font;
    GetFont(&font);
    for (BListItem* item : items) {
        // A single-selection list must not gain a second selected row.
        item->Deselect();
        item->Update(this, &font);
    }
    fItems.insert(fItems.begin() + index, items.begin(), items.end());
    fChanges++;
    RecalcFrom(index);
    int32 added = int32(items.size());
    for (int32& selected : fSelected) {
        if (selected >= index)
            selected += added;
    }
    for (int32* mark : {&fAnchor, &fCursor, &fLastClick}) {
        if (*mark >= index)
            *mark += added;
    }
    InvalidateFrom(index);
    FixupScrollBar();
    return true;
}

bool BListView::RemoveItem(BListItem* item)
{
    int32 index = IndexOf(item);
    return index >= 0 && RemoveItems(index, 1);
}

BListItem* BListView::RemoveItem(int32 index)
{
    BListItem* item = ItemAt(index);
    if (item == nullptr || !RemoveItems(index, 1))
        return nullptr;
    return item;
}

bool BListView::RemoveItems(int32 index, int32 count)
{
    if (index < 0 || index >= CountItems() || count <= 0)
        return false;
    count = std::min(count, CountItems() - index);
    InvalidateFrom(index);
    // The removed items are not touched: a caller may have deleted them
    // already, as in deleting every item and then calling MakeEmpty().
    fItems.erase(fItems.begin() + index, fItems.begin() + index + count);
    fChanges++;
    RecalcFrom(index);
    bool hadSelected = false;
    std::vector<int32> kept;
    for (int32 selected : fSelected) {
        if (selected < index)
            kept.push_back(selected);
        else if (selected >= index + count)
            kept.push_back(selected - count);
        else
            hadSelected = true;
    }
    fSelected.swap(kept);
    for (int32* mark : {&fAnchor, &fCursor, &fLastClick}) {
        if (*mark >= index + count)
            *mark -= count;
        else if (*mark >= index)
            *mark = -1;
    }
    FixupScrollBar();
    if (hadSelected)
        NotifySelection();
    return true;
}

void BListView::MakeEmpty()
{
    if (fItems.empty())
        return;
    RemoveItems(0, CountItems());
}

BListItem* BListView::ItemAt(int32 index) const
{
    if (index < 0 || index >= CountItems())
        return nullptr;
    return fItems[size_t(index)];
}

BListItem* BListView::FirstItem() const
{
    return fItems.empty() ? nullptr : fItems.front();
}

BListItem* BListView::LastItem() const
{
    return fItems.empty() ? nullptr : fItems.back();
}

int32 BListView::IndexOf(const BListItem* item) const
{
    if (item == nullptr)
        return -1;
    auto found = std::find(fItems.begin(), fItems.end(), item);
    return found == fItems.end() ? -1 : int32(found - fItems.begin());
}

int32 BListView::IndexOf(BPoint point) const
{
    if (!std::isfinite(point.y) || point.y < 0 || point.y >= fTops.back())
        return -1;
    auto after = std::upper_bound(fTops.begin(), fTops.end(), double(point.y));
    return int32(after - fTops.begin()) - 1;
}

const BListItem** BListView::Items() const
{
    return const_cast<const BListItem**>(reinterpret_cast<const BListItem* const*>(fItems.data()));
}

void BListView::DoForEach(bool (*func)(BListItem* item))
{
    if (func == nullptr)
        return;
    // By index: the function may remove items as it goes.
    for (int32 i = 0; i < CountItems(); i++) {
        if (func(fItems[size_t(i)]))
            return;
    }
}

void BListView::DoForEach(bool (*func)(BListItem* item, void* arg), void* arg)
{
    if (func == nullptr)
        return;
    for (int32 i = 0; i < CountItems(); i++) {
        if (func(fItems[size_t(i)], arg))
            return;
    }
}

void BListView::SortItems(int (*compare)(const void*, const void*))
{
    if (compare == nullptr || fItems.size() < 2)
        return;
    // Sorted in a copy, and kept only if the comparison left the list alone.
    std::vector<BListItem*> sorted(fItems);
    uint32 changes = fChanges;
    merge_sort(sorted, compare);
    if (changes != fChanges || sorted.size() != fItems.size())
        return;
    fItems.swap(sorted);
    Reordered(0, CountItems() - 1);
}

bool BListView::SwapItems(int32 a, int32 b)
{
    if (ItemAt(a) == nullptr || ItemAt(b) == nullptr)
        return false;
    if (a == b)
        return true;
    std::swap(fItems[size_t(a)], fItems[size_t(b)]);
    Reordered(std::min(a, b), std::max(a, b));
    return true;
}

bool BListView::MoveItem(int32 from, int32 to)
{
    if (ItemAt(from) == nullptr || ItemAt(to) == nullptr)
        return false;
    if (from == to)
        return true;
    auto begin = fItems.begin();
    if (from < to)
        std::rotate(begin + from, begin + from + 1, begin + to + 1);
    else
        std::rotate(begin + to, begin + from, begin + from + 1);
    Reordered(std::min(from, to), std::max(from, to));
    return true;
}

void BListView::Reordered(int32 from, int32 to)
{
    fChanges++;
    double bottom = fTops[size_t(to) + 1];
    RecalcFrom(from);
    fSelected.clear();
    for (size_t i = 0; i < fItems.size(); i++) {
        if (fItems[i]->IsSelected())
            fSelected.push_back(int32(i));
    }
    fAnchor = fCursor = CurrentSelection(0);
    fLastClick = -1;
    // Rows after `to` stay where they were when the heights add up alike.
    if (fTops[size_t(to) + 1] == bottom) {
        BRect frame = ItemFrame(from) | ItemFrame(to);
        Invalidate(frame);
    } else {
        InvalidateFrom(from);
    }
}

// -- geometry ----------------------------------------------------------------------

void BListView::UpdateItems()
{
    BFont font;
    GetFont(&font);
    for (BListItem* item : fItems)
        item->Update(this, &font);
    RecalcFrom(0);
}

void BListView::RecalcFrom(int32 index)
{
    fTops.resize(fItems.size() + 1);
    for (size_t i = size_t(std::max(index, 0)); i < fItems.size(); i++)
        fTops[i + 1] = fTops[i] + double(fItems[i]->Height()) + 1;
}

BRect BListView::ItemFrame(int32 index) const
{
    if (index < 0 || index >= CountItems())
        return BRect();
    BRect bounds = Bounds();
    return BRect(bounds.left, float(fTops[size_t(index)]), bounds.right,
                 float(fTops[size_t(index) + 1] - 1));
}

void BListView::InvalidateItem(int32 index)
{
    BListItem* item = ItemAt(index);
    if (item == nullptr)
        return;
    // An item whose height changed pushes the rows under it.
    if (fTops[size_t(index) + 1] - fTops[size_t(index)] != double(item->Height()) + 1) {
        InvalidateFrom(index);
        RecalcFrom(index);
        InvalidateFrom(index);
        FixupScrollBar();
        return;
    }
    Invalidate(ItemFrame(index));
}

void BListView::InvalidateFrom(int32 index)
{
    BRect bounds = Bounds();
    if (index < CountItems())
        bounds.top = std::max(bounds.top, float(fTops[size_t(index)]));
    if (bounds.IsValid())
        Invalidate(bounds);
}

void BListView::FixupScrollBar()
{
    BRect bounds = Bounds();
    float visible = bounds.Height() + 1;
    float total = float(fTops.back());
    float range = std::max(0.0f, total - visible);
    if (BScrollBar* bar = ScrollBar(B_VERTICAL)) {
        float line = 0;
        if (!fItems.empty()) {
            line = fItems.front()->Height() + 1;
        } else {
            font_height metrics;
            GetFontHeight(&metrics);
            line = std::ceil(metrics.ascent + metrics.descent + metrics.leading) + 3;
        }
        line = std::max(line, 1.0f);
        bar->SetRange(0, range);
        bar->SetProportion(total > 0 ? std::min(1.0f, visible / total) : 1.0f);
        bar->SetSteps(line, std::max(line, visible - line));
    } else if (bounds.top > range) {
        ScrollTo(bounds.left, range);
    }
    // Rows are as wide as the list: nothing to scroll across.
    if (BScrollBar* bar = ScrollBar(B_HORIZONTAL)) {
        bar->SetRange(0, 0);
        bar->SetProportion(1);
    }
}

void BListView::ScrollToItem(int32 index)
{
    BRect frame = ItemFrame(index);
    if (!frame.IsValid())
        return;
    BRect bounds = Bounds();
    if (frame.top < bounds.top)
        ScrollTo(bounds.left, frame.top);
    else if (frame.bottom > bounds.bottom)
        ScrollTo(bounds.left, std::min(frame.top, frame.bottom - bounds.Height()));
}

void BListView::ScrollToSelection()
{
    ScrollToItem(CurrentSelection(0));
}

// -- selection ---------------------------------------------------------------------

int32 BListView::CurrentSelection(int32 index) const
{
    if (index < 0 || size_t(index) >= fSelected.size())
        return -1;
    return fSelected[size_t(index)];
}

bool BListView::IsItemSelected(int32 index) const
{
    BListItem* item = ItemAt(index);
    return item != nullptr && item->IsSelected();
}

bool BListView::DeselectRange(int32 exceptFrom, int32 exceptTo)
{
    bool changed = false;
    std::vector<int32> kept;
    for (int32 index : fSelected) {
        if (index >= exceptFrom && index <= exceptTo) {
            kept.push_back(index);
            continue;
        }
        fItems[size_t(index)]->Deselect();
        Invalidate(ItemFrame(index));
        changed = true;
    }
    fSelected.swap(kept);
    return changed;
}

bool BListView::SelectRange(int32 from, int32 to, bool extend)
{
    if (fListType == B_SINGLE_SELECTION_LIST) {
        to = from;
        extend = false;
    }
    bool changed = extend ? false : DeselectRange(from, to);
    std::vector<int32> added;
    for (int32 index = from; index <= to; index++) {
        BListItem* item = fItems[size_t(index)];
        if (!item->IsSelected()) {
            item->Select();
            added.push_back(index);
        }
    }
    if (added.empty())
        return changed;
    Invalidate(ItemFrame(added.front()) | ItemFrame(added.back()));
    std::vector<int32> merged(fSelected.size() + added.size());
    std::merge(fSelected.begin(), fSelected.end(), added.begin(), added.end(), merged.begin());
    fSelected.swap(merged);
    return true;
}

void BListView::Select(int32 index, bool extend)
{
    if (index < 0 || index >= CountItems())
        return;
    if (SelectRange(index, index, extend))
        NotifySelection();
    if (!extend || fAnchor < 0)
        fAnchor = fCursor = index;
}

void BListView::Select(int32 from, int32 to, bool extend)
{
    if (fItems.empty())
        return;
    if (from > to)
        std::swap(from, to);
    if (to < 0 || from >= CountItems())
        return;
    from = std::max(from, 0);
    to = std::min(to, CountItems() - 1);
    if (SelectRange(from, to, extend))
        NotifySelection();
    fAnchor = from;
    fCursor = to;
}

void BListView::Deselect(int32 index)
{
    BListItem* item = ItemAt(index);
    if (item == nullptr || !item->IsSelected())
        return;
    item->Deselect();
    auto at = std::lower_bound(fSelected.begin(), fSelected.end(), index);
    if (at != fSelected.end() && *at == index)
        fSelected.erase(at);
    Invalidate(ItemFrame(index));
    NotifySelection();
}

void BListView::DeselectAll()
{
    if (DeselectRange(0, -1))
        NotifySelection();
}

void BListView::DeselectExcept(int32 exceptFrom, int32 exceptTo)
{
    if (exceptFrom > exceptTo)
        std::swap(exceptFrom, exceptTo);
    if (DeselectRange(exceptFrom, exceptTo))
        NotifySelection();
}

void BListView::SetListType(list_view_type type)
{
    type = type == B_MULTIPLE_SELECTION_LIST ? type : B_SINGLE_SELECTION_LIST;
    if (type == fListType)
        return;
    fListType = type;
    int32 first = CurrentSelection(0);
    if (type == B_SINGLE_SELECTION_LIST && first >= 0)
        DeselectExcept(first, first);
}

void BListView::SelectionChanged() {}

void BListView::NotifySelection()
{
    SelectionChanged();
    if (fSelectionMessage != nullptr)
        Invoke(fSelectionMessage);
}

// -- messages ----------------------------------------------------------------------

void BListView::SetSelectionMessage(BMessage* message)
{
    if (message == fSelectionMessage)
        return;
    delete fSelectionMessage;
    fSelectionMessage = message;
}

uint32 BListView::SelectionCommand() const
{
    return fSelectionMessage != nullptr ? fSelectionMessage->what : 0;
}

void BListView::SetInvocationMessage(BMessage* message)
{
    SetMessage(message);
}

status_t BListView::Invoke(BMessage* message)
{
    BMessage copy;
    if (_StampedCopy(message, this, &copy) != B_OK)
        return B_BAD_VALUE;
    if (fSelected.empty())
        copy.AddInt32("index", -1);
    for (int32 index : fSelected)
        copy.AddInt32("index", index);
    return BInvoker::Invoke(&copy);
}
