#pragma once

// What the benchmarks of windows and controls share: windows shown on the
// headless display with work timed on their own threads.

#include "BenchReport.h"

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

// run_benchmarks() in an application on the headless display.
inline int run_benchmarks_shown(int argc, char** argv,
                                const std::function<bool(const KeepingReporter&)>& summarize)
{
    return run_benchmarks(argc, argv, summarize, [](const std::function<void()>& run) {
        TestDriver driver([] { return new BApplication("application/x-vnd.pelmor-bench"); });
        gDriver = &driver;
        run();
        gDriver = nullptr;
    });
}

} // namespace bench
