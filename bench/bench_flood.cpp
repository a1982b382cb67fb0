// A window under a flood of lines, on the headless display: what a person
// sees of a chat window that a busy channel fills.
//
//   backlog: 100,000 lines posted at once to a window that prints each into
//            its log (a read-only text view capped at 16,384 bytes, trimmed
//            by whole lines from the front, following the end). Measured:
//            the time from the first post to the first frame that shows a
//            new line, the longest gap between frames while the backlog
//            drains, how long a key typed meanwhile waits before the window
//            handles it, and the window's time per line.
//   rate:    lines posted at 5,000 a second for three seconds: frames drawn
//            a second and the CPU the process uses.
//
// Baselines from the same run: an idle window's key latency, the log's
// cost per line when every line is drawn before the next (a frame per
// line), and the CPU of posting the same lines to a window that only counts
// them. Exits 1 when a limit (bench/README.md) is missed.
//
//   bench_flood [LINES]      (100000 by default)

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <Application.h>
#include <ScrollBar.h>
#include <ScrollView.h>
#include <TestDriver.h>
#include <TextView.h>
#include <Window.h>

namespace
{

const uint32 kLine = 'line';
const int32 kCap = 16384;
const rgb_color kNick = {0, 0, 200, 255};
const rgb_color kText = {0, 0, 0, 255};

double process_cpu_seconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The log: counts the times it is drawn and the keys that reach it.
class Log : public BTextView
{
public:
    Log(BRect frame)
        : BTextView(frame, "log", frame.OffsetToCopy(0, 0).InsetByCopy(2, 2), B_FOLLOW_ALL_SIDES,
                    B_WILL_DRAW | B_NAVIGABLE)
    {
        MakeEditable(false);
        SetMaxBytes(kCap);
    }

    void Draw(BRect update) override
    {
        BTextView::Draw(update);
        std::lock_guard<std::mutex> lock(fLock);
        fDraws.push_back(system_time());
    }

    void KeyDown(const char*, int32) override
    {
        std::lock_guard<std::mutex> lock(fLock);
        fKeys.push_back(system_time());
    }

    std::vector<bigtime_t> Draws()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fDraws;
    }
    std::vector<bigtime_t> Keys()
    {
        std::lock_guard<std::mutex> lock(fLock);
        return fKeys;
    }
    void Forget()
    {
        std::lock_guard<std::mutex> lock(fLock);
        fDraws.clear();
        fKeys.clear();
    }

private:
    std::mutex fLock;
    std::vector<bigtime_t> fDraws;
    std::vector<bigtime_t> fKeys;
};

// A chat window: prints each line it is sent as the program's output view
// does (trim whole lines at the front, colour the new text, follow the end
// when the end shows).
class FloodWindow : public BWindow
{
public:
    explicit FloodWindow(bool print)
        : BWindow(BRect(100, 100, 739, 499), "Flood", B_TITLED_WINDOW, 0), fPrint(print)
    {
        BRect frame = Bounds();
        frame.right -= B_V_SCROLL_BAR_WIDTH;
        log = new Log(frame);
        AddChild(new BScrollView("scroll", log, B_FOLLOW_ALL_SIDES, 0, false, true, B_NO_BORDER));
        runs = BTextView::AllocRunArray(2);
    }
    ~FloodWindow() override { BTextView::FreeRunArray(runs); }

    void MessageReceived(BMessage* message) override
    {
        if (message->what != kLine) {
            BWindow::MessageReceived(message);
            return;
        }
        const char* text = nullptr;
        if (fPrint && message->FindString("text", &text) == B_OK)
            Print(text);
        if (drawEach)
            UpdateIfNeeded();
        handled++;
    }

    void Print(const char* text)
    {
        int32 n = int32(strlen(text)) + 1;
        BScrollBar* bar = log->ScrollBar(B_VERTICAL);
        float value = bar->Value(), min = 0, max = 0;
        bar->GetRange(&min, &max);
        int32 top = int32(value / log->LineHeight(0));
        int32 over = log->TextLength() + n - log->MaxBytes();
        int32 removed = 0;
        if (over > 0) {
            for (int32 i = 0; i < 512 && i < log->TextLength(); i++) {
                if (log->ByteAt(i) == '\n' && i >= over) {
                    over = i + 1;
                    break;
                }
            }
            removed = log->LineAt(over);
            log->Delete(0, over);
        }
        log->Insert(log->TextLength(), text, n - 1, nullptr);
        runs->runs[0] = text_run{0, *be_plain_font, kNick};
        runs->runs[1] = text_run{8, *be_plain_font, kText};
        log->SetRunArray(log->TextLength() - n + 1, log->TextLength(), runs);
        if (value == max)
            log->ScrollToOffset(log->TextLength());
        else
            bar->SetValue(float(top - removed) * log->LineHeight(0));
    }

    Log* log;
    text_run_array* runs;
    std::atomic<int64> handled{0};
    bool drawEach = false;

private:
    bool fPrint;
};

std::string line_text(int64 i)
{
    char text[128];
    snprintf(text, sizeof(text), "<nick%d> line %lld of the flood, with some words to wrap a bit\n",
             int(i % 7), static_cast<long long>(i));
    return text;
}

void post_lines(FloodWindow* window, int64 from, int64 to)
{
    BMessage message(kLine);
    message.AddString("text", "");
    for (int64 i = from; i < to; i++) {
        message.ReplaceString("text", line_text(i).c_str());
        window->PostMessage(&message);
    }
}

bool wait_handled(FloodWindow* window, int64 count, bigtime_t timeout)
{
    bigtime_t deadline = system_time() + timeout;
    while (window->handled.load() < count) {
        if (system_time() > deadline)
            return false;
        snooze(1000);
    }
    return true;
}

FloodWindow* open_window(TestDriver& driver, bool print)
{
    auto* window = new FloodWindow(print);
    window->Show();
    driver.Activate(window);
    driver.WaitIdle();
    driver.Locked(window, [&] { window->log->MakeFocus(true); });
    driver.WaitIdle();
    return window;
}

void close_window(TestDriver& driver, FloodWindow* window)
{
    window->Lock();
    window->Quit();
    driver.WaitIdle();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double largest(const std::vector<double>& values)
{
    return values.empty() ? -1 : *std::max_element(values.begin(), values.end());
}

// Keys typed at `window`, one every `every` µs until `done` says stop;
// returns each key's wait in ms, from the key to its KeyDown.
std::vector<double> type_keys(TestDriver& driver, FloodWindow* window, bigtime_t every,
                              const std::function<bool()>& done, int32 most)
{
    std::vector<bigtime_t> sent;
    size_t before = window->log->Keys().size();
    while (!done() && int32(sent.size()) < most) {
        sent.push_back(system_time());
        driver.Key('x');
        snooze(every);
    }
    // Every key is handled in the end.
    bigtime_t deadline = system_time() + 60000000;
    while (window->log->Keys().size() < before + sent.size() && system_time() < deadline)
        snooze(1000);
    std::vector<bigtime_t> handled = window->log->Keys();
    std::vector<double> waits;
    for (size_t i = 0; i < sent.size() && before + i < handled.size(); i++)
        waits.push_back(double(handled[before + i] - sent[i]) / 1000);
    return waits;
}

bool line(const char* what, double value, const char* unit, double baseline = -1,
          const char* baselineName = nullptr, double limit = -1, const char* limitText = nullptr)
{
    printf("  %-44s %10.2f %s", what, value, unit);
    if (baseline > 0)
        printf("   %7.2fx %s", value / baseline, baselineName);
    bool ok = limit < 0 || (value >= 0 && value <= limit);
    if (limitText != nullptr)
        printf("   [%s: %s]", limitText, ok ? "ok" : "MISSED");
    printf("\n");
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    int64 lines = argc > 1 ? atoll(argv[1]) : 100000;
    if (lines <= 0) {
        fprintf(stderr, "usage: bench_flood [LINES]\n");
        return 2;
    }
    bool ok = true;
    TestDriver driver([] { return new BApplication("application/x-vnd.pelmor-bench-flood"); });

    // -- baselines -----------------------------------------------------------------
    // An idle window's key latency.
    FloodWindow* window = open_window(driver, true);
    std::vector<double> idleKeys = type_keys(
        driver, window, 20000, [] { return false; }, 20);
    // A frame for every line: what each line costs drawn alone.
    const int64 kAlone = 2000;
    window->drawEach = true;
    post_lines(window, 0, 1000); // fill to the cap first
    wait_handled(window, 1000, 60000000);
    driver.WaitIdle();
    bigtime_t start = system_time();
    post_lines(window, 1000, 1000 + kAlone);
    wait_handled(window, 1000 + kAlone, 60000000);
    double perLineAlone = double(system_time() - start) / double(kAlone);
    driver.WaitIdle();
    close_window(driver, window);

    // -- the backlog -----------------------------------------------------------------
    window = open_window(driver, true);
    window->log->Forget();
    std::atomic<bool> posted{false};
    start = system_time();
    std::thread poster([&] {
        post_lines(window, 0, lines);
        posted = true;
    });
    std::vector<double> keyWaits = type_keys(
        driver, window, 50000, [&] { return window->handled.load() >= lines; }, 1000);
    poster.join();
    bool drained = wait_handled(window, lines, 600000000);
    bigtime_t end = system_time();
    driver.WaitIdle();
    std::vector<bigtime_t> draws = window->log->Draws();
    double firstFrame = draws.empty() ? -1 : double(draws.front() - start) / 1000;
    double longestGap = 0;
    for (size_t i = 1; i < draws.size(); i++) {
        if (draws[i] > end)
            break;
        longestGap = std::max(longestGap, double(draws[i] - draws[i - 1]) / 1000);
    }
    double drainSeconds = double(end - start) / 1e6;
    std::string last = line_text(lines - 1);
    bool showsLast = driver.Locked(window, [&] {
        int32 length = window->log->TextLength();
        float min = 0, max = 0;
        window->log->ScrollBar(B_VERTICAL)->GetRange(&min, &max);
        return length <= kCap && length >= int32(last.size()) &&
               strcmp(window->log->Text() + length - last.size(), last.c_str()) == 0 &&
               window->log->Bounds().top == max;
    });
    close_window(driver, window);

    // -- 5,000 lines a second -------------------------------------------------------------
    auto feed = [&](bool print, double* framesPerSecond, double* cores) {
        FloodWindow* fed = open_window(driver, print);
        fed->log->Forget();
        const int64 kRate = 5000, kSeconds = 3;
        double cpuStart = process_cpu_seconds();
        bigtime_t begin = system_time();
        int64 sent = 0;
        BMessage message(kLine);
        message.AddString("text", "");
        while (sent < kRate * kSeconds) {
            // Due by now, at the rate; a late wake-up posts the lines it
            // owes at once.
            int64 due = std::min(kRate * kSeconds, (system_time() - begin) * kRate / 1000000 + 1);
            for (; sent < due; sent++) {
                message.ReplaceString("text", line_text(sent).c_str());
                fed->PostMessage(&message);
            }
            snooze(200);
        }
        wait_handled(fed, sent, 60000000);
        bigtime_t finish = system_time();
        double cpu = process_cpu_seconds() - cpuStart;
        double wall = double(finish - begin) / 1e6;
        std::vector<bigtime_t> fedDraws = fed->log->Draws();
        *framesPerSecond = double(std::count_if(fedDraws.begin(), fedDraws.end(),
                                                [&](bigtime_t t) { return t <= finish; })) /
                           wall;
        *cores = cpu / wall;
        driver.WaitIdle();
        close_window(driver, fed);
    };
    double fps = 0, cores = 0, idleFps = 0, baseCores = 0;
    feed(true, &fps, &cores);
    feed(false, &idleFps, &baseCores);

    printf("\nbench_flood: %lld lines at once, then 5,000 lines/s for 3 s (headless)\n",
           static_cast<long long>(lines));
    printf("  a window handed %lld lines at once:\n", static_cast<long long>(lines));
    line("first new frame after the first post", firstFrame, "ms");
    ok = line("longest gap between frames while it works", longestGap, "ms", -1, nullptr, 50,
              "limit 50 ms") &&
         ok;
    ok = line("key to handled while it works, median", median(keyWaits), "ms", median(idleKeys),
              "the idle window's", 50, "limit 50 ms") &&
         ok;
    ok = line("key to handled while it works, worst", largest(keyWaits), "ms", -1, nullptr, 100,
              "limit 100 ms") &&
         ok;
    printf("  %-44s %10zu keys; idle window median %.2f ms\n", "keys typed meanwhile",
           keyWaits.size(), median(idleKeys));
    line("time to handle every line", drainSeconds, "s");
    ok = line("per line (print + its share of frames)", drainSeconds * 1e6 / double(lines), "us",
              perLineAlone, "the time of a frame per line") &&
         ok;
    printf("  %-44s %10.2f us\n", "baseline: print + a frame per line", perLineAlone);
    printf("  %-44s %10s\n", "log holds the last line, end in view",
           showsLast && drained ? "yes" : "NO");
    ok = ok && showsLast && drained;
    printf("  a window fed 5,000 lines/s:\n");
    ok = line("frames drawn per second", fps, "/s", -1, nullptr, 61, "limit 60 (+1)") && ok;
    line("CPU of the process", cores * 100, "% of a core", baseCores * 100,
         "the CPU of feeding a window that only counts");
    printf("  %-44s %10.2f %% of a core\n", "baseline: feeding a window that only counts",
           baseCores * 100);
    return ok ? 0 : 1;
}
