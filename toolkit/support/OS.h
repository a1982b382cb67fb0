#pragma once

// Kernel-style threads and time over POSIX threads.
//
// A thread made by spawn_thread() starts suspended and runs once
// resume_thread() opens its gate. Threads are joinable: wait_for_thread()
// joins one (resuming it first if it was never resumed) and hands back its
// exit value. There is deliberately no kill_thread(): every thread of the
// program is asked to stop and then joined.

#include "SupportDefs.h"

typedef int32 thread_id;
typedef int32 (*thread_func)(void*);

#define B_OS_NAME_LENGTH 32
#define B_INFINITE_TIMEOUT (9223372036854775807LL)

enum {
    B_LOW_PRIORITY = 5,
    B_NORMAL_PRIORITY = 10,
    B_DISPLAY_PRIORITY = 15,
    B_URGENT_DISPLAY_PRIORITY = 20,
    B_REAL_TIME_DISPLAY_PRIORITY = 100,
};

// Returns a new thread's id (> 0), or a negative status code.
thread_id spawn_thread(thread_func func, const char* name, int32 priority, void* data);
status_t resume_thread(thread_id thread);
status_t wait_for_thread(thread_id thread, status_t* exitValue);
// As wait_for_thread, but gives up after `timeout` microseconds (0: only
// joins a thread that has already ended) with B_TIMED_OUT or B_WOULD_BLOCK.
status_t wait_for_thread_etc(thread_id thread, bigtime_t timeout, status_t* exitValue);
// Priorities have no effect on this platform; the call only checks the id.
status_t set_thread_priority(thread_id thread, int32 priority);
// With a null name: the calling thread's id. Threads not made by
// spawn_thread() (the main thread, test threads) get an id on first use.
thread_id find_thread(const char* name);

status_t snooze(bigtime_t microseconds);
status_t snooze_until(bigtime_t time);
// Microseconds on a monotonic clock.
bigtime_t system_time();
// Seconds since the epoch.
uint32 real_time_clock();
