// List views and their items, used as a person would: clicks, double
// clicks and keys, the messages they send, what they redraw, and how they
// cope with tens of thousands of rows.

#include "ControlTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include <ControlLook.h>
#include <List.h>
#include <ListItem.h>
#include <ListView.h>
#include <ScrollBar.h>
#include <ScrollView.h>

namespace
{

const uint32 kSelected = 'lsel';
const uint32 kInvoked = 'linv';

// Counts how often it was drawn.
class CountingItem : public BStringItem
{
public:
    explicit CountingItem(const char* text, float height = -1) : BStringItem(text), fixed(height) {}
    void DrawItem(BView* owner, BRect frame, bool complete) override
    {
        drawn++;
        BStringItem::DrawItem(owner, frame, complete);
    }
    void Update(BView* owner, const BFont* font) override
    {
        BStringItem::Update(owner, font);
        if (fixed >= 0)
            SetHeight(fixed);
    }
    int drawn = 0;
    float fixed;
};

// Counts SelectionChanged calls and times each Draw.
class WatchedList : public BListView
{
public:
    WatchedList(BRect frame, list_view_type type = B_SINGLE_SELECTION_LIST)
        : BListView(frame, "list", type)
    {
        SetSelectionMessage(new BMessage(kSelected));
        SetInvocationMessage(new BMessage(kInvoked));
    }
    void SelectionChanged() override { changes++; }
    void Draw(BRect update) override
    {
        bigtime_t start = system_time();
        BListView::Draw(update);
        lastDraw = system_time() - start;
    }
    int changes = 0;
    bigtime_t lastDraw = 0;
};

class Lists : public ControlTest
{
protected:
    WatchedList* MakeList(int count, list_view_type type = B_SINGLE_SELECTION_LIST,
                          BRect frame = BRect(20, 20, 200, 219))
    {
        auto* list = new WatchedList(frame, type);
        AddItems(list, count);
        return Add(list);
    }
    void AddItems(BListView* list, int count)
    {
        size_t first = MakeItems(count);
        for (size_t i = first; i < items.size(); i++)
            list->AddItem(items[i].get());
    }
    size_t MakeItems(int count)
    {
        size_t first = items.size();
        for (int i = 0; i < count; i++)
            items.push_back(std::make_unique<CountingItem>(("row " + std::to_string(i)).c_str()));
        return first;
    }
    // The centre of a row, in the list's coordinates.
    BPoint Row(BListView* list, int32 index)
    {
        return driver->Locked(window, [&] {
            BRect frame = list->ItemFrame(index);
            return BPoint(40, std::floor((frame.top + frame.bottom) / 2));
        });
    }
    std::vector<int32> Indices(const BMessage& message)
    {
        std::vector<int32> indices;
        int32 index = 0;
        for (int32 i = 0; message.FindInt32("index", i, &index) == B_OK; i++)
            indices.push_back(index);
        return indices;
    }
    std::vector<int32> LastIndices(uint32 what)
    {
        std::vector<BMessage> messages = window->Messages();
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (it->what == what)
                return Indices(*it);
        }
        return {};
    }
    CountingItem* Item(int index) { return items[size_t(index)].get(); }
    void ResetDrawn()
    {
        for (auto& item : items)
            item->drawn = 0;
    }
    std::vector<int> DrawnRows()
    {
        std::vector<int> rows;
        for (size_t i = 0; i < items.size(); i++)
            if (items[i]->drawn > 0)
                rows.push_back(int(i));
        return rows;
    }

    // Outlive the window, whose lists may draw them until it goes.
    std::vector<std::unique_ptr<CountingItem>> items;
};

} // namespace

TEST_F(Lists, AClickSelectsTheRowUnderItAndNotifiesOncePerChange)
{
    WatchedList* list = MakeList(10);
    driver->Click(list, Row(list, 3));
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(window->Count(kSelected), 1);
    BMessage sent = window->Messages().back();
    EXPECT_EQ(Indices(sent), std::vector<int32>{3});
    void* source = nullptr;
    EXPECT_EQ(sent.FindPointer("source", &source), B_OK);
    EXPECT_EQ(source, static_cast<BListView*>(list));
    EXPECT_TRUE(sent.HasInt64("when"));

    driver->Click(list, Row(list, 3));
    driver->Click(list, Row(list, 5));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kSelected), 2) << "a click on the selected row changes nothing";
    EXPECT_EQ(LastIndices(kSelected), std::vector<int32>{5});
    // The selection shows: the right end of row 5 has the selection colour
    // and that of row 3 no longer does.
    BPoint five =
        driver->Locked(window, [&] { return list->_ToWindow(Row(list, 5) + BPoint(130, 0)); });
    BPoint three =
        driver->Locked(window, [&] { return list->_ToWindow(Row(list, 3) + BPoint(130, 0)); });
    EXPECT_EQ(driver->Pixel(window, int32(five.x), int32(five.y)), BPrivate::kSelectionColor);
    EXPECT_EQ(driver->Pixel(window, int32(three.x), int32(three.y)), BPrivate::kFieldColor);

    // Empty space below the rows deselects, once.
    driver->Click(list, BPoint(40, 190));
    driver->Click(list, BPoint(40, 195));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kSelected), 3);
    EXPECT_EQ(LastIndices(kSelected), std::vector<int32>{-1});

    driver->Locked(window, [&] {
        EXPECT_EQ(list->CurrentSelection(), -1);
        list->Select(7);
        list->Select(7);
        list->Select(12); // out of range: nothing
        list->Select(-1);
        EXPECT_EQ(list->CurrentSelection(), 7);
        list->DeselectAll();
        list->DeselectAll();
        list->Deselect(40);
        EXPECT_EQ(list->changes, 5);
    });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kSelected), 5) << "calls notify like clicks, once per change";
}

TEST_F(Lists, DoubleClicksAndEnterInvokeTheTarget)
{
    WatchedList* list = MakeList(10);
    driver->Click(list, Row(list, 2));
    driver->Click(list, Row(list, 2), B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    ASSERT_EQ(window->Count(kInvoked), 1);
    EXPECT_EQ(LastIndices(kInvoked), std::vector<int32>{2});

    // The second click of a pair on another row only selects it.
    driver->Click(list, Row(list, 4), B_PRIMARY_MOUSE_BUTTON, 2);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kInvoked), 1);
    driver->Key(B_ENTER);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(window->Count(kInvoked), 2) << "Enter invokes the focused list";
    EXPECT_EQ(LastIndices(kInvoked), std::vector<int32>{4});

    struct Catcher : BView {
        Catcher() : BView(BRect(0, 0, 1, 1), "catcher", 0, 0) {}
        void MessageReceived(BMessage* message) override { caught += message->what == kSelected; }
        int caught = 0;
    };
    auto* catcher = new Catcher;
    driver->Locked(window, [&] {
        background->AddChild(catcher);
        list->SetTarget(catcher);
    });
    driver->Click(list, Row(list, 6));
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(driver->Locked(window, [&] { return catcher->caught; }), 1);
    EXPECT_EQ(window->Count(kSelected), 2);
}

TEST_F(Lists, KeysMoveTheSelectionPastDisabledRowsAndKeepItInView)
{
    auto* list = new WatchedList(BRect(20, 20, 200, 179));
    AddItems(list, 40);
    Add(new BScrollView("scroll", list, B_FOLLOW_NONE, 0, false, true));
    driver->Locked(window, [&] { Item(1)->SetEnabled(false); });
    driver->Click(list, Row(list, 0));
    driver->Key(B_DOWN_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(list->CurrentSelection(), 2); });
    driver->Key(B_UP_ARROW);
    driver->Key(B_UP_ARROW);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(list->CurrentSelection(), 0); });
    EXPECT_EQ(window->Count(kSelected), 3) << "nothing above the first row";

    driver->Key(B_END);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(list->CurrentSelection(), 39);
        EXPECT_EQ(list->ItemFrame(39).bottom, list->Bounds().bottom) << "scrolled into view";
        EXPECT_EQ(list->ScrollBar(B_VERTICAL)->Value(), list->Bounds().top);
    });
    driver->Key(B_PAGE_UP);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        int32 now = list->CurrentSelection();
        EXPECT_LT(now, 39 - 5);
        EXPECT_GT(now, 39 - 12);
        EXPECT_TRUE(list->Bounds().Contains(list->ItemFrame(now)));
    });
    driver->Key(B_HOME);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(list->CurrentSelection(), 0);
        EXPECT_EQ(list->Bounds().top, 0);
    });
}

TEST_F(Lists, MultipleSelectionExtendsWithShiftAndTogglesWithCommand)
{
    WatchedList* list = MakeList(10, B_MULTIPLE_SELECTION_LIST);
    driver->Click(list, Row(list, 2));
    driver->Click(list, Row(list, 5), B_PRIMARY_MOUSE_BUTTON, 1, B_SHIFT_KEY);
    driver->Click(list, Row(list, 8), B_PRIMARY_MOUSE_BUTTON, 1, B_COMMAND_KEY);
    driver->Click(list, Row(list, 3), B_PRIMARY_MOUSE_BUTTON, 1, B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(LastIndices(kSelected), (std::vector<int32>{2, 4, 5, 8}));
    driver->Key(B_DOWN_ARROW, B_SHIFT_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(LastIndices(kSelected), (std::vector<int32>{3, 4})) << "Shift extends from row 3";
    driver->Locked(window, [&] {
        list->Select(6, 7, true);
        EXPECT_EQ(list->CurrentSelection(2), 6);
        EXPECT_EQ(list->CurrentSelection(3), 7);
        EXPECT_EQ(list->CurrentSelection(4), -1);
        list->DeselectExcept(4, 6);
        EXPECT_EQ(list->CurrentSelection(0), 4);
        EXPECT_EQ(list->CurrentSelection(1), 6);
        list->SetListType(B_SINGLE_SELECTION_LIST);
        EXPECT_EQ(list->CurrentSelection(0), 4);
        EXPECT_EQ(list->CurrentSelection(1), -1);
        list->Select(0, 9, false);
        EXPECT_EQ(list->CurrentSelection(1), -1) << "one row at most in a single list";
    });
}

TEST_F(Lists, ItemFramesAndPointsAgreeAsRowsChange)
{
    auto* list = new WatchedList(BRect(20, 20, 200, 219));
    float heights[] = {10, 0, 25, 3, 14};
    for (float height : heights) {
        items.push_back(std::make_unique<CountingItem>("x", height));
        list->AddItem(items.back().get());
    }
    Add(list);
    auto check = [&] {
        float top = 0;
        for (int32 i = 0; i < list->CountItems(); i++) {
            BRect frame = list->ItemFrame(i);
            EXPECT_EQ(frame.top, top) << "rows follow one another, row " << i;
            EXPECT_EQ(frame.Height(), list->ItemAt(i)->Height());
            EXPECT_EQ(list->IndexOf(frame.LeftTop()), i);
            EXPECT_EQ(list->IndexOf(BPoint(150, frame.bottom + 0.5f)), i);
            top = frame.bottom + 1;
        }
        EXPECT_EQ(list->IndexOf(BPoint(5, top)), -1) << "below the rows";
        EXPECT_EQ(list->IndexOf(BPoint(5, -1)), -1);
        EXPECT_EQ(list->IndexOf(BPoint(5, NAN)), -1);
        EXPECT_FALSE(list->ItemFrame(-1).IsValid());
        EXPECT_FALSE(list->ItemFrame(list->CountItems()).IsValid());
    };
    driver->Locked(window, [&] {
        check();
        items.push_back(std::make_unique<CountingItem>("new", 7));
        EXPECT_TRUE(list->AddItem(items.back().get(), 2));
        check();
        EXPECT_TRUE(list->SwapItems(0, 4));
        EXPECT_EQ(list->ItemAt(0)->Height(), 3);
        check();
        EXPECT_TRUE(list->MoveItem(1, 5));
        EXPECT_EQ(list->ItemAt(5)->Height(), 0);
        check();
        // A row that grows pushes the rest down once it is invalidated.
        list->ItemAt(0)->SetHeight(40);
        list->InvalidateItem(0);
        check();
        list->SortItems([](const void* a, const void* b) {
            float ha = (*static_cast<BListItem* const*>(a))->Height();
            float hb = (*static_cast<BListItem* const*>(b))->Height();
            return ha < hb ? -1 : ha > hb ? 1 : 0;
        });
        for (int32 i = 1; i < list->CountItems(); i++)
            EXPECT_LE(list->ItemAt(i - 1)->Height(), list->ItemAt(i)->Height());
        check();
    });
}

TEST_F(Lists, RemovingItemsAndBadCallsKeepTheListWhole)
{
    WatchedList* list = MakeList(10);
    driver->Locked(window, [&] {
        list->Select(5);
        EXPECT_EQ(list->RemoveItem(1), Item(1));
        EXPECT_EQ(list->CurrentSelection(), 4) << "the selected row moved up";
        EXPECT_EQ(list->changes, 1) << "but the selection is the same";
        EXPECT_TRUE(list->RemoveItem(Item(5)));
        EXPECT_EQ(list->CurrentSelection(), -1);
        EXPECT_EQ(list->changes, 2);
        EXPECT_EQ(list->CountItems(), 8);
        EXPECT_EQ(list->ItemAt(4), Item(6));

        EXPECT_FALSE(list->RemoveItem(Item(5))) << "no longer in the list";
        EXPECT_EQ(list->RemoveItem(8), nullptr);
        EXPECT_EQ(list->RemoveItem(-1), nullptr);
        EXPECT_FALSE(list->RemoveItems(3, 0));
        EXPECT_FALSE(list->RemoveItems(-2, 4));
        EXPECT_FALSE(list->AddItem(nullptr));
        EXPECT_FALSE(list->AddItem(Item(1), 9));
        EXPECT_FALSE(list->AddItem(Item(1), -1));
        EXPECT_FALSE(list->SwapItems(0, 8));
        EXPECT_FALSE(list->MoveItem(-1, 2));
        EXPECT_EQ(list->IndexOf(Item(1)), -1);

        BList more;
        more.AddItem(Item(1));
        more.AddItem(Item(5));
        EXPECT_TRUE(list->AddList(&more, 0));
        EXPECT_EQ(list->ItemAt(1), Item(5));
        EXPECT_EQ(list->CountItems(), 10);

        // A comparison that answers at random leaves every item in place.
        std::vector<const BListItem*> before(list->Items(), list->Items() + list->CountItems());
        static std::mt19937 noise(7);
        list->SortItems([](const void*, const void*) { return int(noise() % 3) - 1; });
        std::vector<const BListItem*> after(list->Items(), list->Items() + list->CountItems());
        std::sort(before.begin(), before.end());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(before, after);

        int visited = 0;
        list->DoForEach([](BListItem*, void* count) { return ++*static_cast<int*>(count) == 3; },
                        &visited);
        EXPECT_EQ(visited, 3) << "stops when told to";

        // Deleting the items and then emptying the list, as programs do,
        // must not reach into the deleted items.
        list->Select(2);
        std::vector<BListItem*> all;
        for (int32 i = 0; i < list->CountItems(); i++)
            all.push_back(list->ItemAt(i));
        for (auto& owned : items) {
            if (std::find(all.begin(), all.end(), owned.get()) != all.end())
                owned.reset();
        }
        list->MakeEmpty();
        EXPECT_TRUE(list->IsEmpty());
        EXPECT_EQ(list->CurrentSelection(), -1);
    });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(LastIndices(kSelected), std::vector<int32>{-1});
}

TEST_F(Lists, InvalidatingAnItemRedrawsThatRowOnly)
{
    WatchedList* list = MakeList(10);
    driver->Locked(window, [&] {
        ResetDrawn();
        list->InvalidateItem(4);
    });
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(DrawnRows(), std::vector<int>{4});
        EXPECT_EQ(Item(4)->drawn, 1);
        list->Select(2);
        ResetDrawn();
        list->Select(6);
    });
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { EXPECT_EQ(DrawnRows(), (std::vector<int>{2, 6})); });
}

TEST_F(Lists, FiftyThousandRowsAddInLinearTimeAndDrawOnlyWhatShows)
{
    // Adding 5,000 and 50,000 rows to a shown list: ten times the rows
    // must take about ten times as long, not a hundred.
    auto* small = new WatchedList(BRect(220, 20, 300, 219));
    Add(new BScrollView("small", small, B_FOLLOW_NONE, 0, false, true));
    const int base = 5000; // the small list's items come first
    auto* list = new WatchedList(BRect(20, 20, 200, 219));
    Add(new BScrollView("scroll", list, B_FOLLOW_NONE, 0, false, true));
    MakeItems(5000);
    MakeItems(50000);
    auto time_adding = [&](BListView* to, size_t from, size_t end) {
        return driver->Locked(window, [&] {
            bigtime_t start = system_time();
            for (size_t i = from; i < end; i++)
                to->AddItem(items[i].get());
            return system_time() - start;
        });
    };
    bigtime_t fewTime = time_adding(small, 0, base);
    bigtime_t manyTime = time_adding(list, base, items.size());
    // Generous, for loaded machines and sanitizers; adding in quadratic
    // time takes seconds.
    EXPECT_LT(manyTime, 25 * fewTime + 250000);
    driver->Locked(window, [&] {
        small->MakeEmpty();
        ResetDrawn();
        list->Invalidate();
    });
    ASSERT_TRUE(driver->WaitIdle());
    float row = 0;
    bigtime_t drawTime = 0;
    driver->Locked(window, [&] {
        row = list->ItemFrame(0).Height() + 1;
        drawTime = list->lastDraw;
        std::vector<int> drawn = DrawnRows();
        ASSERT_FALSE(drawn.empty());
        EXPECT_EQ(drawn.front(), base);
        EXPECT_EQ(drawn.back(), base + int(std::ceil(200 / row)) - 1);
        EXPECT_EQ(drawn.size(), size_t(drawn.back() - base + 1));

        // Half way down.
        ResetDrawn();
        list->ScrollBar(B_VERTICAL)->SetValue(25000 * row + row / 2);
    });
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        std::vector<int> drawn = DrawnRows();
        ASSERT_FALSE(drawn.empty());
        EXPECT_EQ(drawn.front(), base + 25000);
        EXPECT_LE(drawn.size(), size_t(200 / row) + 2);
        EXPECT_EQ(list->IndexOf(BPoint(5, list->Bounds().top)), 25000);
    });
    printf("[ measure  ] 5,000 rows added in %.1f ms, 50,000 in %.1f ms; a full draw of the "
           "50,000-row list took %.2f ms\n",
           double(fewTime) / 1000, double(manyTime) / 1000, double(drawTime) / 1000);
    RecordProperty("add_50000_us", int(manyTime));
    RecordProperty("draw_us", int(drawTime));
}

TEST_F(Lists, ASubclassThatReadsTheButtonsFirstStillSelects)
{
    // Like the program's list: it reads the mouse, lets the list select the
    // row, then acts on a secondary click.
    struct Secondary : WatchedList {
        Secondary() : WatchedList(BRect(20, 20, 200, 219)) {}
        void MouseDown(BPoint where) override
        {
            uint32 buttons = 0;
            GetMouse(&where, &buttons, true);
            BListView::MouseDown(where);
            if (buttons == B_SECONDARY_MOUSE_BUTTON)
                secondary = CurrentSelection();
        }
        int32 secondary = -2;
    };
    auto* list = new Secondary;
    AddItems(list, 6);
    Add(list);
    BPoint row = driver->Locked(window, [&] { return list->_ToWindow(Row(list, 4)); });
    driver->MouseMove(window, row);
    driver->MouseDown(window, row, B_SECONDARY_MOUSE_BUTTON);
    snooze(50000);
    driver->MouseUp(window, row);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(list->CurrentSelection(), 4);
        EXPECT_EQ(list->secondary, 4);
    });
}
