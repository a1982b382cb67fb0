#pragma once

// What the benchmark programs share: windows shown on the headless display
// with work timed on their own threads, a reporter that keeps every run for
// the summary, and the summary's lines.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include <Application.h>
#include <Handler.h>
#include <Message.h>
#include <TestDriver.h>
#include <View.h>
#include <Window.h>

namespace bench
{

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline constexpr uint32 kRunWork = 'bnch';
inline constexpr rgb_color kPanel = {220, 220, 220, 255};

// A chat log's colours: nicks in one of five, the text, and the quieter
// parts (times, numbers).
inline constexpr rgb_color kNickColors[] = {
    {200, 0, 0, 255}, {0, 120, 0, 255}, {0, 0, 200, 255}, {160, 0, 160, 255}, {0, 130, 130, 255},
};
inline constexpr rgb_color kTextColor = {0, 0, 0, 255};
inline constexpr rgb_color kQuietColor = {110, 110, 110, 255};

// The running application the windows belong to; set by run_benchmarks().
inline TestDriver* gDriver = nullptr;

// Runs work on the thread of the window it was added to. A window draws only
// on its own thread (UpdateIfNeeded does nothing on any other), so a change
// and the redraw it causes are timed together there, as the program pays
// for them when a message changes a view.
class WorkHandler : public BHandler
{
public:
    struct Work {
        std::function<void()> run;
        std::promise<void> done;
    };

    WorkHandler() : BHandler("bench work") {}

    void MessageReceived(BMessage* message) override
    {
        Work* work = nullptr;
        if (message->what != kRunWork ||
            message->FindPointer("work", reinterpret_cast<void**>(&work)) != B_OK ||
            work == nullptr) {
            BHandler::MessageReceived(message);
            return;
        }
        work->run();
        work->done.set_value();
    }
};

// A window shown for the length of one benchmark, quit after it.
class ShownWindow
{
public:
    explicit ShownWindow(BWindow* window) : fWindow(window), fHandler(new WorkHandler)
    {
        fWindow->AddHandler(fHandler);
        fWindow->Show();
        gDriver->WaitIdle();
    }
    ~ShownWindow()
    {
        fWindow->Lock();
        fWindow->RemoveHandler(fHandler);
        fWindow->Quit();
        delete fHandler;
        gDriver->WaitIdle();
    }
    ShownWindow(const ShownWindow&) = delete;
    ShownWindow& operator=(const ShownWindow&) = delete;

    BWindow* Window() const { return fWindow; }

    // Runs `run` on the window's thread and waits for it to finish.
    void Run(std::function<void()> run)
    {
        WorkHandler::Work work{std::move(run), {}};
        std::future<void> done = work.done.get_future();
        BMessage message(kRunWork);
        message.AddPointer("work", &work);
        fWindow->PostMessage(&message, fHandler);
        done.wait();
    }

    // Seconds that `run` took on the window's thread.
    double Time(const std::function<void()>& run)
    {
        double elapsed = 0;
        Run([&] {
            Clock::time_point start = Clock::now();
            run();
            elapsed = seconds_since(start);
        });
        return elapsed;
    }

    // Invalidates `rect` (window coordinates) and draws it to the back
    // buffer, then hands the frame to the display: what one update costs.
    double TimeRedraw(BRect rect)
    {
        return Time([this, rect] {
            fWindow->_Invalidate(rect);
            fWindow->UpdateIfNeeded();
        });
    }
    double TimeFullRedraw() { return TimeRedraw(fWindow->Bounds()); }

private:
    BWindow* fWindow;
    WorkHandler* fHandler;
};

// A window with only a panel-coloured view: the least a full redraw of a
// window this size can cost.
inline BWindow* make_empty_window(BRect frame)
{
    auto* window = new BWindow(frame, "Empty", B_TITLED_WINDOW, 0);
    BView* back = new BView(window->Bounds(), "back", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
    back->SetViewColor(kPanel);
    window->AddChild(back);
    return window;
}

// Prints as the console does and keeps every run for the summary. In
// colour only on a terminal: given a reporter of its own, the library no
// longer looks at --benchmark_color.
class KeepingReporter : public benchmark::ConsoleReporter
{
public:
    KeepingReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            std::string name = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/") +
                               run.run_name.args;
            if (run.error_occurred)
                fErrors.push_back(name + ": " + run.error_message);
            else
                fRuns[name].push_back(run);
        }
    }

    // The benchmarks that stopped with an error, with the error.
    const std::vector<std::string>& Errors() const { return fErrors; }

    // Milliseconds per iteration, averaged over repetitions; < 0 if the
    // benchmark did not run.
    double Milliseconds(const std::string& name) const
    {
        return Average(name, [](const Run& run) {
            return run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) *
                   1e3;
        });
    }
    // A counter averaged over repetitions; < 0 if missing.
    double Counter(const std::string& name, const std::string& counter) const
    {
        return Average(name, [&](const Run& run) {
            auto found = run.counters.find(counter);
            return found != run.counters.end() ? found->second.value : -1.0;
        });
    }

private:
    double Average(const std::string& name, const std::function<double(const Run&)>& value) const
    {
        auto found = fRuns.find(name);
        if (found == fRuns.end() || found->second.empty())
            return -1;
        double sum = 0;
        for (const Run& run : found->second)
            sum += value(run);
        return sum / double(found->second.size());
    }

    std::map<std::string, std::vector<Run>> fRuns;
    std::vector<std::string> fErrors;
};

// Prints one line of the summary; false when a limit is given and missed.
// A number that is missing was filtered out or failed; run_benchmarks()
// fails the run for the second. A limit of -1 with its text is one that
// needs a baseline that did not run: it is shown as not checked.
inline bool report(const char* what, double value, const char* unit, double baseline = -1,
                   const char* baselineName = nullptr, double limit = -1,
                   const char* limitText = nullptr)
{
    if (value < 0) {
        printf("  %-34s (did not run)\n", what);
        return true;
    }
    printf("  %-34s %10.3f %s", what, value, unit);
    if (baseline > 0)
        printf("   %6.2fx %s", value / baseline, baselineName);
    bool ok = limit < 0 || value < limit;
    if (limitText != nullptr)
        printf("   [%s: %s]", limitText, limit < 0 ? "no baseline" : ok ? "ok" : "MISSED");
    printf("\n");
    return ok;
}

// Prints a count the summary shows as evidence of the work done, not timed.
inline void report_count(const char* what, double value, const char* unit)
{
    if (value < 0)
        printf("  %-34s (did not run)\n", what);
    else
        printf("  %-34s %10.0f %s\n", what, value, unit);
}

// Runs the benchmarks named on the command line (all by default) in an
// application on the headless display, then `summarize` with what they
// reported. The exit status: 2 for a bad argument, 1 when a benchmark
// failed its own checks or `summarize` finds a limit missed, else 0.
inline int run_benchmarks(int argc, char** argv,
                          const std::function<bool(const KeepingReporter&)>& summarize)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    int status = 0;
    {
        TestDriver driver([] { return new BApplication("application/x-vnd.pelmor-bench"); });
        gDriver = &driver;
        KeepingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        gDriver = nullptr;
        printf("\nSummary (ratios against a baseline from this run)\n");
        bool ok = summarize(reporter);
        for (const std::string& error : reporter.Errors())
            printf("  FAILED %s\n", error.c_str());
        status = ok && reporter.Errors().empty() ? 0 : 1;
    }
    benchmark::Shutdown();
    return status;
}

} // namespace bench
