#pragma once

// The process's main thread while the application runs.
//
// BApplication::Run() keeps the main thread here: it runs tasks handed to
// it by other threads and, once a display backend has plugged in its pump,
// lets the pump wait for and handle native events in between. Work that a
// native library wants on one thread (creating windows, the clipboard) is
// sent here with call_on_main_thread(). The main thread never waits for
// another thread while it serves this loop, so a window thread that waits
// here cannot deadlock with it.

#include <functional>

#include "SupportDefs.h"

namespace BPrivate
{

class MainThreadPump
{
public:
    virtual ~MainThreadPump();
    // Waits up to `timeout` microseconds for native events and handles
    // them; returns early once Wake() has been called.
    virtual void Pump(bigtime_t timeout) = 0;
    // Any thread.
    virtual void Wake() = 0;
};

// Installs (or, with null, removes) the pump; main thread only (use
// call_on_main_thread). The caller keeps ownership.
void set_main_thread_pump(MainThreadPump* pump);

// Runs the task on the main thread and returns when it has run. On the main
// thread itself, and while no main loop runs, the task runs at once on the
// calling thread.
void call_on_main_thread(const std::function<void()>& task);

bool is_main_thread();
void set_main_thread();

// Makes the calling thread the main thread and marks its loop as running
// from now on, so that tasks sent by threads started meanwhile wait for the
// loop instead of running on their callers. end_main_loop() undoes it.
void begin_main_loop();
void end_main_loop();

// Serves tasks and the pump until `done` returns true; `done` is checked
// after every wake-up, and wake_main_thread() wakes the loop to check it.
// Loops may nest (an alert waiting on the main thread).
void run_main_loop(const std::function<bool()>& done);
void wake_main_thread();

// For a main thread that cannot go back to its loop: the display connection
// broke inside a native call that must not return (see Application.h).
// The first runs the tasks of other threads, without the pump, until
// `done`. The second lets the callers of the tasks the main thread was
// running wait no more; those tasks never finish, and the frames that ran
// them must never resume.
void serve_main_thread_tasks(const std::function<bool()>& done);
void abandon_running_main_thread_tasks();

} // namespace BPrivate
