#include "MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "OS.h"

namespace BPrivate
{

namespace
{

struct Task {
    const std::function<void()>* work;
    bool done = false;
};

// Never destroyed: window threads may still call in while the process ends.
std::mutex& sLock = *new std::mutex;
std::condition_variable& sWake = *new std::condition_variable;     // the loop, without a pump
std::condition_variable& sFinished = *new std::condition_variable; // callers, for their task
std::deque<Task*>& sTasks = *new std::deque<Task*>;
// Taken from the queue and running now; loops nest, so there may be several.
std::vector<Task*>& sRunningTasks = *new std::vector<Task*>;
bool sLoopRunning = false;
bool sWakeRequested = false;
MainThreadPump* sPump = nullptr;
std::atomic<thread_id> sMainThread{0};

void run_pending_tasks()
{
    for (;;) {
        Task* task;
        {
            std::lock_guard<std::mutex> lock(sLock);
            if (sTasks.empty())
                return;
            task = sTasks.front();
            sTasks.pop_front();
            sRunningTasks.push_back(task);
        }
        (*task->work)();
        std::lock_guard<std::mutex> lock(sLock);
        sRunningTasks.pop_back(); // loops nest: the last one taken is done first
        task->done = true;
        sFinished.notify_all();
    }
}

} // namespace

MainThreadPump::~MainThreadPump() {}

void set_main_thread_pump(MainThreadPump* pump)
{
    std::lock_guard<std::mutex> lock(sLock);
    sPump = pump;
    sWake.notify_all();
}

bool is_main_thread()
{
    thread_id main = sMainThread.load();
    return main == 0 || main == find_thread(nullptr);
}

void set_main_thread()
{
    sMainThread = find_thread(nullptr);
}

void wake_main_thread()
{
    std::lock_guard<std::mutex> lock(sLock);
    sWakeRequested = true;
    sWake.notify_all();
    if (sPump != nullptr)
        sPump->Wake();
}

void call_on_main_thread(const std::function<void()>& work)
{
    Task task{&work};
    {
        std::unique_lock<std::mutex> lock(sLock);
        if (!sLoopRunning || is_main_thread()) {
            lock.unlock();
            work();
            return;
        }
        sTasks.push_back(&task);
        sWake.notify_all();
        if (sPump != nullptr)
            sPump->Wake();
        sFinished.wait(lock, [&] { return task.done; });
    }
}

void begin_main_loop()
{
    set_main_thread();
    std::lock_guard<std::mutex> lock(sLock);
    sLoopRunning = true;
}

void end_main_loop()
{
    {
        std::lock_guard<std::mutex> lock(sLock);
        sLoopRunning = false;
    }
    run_pending_tasks();
}

namespace
{

void serve(const std::function<bool()>& done, bool pumping)
{
    // A loop may run inside another (an alert waiting on the main thread).
    bool wasRunning;
    {
        std::lock_guard<std::mutex> lock(sLock);
        wasRunning = sLoopRunning;
        sLoopRunning = true;
    }
    set_main_thread();
    while (!done()) {
        run_pending_tasks();
        MainThreadPump* pump;
        {
            std::unique_lock<std::mutex> lock(sLock);
            pump = pumping ? sPump : nullptr;
            if (pump == nullptr) {
                sWake.wait_for(lock, std::chrono::milliseconds(100), [pumping] {
                    return sWakeRequested || !sTasks.empty() || (pumping && sPump);
                });
                sWakeRequested = false;
                continue;
            }
            sWakeRequested = false;
        }
        // The pump is only ever removed from this thread, so it stays valid.
        pump->Pump(100000);
    }
    // Tasks queued until now run here; later ones run on their callers.
    {
        std::lock_guard<std::mutex> lock(sLock);
        sLoopRunning = wasRunning;
    }
    run_pending_tasks();
}

} // namespace

void run_main_loop(const std::function<bool()>& done)
{
    serve(done, true);
}

void serve_main_thread_tasks(const std::function<bool()>& done)
{
    serve(done, false);
}

void abandon_running_main_thread_tasks()
{
    std::lock_guard<std::mutex> lock(sLock);
    for (Task* task : sRunningTasks)
        task->done = true;
    sRunningTasks.clear();
    sFinished.notify_all();
}

} // namespace BPrivate
