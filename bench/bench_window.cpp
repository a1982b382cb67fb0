// Benchmarks of drawing one window on the headless display: an 800 x 600
// window whose only view draws a screen of chat log, a few hundred text
// runs in several colours and fonts, redrawn whole and then only in a small
// invalid rectangle. The view counts the Draw calls it gets, the rectangle
// each one is for and the strings it draws, so the summary can show that a
// small update reaches the view as that rectangle alone and draws only the
// runs under it. The exit status is 1 when the small redraw is not clearly
// cheaper than the full one (README.md beside this file).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <Font.h>
#include <View.h>
#include <Window.h>

#include "BenchSupport.h"

namespace
{

using namespace bench;

// A full-size window of a chat log: 800 x 600.
const BRect kWindowFrame(100, 80, 899, 679);
const int32 kRunsPerLine = 8;
// Room left before a line and between its runs.
const float kGap = 4;
// A run's glyphs may reach this far past its advance either side.
const float kInkOverhang = 2;

const rgb_color kLogBackground = {255, 255, 255, 255};
const rgb_color kLinkColor = {0, 60, 200, 255};
const rgb_color kHighlightColor = {200, 90, 0, 255};

// A screen of chat log drawn as a log view draws it: line by line, each
// line a row of runs with their own font and colour, skipping the lines
// and runs that lie outside the rectangle it is asked to draw.
class ChatLogView : public BView
{
public:
    explicit ChatLogView(BRect frame) : BView(frame, "chat log", B_FOLLOW_ALL_SIDES, B_WILL_DRAW)
    {
        SetViewColor(kLogBackground);
        // One line height for every font, so that no line's glyphs reach
        // into the next one's band.
        float ascent = 0, descent = 0;
        for (const BFont* font : {be_plain_font, be_bold_font, be_fixed_font}) {
            font_height height;
            font->GetHeight(&height);
            ascent = std::max(ascent, height.ascent);
            descent = std::max(descent, height.descent + height.leading);
        }
        fAscent = std::ceil(ascent);
        fLineHeight = fAscent + std::ceil(descent);
        int32 lines = int32((frame.Height() + 1) / fLineHeight);
        for (int32 line = 0; line < lines; line++)
            AddLine(line);
    }

    int32 CountRuns() const { return int32(fRuns.size()); }
    int32 Draws() const { return fDraws; }
    int32 Strings() const { return fStrings; }
    BRect LastUpdate() const { return fLastUpdate; }
    void ResetCounts()
    {
        fDraws = 0;
        fStrings = 0;
        fLastUpdate = BRect();
    }

    void Draw(BRect updateRect) override
    {
        fDraws++;
        fLastUpdate = updateRect;
        int32 lines = int32(fRuns.size()) / kRunsPerLine;
        int32 first = std::max<int32>(0, int32(std::floor(updateRect.top / fLineHeight)));
        int32 last = std::min<int32>(lines - 1, int32(std::floor(updateRect.bottom / fLineHeight)));
        for (int32 line = first; line <= last; line++) {
            float baseline = float(line) * fLineHeight + fAscent;
            for (int32 i = line * kRunsPerLine; i < (line + 1) * kRunsPerLine; i++) {
                const Run& run = fRuns[size_t(i)];
                if (run.right + kInkOverhang < updateRect.left ||
                    run.left - kInkOverhang > updateRect.right)
                    continue;
                SetFont(run.font);
                SetHighColor(run.color);
                DrawString(run.text.c_str(), BPoint(run.left, baseline));
                fStrings++;
            }
        }
    }

private:
    struct Run {
        std::string text;
        const BFont* font;
        rgb_color color;
        float left;
        float right;
    };

    void AddLine(int32 line)
    {
        char time[16], nick[16], link[48], count[16];
        snprintf(time, sizeof(time), "[%02d:%02d]", int(12 + line / 60), int(line % 60));
        snprintf(nick, sizeof(nick), "<nick%d>", int(line % 5));
        snprintf(link, sizeof(link), "https://example.org/log/%d", int(line * 37));
        snprintf(count, sizeof(count), "(%d)", int(line * 13 % 1000));
        float x = kGap;
        auto add = [&](const char* text, const BFont* font, rgb_color color) {
            float width = font->StringWidth(text);
            fRuns.push_back(Run{text, font, color, x, x + width});
            x += width + kGap;
        };
        add(time, be_fixed_font, kQuietColor);
        add(nick, be_bold_font, kNickColors[line % 5]);
        add("has a look at", be_plain_font, kTextColor);
        add(link, be_plain_font, kLinkColor);
        add("and says that the", be_plain_font, kTextColor);
        add("build", be_bold_font, kHighlightColor);
        add("is green again, so", be_plain_font, kTextColor);
        add(count, be_fixed_font, kQuietColor);
    }

    std::vector<Run> fRuns;
    float fAscent = 0;
    float fLineHeight = 1;
    int32 fDraws = 0;
    int32 fStrings = 0;
    BRect fLastUpdate;
};

struct LogWindow {
    BWindow* window;
    ChatLogView* view;

    LogWindow()
    {
        window = new BWindow(kWindowFrame, "Chat", B_TITLED_WINDOW, 0);
        view = new ChatLogView(window->Bounds());
        window->AddChild(view);
    }
};

// What the view went through in one redraw of `rect`, timed with it.
struct Redraw {
    double seconds = 0;
    int32 draws = 0;
    int32 strings = 0;
    BRect update;
};

Redraw redraw(ShownWindow& shown, ChatLogView* view, BRect rect)
{
    Redraw result;
    shown.Run([&] {
        view->ResetCounts();
        Clock::time_point start = Clock::now();
        shown.Window()->_Invalidate(rect);
        shown.Window()->UpdateIfNeeded();
        result.seconds = seconds_since(start);
        result.draws = view->Draws();
        result.strings = view->Strings();
        result.update = view->LastUpdate();
    });
    return result;
}

std::string describe(BRect rect)
{
    char text[96];
    snprintf(text, sizeof(text), "(%g, %g)-(%g, %g)", rect.left, rect.top, rect.right, rect.bottom);
    return text;
}

// Runs `rectFor(i)` redraws and checks each reached the view once, as
// exactly the rectangle invalidated (the view fills the window, so window
// and view coordinates agree). Reports the strings drawn and the size of
// the rectangle the view got, per redraw; false if a check failed.
template <class RectFor>
bool time_redraws(benchmark::State& state, ShownWindow& shown, ChatLogView* view, RectFor rectFor)
{
    double strings = 0;
    BRect update;
    int64 step = 0;
    for (auto _ : state) {
        BRect rect = rectFor(step++);
        Redraw done = redraw(shown, view, rect);
        state.SetIterationTime(done.seconds);
        if (done.draws != 1 || done.update != rect) {
            std::string error = "the view drew " + std::to_string(done.draws) +
                                " times, last for " + describe(done.update) + ", not once for " +
                                describe(rect);
            state.SkipWithError(error.c_str());
            return false;
        }
        strings += done.strings;
        update = done.update;
    }
    state.counters["runs"] = view->CountRuns();
    state.counters["strings"] = strings / double(state.iterations());
    state.counters["update_w"] = update.Width() + 1;
    state.counters["update_h"] = update.Height() + 1;
    return true;
}

BRect whole_window()
{
    return kWindowFrame.OffsetToCopy(0, 0);
}

// The whole window, as when it is first shown or uncovered.
void BM_FullRedraw(benchmark::State& state)
{
    LogWindow log;
    ShownWindow shown(log.window);
    time_redraws(state, shown, log.view, [](int64) { return whole_window(); });
}

// A 40 x 20 rectangle, as a blinking caret or a changed nick colour asks
// for; at eight places in turn, so that the runs under it differ.
const float kSmallWidth = 40, kSmallHeight = 20;
const int32 kSmallPlaces = 8;

BRect small_rect(int64 step)
{
    float left = 60 + float(step % kSmallPlaces) * 90;
    float top = 40 + float(step % kSmallPlaces) * 65;
    return BRect(left, top, left + kSmallWidth - 1, top + kSmallHeight - 1);
}

// The window as the display has it, once every frame is handed over.
std::vector<uint32> presented(BWindow* window)
{
    gDriver->WaitIdle();
    std::vector<uint32> pixels;
    int32 width = 0, height = 0;
    if (!gDriver->Pixels(window, &pixels, &width, &height))
        pixels.clear();
    return pixels;
}

void BM_SmallRedraw(benchmark::State& state)
{
    LogWindow log;
    ShownWindow shown(log.window);
    if (!time_redraws(state, shown, log.view, small_rect))
        return;

    // Cheap because it skips only what it may: after a full redraw, small
    // redraws at every place leave the window as it was. Runs the view left
    // out whose glyphs reach into the rectangle would show here.
    redraw(shown, log.view, whole_window());
    std::vector<uint32> whole = presented(log.window);
    const uint32 background = 0xff000000u | uint32(kLogBackground.red) << 16 |
                              uint32(kLogBackground.green) << 8 | kLogBackground.blue;
    if (std::count(whole.begin(), whole.end(), background) == std::ssize(whole)) {
        state.SkipWithError("the full redraw drew no text");
        return;
    }
    for (int32 place = 0; place < kSmallPlaces; place++)
        redraw(shown, log.view, small_rect(place));
    if (presented(log.window) != whole)
        state.SkipWithError("small redraws left other pixels than a full one");
}

// Baseline: a window of the same size with only a panel-coloured view.
void BM_EmptyWindowRedraw(benchmark::State& state)
{
    ShownWindow shown(make_empty_window(kWindowFrame));
    for (auto _ : state)
        state.SetIterationTime(shown.TimeFullRedraw());
}

BENCHMARK(BM_FullRedraw)
    ->Name("window_full_redraw")
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallRedraw)
    ->Name("window_small_redraw")
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmptyWindowRedraw)
    ->Name("empty_window_redraw")
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return run_benchmarks_shown(argc, argv, [](const KeepingReporter& reporter) {
        double full = reporter.Milliseconds("window_full_redraw");
        double small = reporter.Milliseconds("window_small_redraw");
        double empty = reporter.Milliseconds("empty_window_redraw");
        double runs = reporter.Counter("window_full_redraw", "runs");

        bool ok = true;
        report("window, full redraw", full, "ms", empty, "an empty window");
        ok &= report("window, 40x20 redraw", small, "ms", full, "the full redraw",
                     full > 0 ? 0.5 * full : -1, "limit 0.5x");
        double fullStrings = reporter.Counter("window_full_redraw", "strings");
        double smallStrings = reporter.Counter("window_small_redraw", "strings");
        report("DrawString calls, full redraw", fullStrings, "", runs, "of the runs");
        // Drawing every run for a small rectangle would mean the view was
        // asked for more than was invalid.
        ok &= report("DrawString calls, 40x20 redraw", smallStrings, "", runs, "of the runs", runs,
                     "limit: fewer than all");
        struct {
            const char* what;
            const char* name;
        } const updates[] = {{"Draw(updateRect), full redraw", "window_full_redraw"},
                             {"Draw(updateRect), 40x20 redraw", "window_small_redraw"}};
        for (const auto& update : updates) {
            double width = reporter.Counter(update.name, "update_w");
            double height = reporter.Counter(update.name, "update_h");
            if (width <= 0)
                continue;
            char size[32];
            snprintf(size, sizeof(size), "%gx%g", width, height);
            printf("  %-34s %10s    the rect invalidated\n", update.what, size);
        }
        return ok;
    });
}
