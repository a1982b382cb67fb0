// Windows and views driven headless, as a user would.

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <AppDefs.h>
#include <DisplayServer.h>
#include <HeadlessBackend.h>
#include <MessageFilter.h>
#include <Screen.h>

#include "InterfaceTestSupport.h"

namespace
{

class Windows : public testing::Test
{
protected:
    void SetUp() override { driver = std::make_unique<TestDriver>(make_test_app); }
    void TearDown() override { driver.reset(); }

    // A window with one view filling it, shown.
    BWindow* Open(const char* title, BRect frame, RecordingView** view = nullptr,
                  window_type type = B_TITLED_WINDOW)
    {
        auto* window = new BWindow(frame, title, type, 0);
        auto* content = new RecordingView(window->Bounds(), "content", B_FOLLOW_ALL_SIDES);
        window->AddChild(content);
        window->Show();
        if (view != nullptr)
            *view = content;
        EXPECT_TRUE(driver->WaitIdle());
        return window;
    }

    std::unique_ptr<TestDriver> driver;
};

class QuitCounter : public BWindow
{
public:
    QuitCounter(std::atomic<int>* asks, std::atomic<bool>* gone)
        : BWindow(BRect(50, 50, 149, 99), "Closable", B_TITLED_WINDOW, 0), fAsks(asks), fGone(gone)
    {
    }
    ~QuitCounter() override { *fGone = true; }
    bool QuitRequested() override
    {
        return ++*fAsks >= 2; // the first close is refused
    }

private:
    std::atomic<int>* fAsks;
    std::atomic<bool>* fGone;
};

} // namespace

TEST_F(Windows, ViewHooksRunInTreeOrder)
{
    std::vector<std::string> journal;
    auto* window = new BWindow(BRect(10, 10, 209, 109), "Hooks", B_TITLED_WINDOW, 0);
    auto* parent = new RecordingView(BRect(0, 0, 99, 99), "parent");
    auto* child = new RecordingView(BRect(10, 10, 49, 49), "child");
    parent->journal = &journal;
    child->journal = &journal;
    parent->AddChild(child);
    window->AddChild(parent);
    EXPECT_EQ(journal, (std::vector<std::string>{"parent attached", "child attached",
                                                 "child all attached", "parent all attached"}));
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        journal.clear();
        parent->RemoveChild(child);
        EXPECT_EQ(journal, (std::vector<std::string>{"child detached"}));
        EXPECT_EQ(child->Window(), nullptr);
        parent->AddChild(child);
        journal.clear();
    });
    // Closing the window detaches every view, in the window's thread.
    window->Lock();
    window->Quit();
    EXPECT_EQ(journal, (std::vector<std::string>{"parent detached", "child detached"}));
}

TEST_F(Windows, FindViewSearchesTheWholeTree)
{
    RecordingView* content;
    BWindow* window = Open("Find", BRect(0, 0, 199, 99), &content);
    driver->Locked(window, [&] {
        auto* deep = new RecordingView(BRect(5, 5, 20, 20), "deep");
        auto* middle = new RecordingView(BRect(10, 10, 60, 60), "middle");
        middle->AddChild(deep);
        content->AddChild(middle);
    });
    EXPECT_EQ(driver->FindView(window, "content"), content);
    BView* deep = driver->FindView(window, "deep");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->Parent(), driver->FindView(window, "middle"));
    EXPECT_EQ(driver->FindView(window, "missing"), nullptr);
    driver->Locked(window, [&] {
        EXPECT_EQ(window->FindView(BPoint(16, 16)), deep);
        EXPECT_EQ(window->FindView(BPoint(100, 50)), content);
    });
}

TEST_F(Windows, ResizingModesFollowTheParent)
{
    auto* window = new BWindow(BRect(0, 0, 199, 99), "Resize", B_DOCUMENT_WINDOW, 0);
    struct Case {
        const char* name;
        uint32 mode;
        BRect expected; // after the window grows by 100 x 50
    } cases[] = {
        {"all", B_FOLLOW_ALL_SIDES, BRect(10, 10, 289, 139)},
        {"left right", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP, BRect(10, 10, 289, 89)},
        {"right bottom", B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM, BRect(110, 60, 289, 139)},
        {"centre", B_FOLLOW_H_CENTER | B_FOLLOW_V_CENTER, BRect(60, 35, 239, 114)},
        {"none", B_FOLLOW_NONE, BRect(10, 10, 189, 89)},
    };
    std::vector<RecordingView*> views;
    for (auto& c : cases) {
        views.push_back(new RecordingView(BRect(10, 10, 189, 89), c.name, c.mode));
        window->AddChild(views.back());
    }
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { window->ResizeBy(100, 50); });
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_EQ(window->Bounds(), BRect(0, 0, 299, 149));
        for (size_t i = 0; i < views.size(); i++)
            EXPECT_EQ(views[i]->Frame(), cases[i].expected) << cases[i].name;
        auto events = views[0]->Events();
        EXPECT_NE(std::find(events.begin(), events.end(), "resized 279x129"), events.end());
        // A view that did not change size hears nothing.
        for (const std::string& event : views[4]->Events())
            EXPECT_EQ(event.rfind("resized", 0), std::string::npos);
    });
}

TEST_F(Windows, MouseGoesToTheDeepestViewAndTheReleaseToTheSameView)
{
    RecordingView* content;
    BWindow* window = Open("Mouse", BRect(100, 100, 299, 199), &content);
    RecordingView* inner = nullptr;
    driver->Locked(window, [&] {
        inner = new RecordingView(BRect(50, 20, 99, 69), "inner");
        content->AddChild(inner);
    });
    driver->MouseDown(window, BPoint(60, 30), B_SECONDARY_MOUSE_BUTTON);
    driver->MouseUp(window, BPoint(150, 90)); // released over the other view
    driver->Click(window, BPoint(5, 5));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        auto events = inner->Events();
        events.erase(events.begin(), events.begin() + 2); // attached, all attached
        EXPECT_EQ(events, (std::vector<std::string>{"down 10,10 2", "up 100,70"}));
        auto outer = content->Events();
        EXPECT_NE(std::find(outer.begin(), outer.end(), "down 5,5 1"), outer.end());
    });
}

namespace
{

class SkipDigits : public BMessageFilter
{
public:
    SkipDigits() : BMessageFilter(B_ANY_DELIVERY, B_ANY_SOURCE, B_KEY_DOWN) {}
    filter_result Filter(BMessage* message, BHandler**) override
    {
        int8 byte = 0;
        message->FindInt8("byte", &byte);
        return byte >= '0' && byte <= '9' ? B_SKIP_MESSAGE : B_DISPATCH_MESSAGE;
    }
};

} // namespace

TEST_F(Windows, KeysReachTheFocusViewThroughItsFilters)
{
    RecordingView* content;
    BWindow* window = Open("Keys", BRect(0, 0, 199, 99), &content);
    driver->Type("lost"); // no focus view yet: nobody gets them
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        content->AddFilter(new SkipDigits);
        content->MakeFocus();
        EXPECT_TRUE(content->IsFocus());
        window->AddShortcut('k', 0, new BMessage('shct'), content);
    });
    driver->Type("a1\xC3\xA9");
    driver->Key(B_ENTER);
    driver->Key('k', B_COMMAND_KEY);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        auto events = content->Events();
        std::vector<std::string> keys;
        for (const std::string& e : events)
            if (e.rfind("key ", 0) == 0)
                keys.push_back(e);
        EXPECT_EQ(keys, (std::vector<std::string>{"key a", "key \xC3\xA9", "key \n"}))
            << "the digit was filtered, the shortcut taken by the window";
    });
}

TEST_F(Windows, TheCloseBoxAsksQuitRequested)
{
    std::atomic<int> asks{0};
    std::atomic<bool> gone{false};
    auto* window = new QuitCounter(&asks, &gone);
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    driver->Close(window);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(asks.load(), 1);
    EXPECT_FALSE(gone.load());
    EXPECT_EQ(driver->App()->CountWindows(), 1);
    driver->Close(window);
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_TRUE(gone.load());
    EXPECT_EQ(driver->App()->CountWindows(), 0);
}

// The end of the display session is a quit request, as from the user:
// asked once, so a window that refuses is not asked over and over.
TEST_F(Windows, LosingTheDisplayAsksTheApplicationToQuitOnce)
{
    std::atomic<int> asks{0};
    std::atomic<bool> gone{false};
    auto* window = new QuitCounter(&asks, &gone);
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    auto* backend =
        static_cast<BPrivate::HeadlessBackend*>(BPrivate::DisplayServer::Get()->Backend());
    backend->Lose();
    for (bigtime_t end = system_time() + 5000000; asks.load() == 0 && system_time() < end;)
        snooze(10000);
    EXPECT_EQ(asks.load(), 1);
    snooze(300000); // several rounds of the main loop
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(asks.load(), 1);
    EXPECT_TRUE(driver->App()->IsRunning());

    driver->App()->PostMessage(B_QUIT_REQUESTED);
    for (bigtime_t end = system_time() + 5000000; driver->App()->IsRunning();) {
        ASSERT_LT(system_time(), end) << "the application did not quit";
        snooze(10000);
    }
    EXPECT_EQ(asks.load(), 2);
    EXPECT_TRUE(gone.load());
}

TEST_F(Windows, ActivationFollowsClicksAndShowing)
{
    RecordingView* firstView;
    RecordingView* secondView;
    BWindow* first = Open("First", BRect(0, 0, 99, 99), &firstView);
    BWindow* second = Open("Second", BRect(200, 0, 299, 99), &secondView);
    driver->Locked(first, [&] { EXPECT_FALSE(first->IsActive()); });
    driver->Locked(second, [&] { EXPECT_TRUE(second->IsActive()) << "a shown window is active"; });
    driver->Click(first, BPoint(10, 10));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(first, [&] {
        EXPECT_TRUE(first->IsActive());
        auto events = firstView->Events();
        EXPECT_NE(std::find(events.begin(), events.end(), "down 10,10 1"), events.end());
    });
    driver->Locked(second, [&] {
        EXPECT_FALSE(second->IsActive());
        auto events = secondView->Events();
        EXPECT_EQ(events,
                  (std::vector<std::string>{"attached", "all attached", "active", "inactive"}));
    });
    EXPECT_EQ(driver->App()->WindowAt(0), first);
    EXPECT_EQ(driver->App()->WindowAt(1), second);
    EXPECT_EQ(driver->App()->WindowAt(2), nullptr);
}

TEST_F(Windows, ModalAppWindowsTakeAllInput)
{
    RecordingView* plainView;
    BWindow* plain = Open("Plain", BRect(0, 0, 99, 99), &plainView);
    RecordingView* modalView;
    BWindow* modal = Open("Modal", BRect(200, 0, 299, 99), &modalView, B_MODAL_WINDOW);
    driver->Click(plain, BPoint(10, 10));
    driver->Close(plain);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(plain, [&] {
        for (const std::string& event : plainView->Events())
            EXPECT_EQ(event.rfind("down", 0), std::string::npos) << "input went past the modal";
    });
    EXPECT_EQ(driver->FindWindow("Plain", 0), plain) << "its close box was ignored";
    driver->Locked(modal, [&] { EXPECT_TRUE(modal->IsActive()); });
    modal->Lock();
    modal->Quit();
    driver->Click(plain, BPoint(10, 10));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(plain, [&] {
        auto events = plainView->Events();
        EXPECT_NE(std::find(events.begin(), events.end(), "down 10,10 1"), events.end())
            << "with the modal gone, input arrives again";
    });
}

TEST_F(Windows, PulsesReachViewsThatAskForThem)
{
    auto* window = new BWindow(BRect(0, 0, 99, 99), "Pulse", B_TITLED_WINDOW, 0);
    auto* pulsing = new RecordingView(BRect(0, 0, 49, 49), "pulsing", B_FOLLOW_NONE,
                                      B_WILL_DRAW | B_PULSE_NEEDED);
    auto* quiet = new RecordingView(BRect(50, 0, 99, 49), "quiet");
    window->AddChild(pulsing);
    window->AddChild(quiet);
    window->SetPulseRate(50000);
    bigtime_t start = system_time();
    window->Show();
    while (pulsing->pulses.load() < 4 && system_time() - start < 5000000)
        snooze(5000);
    bigtime_t elapsed = system_time() - start;
    int pulses = pulsing->pulses.load();
    EXPECT_GE(pulses, 4);
    EXPECT_LE(pulses, int(elapsed / 50000) + 1) << "faster than the pulse rate";
    EXPECT_EQ(quiet->pulses.load(), 0);
}

namespace
{

// Tracks a drag by polling, as the program's controls do.
class Tracker : public RecordingView
{
public:
    Tracker(BRect frame) : RecordingView(frame, "tracker") {}
    void MouseDown(BPoint) override
    {
        BPoint where;
        uint32 buttons = 1;
        for (int i = 0; i < 500 && buttons != 0; i++) {
            GetMouse(&where, &buttons);
            points.push_back(where);
            snooze(10000);
        }
        released = buttons == 0;
    }
    std::vector<BPoint> points;
    bool released = false;
};

} // namespace

TEST_F(Windows, GetMouseFollowsADragUntilRelease)
{
    auto* window = new BWindow(BRect(100, 100, 299, 199), "Drag", B_TITLED_WINDOW, 0);
    auto* tracker = new Tracker(BRect(0, 0, 199, 99));
    window->AddChild(tracker);
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    driver->Drag(window, BPoint(10, 10), BPoint(150, 60), 6);
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_TRUE(tracker->released);
        ASSERT_GE(tracker->points.size(), 4u);
        EXPECT_EQ(tracker->points.back(), BPoint(150, 60));
        // The pointer was seen on its way, not only at its ends.
        int between = 0;
        for (BPoint p : tracker->points)
            between += p.x > 10 && p.x < 150;
        EXPECT_GE(between, 2);
    });
}

TEST_F(Windows, GeometryAndCoordinates)
{
    RecordingView* content;
    BWindow* window = Open("Geometry", BRect(100, 50, 419, 94), &content);
    driver->Locked(window, [&] {
        EXPECT_EQ(window->Frame(), BRect(100, 50, 419, 94));
        EXPECT_EQ(window->Bounds(), BRect(0, 0, 319, 44));
        auto* child = new RecordingView(BRect(10, 5, 59, 24), "child");
        content->AddChild(child);
        EXPECT_EQ(child->ConvertToScreen(BPoint(1, 2)), BPoint(111, 57));
        EXPECT_EQ(child->ConvertFromScreen(BPoint(111, 57)), BPoint(1, 2));
        content->ScrollTo(BPoint(5, 0));
        EXPECT_EQ(content->Bounds().LeftTop(), BPoint(5, 0));
        EXPECT_EQ(child->ConvertToScreen(BPoint(1, 2)), BPoint(106, 57)) << "scrolled";
        window->MoveTo(6, 25);
        window->SetTitle("Renamed");
        EXPECT_EQ(window->Frame(), BRect(6, 25, 325, 69));
    });
    ASSERT_TRUE(driver->WaitIdle());
    BPrivate::HeadlessBackend::WindowState state;
    auto* headless =
        static_cast<BPrivate::HeadlessBackend*>(BPrivate::DisplayServer::Get()->Backend());
    ASSERT_TRUE(headless->State(window->_ServerId(), &state));
    EXPECT_EQ(state.spec.left, 6);
    EXPECT_EQ(state.spec.top, 25);
    EXPECT_EQ(state.spec.width, 320);
    EXPECT_EQ(state.spec.title, "Renamed");
    EXPECT_EQ(driver->FindWindow("Renamed", 0), window);
    EXPECT_EQ(BScreen(window).Frame(), BRect(0, 0, 1023, 767));
}

TEST_F(Windows, InvalidateRedrawsOnlyWhatAsked)
{
    RecordingView* content;
    BWindow* window = Open("Update", BRect(0, 0, 199, 99), &content);
    RecordingView* other = nullptr;
    driver->Locked(window, [&] {
        other = new RecordingView(BRect(150, 50, 189, 89), "other");
        content->AddChild(other);
    });
    ASSERT_TRUE(driver->WaitIdle());
    int contentDraws = content->draws.load(), otherDraws = other->draws.load();
    driver->Locked(window, [&] { content->Invalidate(BRect(0, 0, 20, 20)); });
    ASSERT_TRUE(driver->WaitIdle());
    EXPECT_EQ(content->draws.load(), contentDraws + 1);
    EXPECT_EQ(other->draws.load(), otherDraws) << "outside the invalid area";
    // Hidden views neither draw nor take clicks.
    driver->Locked(window, [&] { other->Hide(); });
    driver->Click(window, BPoint(160, 60));
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] {
        EXPECT_TRUE(other->IsHidden());
        for (const std::string& event : other->Events())
            EXPECT_EQ(event.rfind("down", 0), std::string::npos);
    });
}

namespace
{

// Draws text and shapes, and asks for more drawing from its own pulses, so
// that its window is busy drawing while input arrives.
class BusyView : public RecordingView
{
public:
    explicit BusyView(BRect frame)
        : RecordingView(frame, "busy", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_PULSE_NEEDED)
    {
    }
    void Draw(BRect update) override
    {
        RecordingView::Draw(update);
        int n = draws.load();
        SetHighColor(uint8(n * 37), 80, 160);
        FillRect(BRect(2, 2, 40, 40));
        SetHighColor(0, 0, 0);
        MovePenTo(50, 20);
        DrawString(("frame " + std::to_string(n)).c_str());
        StrokeLine(BPoint(0, 60), BPoint(Bounds().right, 60));
    }
    void Pulse() override
    {
        RecordingView::Pulse();
        Invalidate();
    }
};

} // namespace

TEST_F(Windows, FiveWindowsDrawAndTakeInputAtOnce)
{
    // Run under ThreadSanitizer, this is where races between the window
    // threads, the display server and the font code would show.
    const int kWindows = 5;
    std::vector<BWindow*> windows;
    std::vector<BusyView*> views;
    for (int i = 0; i < kWindows; i++) {
        auto* window = new BWindow(BRect(20 + 120 * i, 40, 139 + 120 * i, 139),
                                   ("Busy " + std::to_string(i)).c_str(), B_TITLED_WINDOW, 0);
        auto* view = new BusyView(window->Bounds());
        window->AddChild(view);
        window->SetPulseRate(20000);
        window->Show();
        windows.push_back(window);
        views.push_back(view);
    }
    ASSERT_TRUE(driver->WaitIdle());
    // Other threads keep asking for redraws while the driver types and clicks.
    std::atomic<bool> stop{false};
    std::vector<std::thread> painters;
    for (int i = 0; i < kWindows; i++)
        painters.emplace_back([&, i] {
            while (!stop)
                driver->Locked(windows[size_t(i)], [&] { views[size_t(i)]->Invalidate(); });
        });
    for (int round = 0; round < 3; round++)
        for (int i = 0; i < kWindows; i++) {
            driver->Click(windows[size_t(i)], BPoint(10 + round, 70));
            // Keys go to the active window: let the click make it so first.
            bigtime_t deadline = system_time() + 5000000;
            while (!driver->Locked(windows[size_t(i)], [&] {
                return windows[size_t(i)]->IsActive();
            }) && system_time() < deadline)
                snooze(1000);
            driver->Locked(windows[size_t(i)], [&] { views[size_t(i)]->MakeFocus(); });
            driver->Type(std::string(1, char('a' + i)));
        }
    stop = true;
    for (std::thread& painter : painters)
        painter.join();
    ASSERT_TRUE(driver->WaitIdle());

    for (int i = 0; i < kWindows; i++) {
        std::vector<std::string> events = views[size_t(i)]->Events();
        int clicks = 0, keys = 0;
        for (const std::string& event : events) {
            clicks += event.rfind("down ", 0) == 0;
            keys += event == std::string("key ") + char('a' + i);
        }
        EXPECT_EQ(clicks, 3) << "window " << i;
        EXPECT_EQ(keys, 3) << "window " << i;
        EXPECT_GT(views[size_t(i)]->draws.load(), 3);
        EXPECT_GT(views[size_t(i)]->pulses.load(), 0);
    }
}

namespace
{

// Handles numbered messages, each a little work and a change to its view,
// and counts those that come out of order.
class BacklogWindow : public BWindow
{
public:
    BacklogWindow() : BWindow(BRect(20, 20, 319, 219), "Backlog", B_TITLED_WINDOW, 0)
    {
        view = new RecordingView(Bounds(), "content", B_FOLLOW_ALL_SIDES);
        AddChild(view);
    }
    void MessageReceived(BMessage* message) override
    {
        if (message->what != 'work') {
            BWindow::MessageReceived(message);
            return;
        }
        if (message->GetInt32("index", -1) != next)
            outOfOrder++;
        next = message->GetInt32("index", -1) + 1;
        bigtime_t until = system_time() + 10;
        while (system_time() < until) {
        }
        view->Invalidate();
        handled++;
    }

    RecordingView* view;
    std::atomic<int32> handled{0};
    std::atomic<int32> outOfOrder{0};
    int32 next = 0;
};

bool has_event(RecordingView* view, const std::string& event)
{
    std::vector<std::string> events = view->Events();
    return std::find(events.begin(), events.end(), event) != events.end();
}

} // namespace

// Every change asks for an update, but the window draws once a frame, also
// while 100,000 messages wait, and a key goes ahead of them. Bounds are
// generous (sanitizer builds); bench_flood measures the real figures.
TEST_F(Windows, UnderABacklogAWindowDrawsEachFrameAndTakesKeysAtOnce)
{
    auto* window = new BacklogWindow;
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    driver->Locked(window, [&] { window->view->MakeFocus(true); });
    ASSERT_TRUE(driver->WaitIdle());
    RecordingView* view = window->view;
    int drawsBefore = view->draws.load();

    const int32 kMessages = 100000;
    BMessage work('work');
    work.AddInt32("index", 0);
    bigtime_t start = system_time();
    for (int32 i = 0; i < kMessages; i++) {
        work.ReplaceInt32("index", i);
        window->PostMessage(&work);
    }
    // A key typed now is handled long before the backlog is.
    bigtime_t typed = system_time();
    driver->Key('k');
    while (!has_event(view, "key k") && system_time() < typed + 10000000)
        snooze(200);
    bigtime_t keyWait = system_time() - typed;
    int32 handledAtKey = window->handled.load();
    EXPECT_TRUE(has_event(view, "key k"));
    EXPECT_LT(keyWait, 500000);
    EXPECT_LT(handledAtKey, kMessages) << "the key waited for the whole backlog";

    // Frames keep coming while it works.
    int drawsThen = view->draws.load();
    snooze(100000);
    int drawsLater = view->draws.load();
    int32 handledLater = window->handled.load();
    if (handledLater < kMessages) {
        EXPECT_GT(drawsLater, drawsThen) << "no frame for 100 ms while it worked";
    }
    EXPECT_GT(drawsThen, drawsBefore) << "nothing drawn while the backlog waited";

    ASSERT_TRUE(driver->WaitIdle(60000000));
    bigtime_t elapsed = system_time() - start;
    EXPECT_EQ(window->handled.load(), kMessages);
    EXPECT_EQ(window->outOfOrder.load(), 0);
    // At most one frame in each 1/60 s (and the last one), never one for
    // each change.
    int frames = view->draws.load() - drawsBefore;
    EXPECT_LE(frames, int(elapsed / 16667) + 2);
    EXPECT_GE(frames, 2);
}

// A view that adds a child while it is being attached (as views that build
// part of themselves only in a window do): the child is attached once.
TEST_F(Windows, AChildAddedWhileAttachingIsAttachedOnce)
{
    struct Adder : RecordingView {
        Adder() : RecordingView(BRect(0, 0, 99, 99), "adder") {}
        void AttachedToWindow() override
        {
            RecordingView::AttachedToWindow();
            if (late->Parent() == nullptr)
                AddChild(late);
        }
        RecordingView* late = new RecordingView(BRect(0, 0, 9, 9), "late");
    };
    std::vector<std::string> journal;
    auto* window = new BWindow(BRect(10, 10, 209, 109), "Late", B_TITLED_WINDOW, 0);
    auto* adder = new Adder;
    adder->journal = &journal;
    adder->late->journal = &journal;
    window->AddChild(adder);
    EXPECT_EQ(journal, (std::vector<std::string>{"adder attached", "late attached",
                                                 "late all attached", "adder all attached"}));
    window->Show();
    ASSERT_TRUE(driver->WaitIdle());
    journal.clear();
    window->Lock();
    window->Quit();
    EXPECT_EQ(journal, (std::vector<std::string>{"adder detached", "late detached"}));
}
