// Benchmarks of the standard controls, each in a shown window on the
// headless display: a chat log appended to and trimmed, a long list, and
// the gallery of every control. After the runs a summary sets each number
// beside a baseline from the same run and checks the limits the controls
// are held to (README.md beside this file); the exit status is 1 when one
// of them is missed.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <ListItem.h>
#include <ListView.h>
#include <ScrollBar.h>
#include <ScrollView.h>
#include <TextView.h>
#include <View.h>
#include <Window.h>

#include "BenchSupport.h"
#include "Gallery.h"

namespace
{

using namespace bench;

// The frame of a target that, in a scroll view with a vertical bar and the
// fancy border, fills `bounds`.
BRect scroll_target_filling(BRect bounds)
{
    return BRect(bounds.left + 2, bounds.top + 2, bounds.right - 2 - B_V_SCROLL_BAR_WIDTH,
                 bounds.bottom - 2);
}

// -- the chat log ---------------------------------------------------------------------

// As much text as the chat window keeps.
const int32 kLogCap = 16384;
// Appends per message to the window's thread: big enough that handing work
// over is noise, small enough that the display thread keeps up meanwhile.
const int32 kAppendsPerBatch = 1000;

// A chat window's log: a read-only text view in a scroll view.
struct LogWindow {
    BWindow* window;
    BTextView* view;

    LogWindow()
    {
        window = new BWindow(BRect(100, 100, 739, 499), "Chat", B_TITLED_WINDOW, 0);
        BRect frame = scroll_target_filling(window->Bounds());
        BRect textRect = frame.OffsetToCopy(0, 0).InsetByCopy(2, 2);
        view = new BTextView(frame, "log", textRect, B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
        view->MakeEditable(false);
        window->AddChild(new BScrollView("log scroll", view, B_FOLLOW_ALL_SIDES, 0, false, true));
    }
};

// One line of the log with its three colour runs: the nick, the text, and
// the number at its end.
struct LogLine {
    char text[96];
    int32 length = 0;
    text_run_array* runs = BTextView::AllocRunArray(3);

    LogLine() = default;
    ~LogLine() { BTextView::FreeRunArray(runs); }
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    void Make(int64 number)
    {
        int nick = int(number % 5);
        int nickLength = snprintf(text, sizeof(text), "<nick%d> ", nick);
        int messageLength =
            snprintf(text + nickLength, sizeof(text) - size_t(nickLength), "some message text ");
        int numberAt = nickLength + messageLength;
        length = numberAt + snprintf(text + numberAt, sizeof(text) - size_t(numberAt), "%lld\n",
                                     static_cast<long long>(number));
        runs->runs[0] = text_run{0, *be_plain_font, kNickColors[nick]};
        runs->runs[1] = text_run{nickLength, *be_plain_font, kTextColor};
        runs->runs[2] = text_run{numberAt, *be_plain_font, kQuietColor};
    }
};

// Appends a line at the end, trims whole lines from the front once the
// text is over the cap, and keeps the end in view: what the chat window
// does with each line it shows.
void append_to_log(BTextView* view, const LogLine& line)
{
    view->Insert(view->TextLength(), line.text, line.length, line.runs);
    int32 excess = view->TextLength() - kLogCap;
    if (excess > 0) {
        // The first line that starts at or past the excess, and starts a
        // line of the text (not a wrapped piece of one).
        int32 lineIndex = view->LineAt(excess);
        int32 cut = view->OffsetAt(lineIndex);
        while (cut < excess || (cut > 0 && view->ByteAt(cut - 1) != '\n'))
            cut = view->OffsetAt(++lineIndex);
        view->Delete(0, cut);
    }
    view->ScrollToOffset(view->TextLength());
}

// Per-append time for `appends` lines from an empty log. Every append is
// drawn before the next: the window's update runs right after the change,
// on the window's thread, as it would for a line that arrives on its own.
// That is the most an append can cost (lines that arrive together share one
// update) and it is what grows if drawing or layout grows with the text
// shown so far.
void BM_TextLog(benchmark::State& state)
{
    const int64 appends = state.range(0);
    double totalEdit = 0, totalDraw = 0, total = 0;
    int64 done = 0;
    int32 kept = 0;
    for (auto _ : state) {
        LogWindow log;
        ShownWindow shown(log.window);
        LogLine line;
        double edit = 0, draw = 0, elapsed = 0;
        for (int64 first = 0; first < appends; first += kAppendsPerBatch) {
            int64 last = std::min(appends, first + kAppendsPerBatch);
            elapsed += shown.Time([&] {
                for (int64 i = first; i < last; i++) {
                    line.Make(i);
                    Clock::time_point start = Clock::now();
                    append_to_log(log.view, line);
                    Clock::time_point changed = Clock::now();
                    log.window->UpdateIfNeeded();
                    edit += std::chrono::duration<double>(changed - start).count();
                    draw += seconds_since(changed);
                }
            });
        }
        state.SetIterationTime(elapsed);
        totalEdit += edit;
        totalDraw += draw;
        total += elapsed;
        done += appends;

        // It has to have done the work it was timed for.
        std::string error;
        shown.Run([&] {
            line.Make(appends - 1);
            BTextView* view = log.view;
            int32 length = view->TextLength();
            kept = length;
            float min = 0, max = 0;
            view->ScrollBar(B_VERTICAL)->GetRange(&min, &max);
            if (length > kLogCap)
                error = "the log is over its cap";
            else if (length < line.length ||
                     strcmp(view->Text() + length - line.length, line.text) != 0)
                error = "the last line is not at the end";
            else if (view->ByteAt(0) != '<')
                error = "the log does not start at a line";
            else if (view->Bounds().top != max)
                error = "the end is not in view";
        });
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    if (done == 0)
        return;
    state.SetItemsProcessed(done);
    state.counters["us_per_append"] = total * 1e6 / double(done);
    state.counters["edit_us"] = totalEdit * 1e6 / double(done);
    state.counters["draw_us"] = totalDraw * 1e6 / double(done);
    // What the log holds at the end, to show the trimming kept it capped.
    state.counters["log_bytes"] = kept;
}

// -- the list ---------------------------------------------------------------------------

const int32 kListItems = 50000;

// A visible list in a scroll view filling its window.
struct ListWindow {
    BWindow* window;
    BListView* list;

    ListWindow()
    {
        window = new BWindow(BRect(100, 100, 499, 699), "List", B_TITLED_WINDOW, 0);
        list = new BListView(scroll_target_filling(window->Bounds()), "list",
                             B_SINGLE_SELECTION_LIST, B_FOLLOW_ALL_SIDES);
        window->AddChild(new BScrollView("list scroll", list, B_FOLLOW_ALL_SIDES, 0, false, true));
    }
};

std::vector<BListItem*> make_items()
{
    std::vector<BListItem*> items;
    items.reserve(size_t(kListItems));
    char text[64];
    for (int32 i = 0; i < kListItems; i++) {
        snprintf(text, sizeof(text), "#channel-%d (%d users)", int(i), int(i % 997));
        items.push_back(new BStringItem(text));
    }
    return items;
}

// The list does not own its items.
void empty_list(BListView* list)
{
    std::vector<BListItem*> items;
    for (int32 i = 0; i < list->CountItems(); i++)
        items.push_back(list->ItemAt(i));
    list->MakeEmpty();
    for (BListItem* item : items)
        delete item;
}

// 50,000 items added one by one to a shown list; the items are made before
// the clock starts. The update they cause is timed apart, in the same turn
// of the window's loop: left to a later one, the update the adds posted
// would draw first, untimed.
void BM_ListAdd(benchmark::State& state)
{
    ListWindow list;
    ShownWindow shown(list.window);
    double drawAfter = 0;
    for (auto _ : state) {
        std::vector<BListItem*> items = make_items();
        double adding = 0;
        shown.Run([&] {
            Clock::time_point start = Clock::now();
            for (BListItem* item : items)
                list.list->AddItem(item);
            Clock::time_point added = Clock::now();
            list.window->UpdateIfNeeded();
            adding = std::chrono::duration<double>(added - start).count();
            drawAfter += seconds_since(added);
        });
        state.SetIterationTime(adding);
        int32 count = 0;
        shown.Run([&] {
            count = list.list->CountItems();
            empty_list(list.list);
            list.window->UpdateIfNeeded();
        });
        if (count != kListItems) {
            state.SkipWithError("the list lost items");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kListItems);
    state.counters["draw_after_ms"] = drawAfter * 1e3 / double(state.iterations());
}

// Baseline: the same adds to a list in no window, which has nothing to
// invalidate and no bar to keep current.
void BM_ListAddDetached(benchmark::State& state)
{
    BListView list(BRect(0, 0, 379, 579), "detached");
    for (auto _ : state) {
        std::vector<BListItem*> items = make_items();
        Clock::time_point start = Clock::now();
        for (BListItem* item : items)
            list.AddItem(item);
        state.SetIterationTime(seconds_since(start));
        empty_list(&list);
    }
    state.SetItemsProcessed(state.iterations() * kListItems);
}

// Scrolls a 50,000-item list to the middle through its bar and redraws all
// of it; each time a little further on, so that every redraw draws other
// rows than the last.
void BM_ListRedrawMiddle(benchmark::State& state)
{
    ListWindow list;
    ShownWindow shown(list.window);
    std::vector<BListItem*> items = make_items();
    float middle = 0;
    shown.Run([&] {
        for (BListItem* item : items)
            list.list->AddItem(item);
        list.window->UpdateIfNeeded();
        float min = 0, max = 0;
        list.list->ScrollBar(B_VERTICAL)->GetRange(&min, &max);
        middle = (min + max) / 2;
    });
    int64 step = 0;
    for (auto _ : state) {
        float value = middle + float(step++ % 8) * 37;
        state.SetIterationTime(shown.Time([&] {
            list.list->ScrollBar(B_VERTICAL)->SetValue(value);
            list.list->Invalidate();
            list.window->UpdateIfNeeded();
        }));
    }
    int32 first = -1;
    shown.Run([&] {
        first = list.list->IndexOf(list.list->Bounds().LeftTop());
        empty_list(list.list);
    });
    if (first < kListItems / 2 - 100 || first > kListItems / 2 + 100)
        state.SkipWithError("the list is not in the middle");
    state.counters["top_item"] = first;
}

// Baseline: the same window with an empty list.
void BM_ListRedrawEmpty(benchmark::State& state)
{
    ListWindow list;
    ShownWindow shown(list.window);
    for (auto _ : state) {
        state.SetIterationTime(shown.Time([&] {
            list.list->Invalidate();
            list.window->UpdateIfNeeded();
        }));
    }
}

// -- the gallery -----------------------------------------------------------------------

// The demo shows the gallery at this size.
const BRect kGalleryFrame(60, 300, 579, 689);

void BM_GalleryRedraw(benchmark::State& state)
{
    ShownWindow shown(make_gallery(kGalleryFrame));
    for (auto _ : state)
        state.SetIterationTime(shown.TimeFullRedraw());
}

// Baseline: a window of the same size with only a panel-coloured view.
void BM_EmptyWindowRedraw(benchmark::State& state)
{
    ShownWindow shown(make_empty_window(kGalleryFrame));
    for (auto _ : state)
        state.SetIterationTime(shown.TimeFullRedraw());
}

// The short case runs twenty times: a few seconds of timing alone would
// swing with whatever else the machine does, and with it the ratio the
// limit is on.
BENCHMARK(BM_TextLog)
    ->Name("text_log")
    ->ArgName("appends")
    ->Arg(1000)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextLog)
    ->Name("text_log")
    ->ArgName("appends")
    ->Arg(100000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListAdd)
    ->Name("list_add")
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListAddDetached)
    ->Name("list_add_detached")
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListRedrawMiddle)
    ->Name("list_redraw_middle")
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListRedrawEmpty)
    ->Name("list_redraw_empty")
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GalleryRedraw)
    ->Name("gallery_redraw")
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmptyWindowRedraw)
    ->Name("empty_window_redraw")
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return run_benchmarks_shown(argc, argv, [](const KeepingReporter& reporter) {
        double small = reporter.Counter("text_log/appends:1000", "us_per_append");
        double large = reporter.Counter("text_log/appends:100000", "us_per_append");
        double kept = reporter.Counter("text_log/appends:100000", "log_bytes");
        double adds = reporter.Milliseconds("list_add");
        double detached = reporter.Milliseconds("list_add_detached");
        double listRedraw = reporter.Milliseconds("list_redraw_middle");
        double topItem = reporter.Counter("list_redraw_middle", "top_item");
        double emptyList = reporter.Milliseconds("list_redraw_empty");
        double gallery = reporter.Milliseconds("gallery_redraw");
        double emptyWindow = reporter.Milliseconds("empty_window_redraw");

        bool ok = true;
        report("text log, per append, 1,000", small, "us");
        ok &= report("text log, per append, 100,000", large, "us", small, "the 1,000 case",
                     small > 0 ? 1.5 * small : -1, "limit 1.5x");
        report_count("text log, bytes kept at 100,000", kept, "bytes (cap 16,384)");
        ok &= report("list, 50,000 adds", adds, "ms", detached, "adds to a list in no window", 100,
                     "limit 100 ms");
        ok &= report("list, redraw in the middle", listRedraw, "ms", emptyList,
                     "an empty list's window", 16, "limit 16 ms");
        report_count("list, top item in view", topItem, "of 50,000");
        report("gallery, full redraw", gallery, "ms", emptyWindow, "an empty window");
        return ok;
    });
}
