#include "OS.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <unordered_map>

namespace
{

struct ThreadRecord {
    std::mutex lock;
    std::condition_variable gate;
    bool resumed = false;
    thread_func func = nullptr;
    void* data = nullptr;
    std::string name;
    thread_id id = 0;
    status_t exitValue = B_OK;
    pthread_t handle{};
    std::mutex joinLock; // one joiner at a time
    bool joined = false;
};

// Never destroyed: a thread may end after static destructors have run.
std::mutex& sThreadsLock = *new std::mutex;
auto& sThreads = *new std::unordered_map<thread_id, std::shared_ptr<ThreadRecord>>;
std::atomic<thread_id> sNextThreadId{1};
thread_local thread_id tCurrentId = 0;

void* thread_entry(void* arg)
{
    // The record stays alive through this reference even while the
    // spawner already waits to join us.
    std::shared_ptr<ThreadRecord> record(*static_cast<std::shared_ptr<ThreadRecord>*>(arg));
    delete static_cast<std::shared_ptr<ThreadRecord>*>(arg);

    tCurrentId = record->id;
    {
        std::unique_lock<std::mutex> lock(record->lock);
        record->gate.wait(lock, [&] { return record->resumed; });
    }
    status_t result = record->func(record->data);
    std::lock_guard<std::mutex> lock(record->lock);
    record->exitValue = result;
    return nullptr;
}

std::shared_ptr<ThreadRecord> lookup(thread_id id)
{
    std::lock_guard<std::mutex> lock(sThreadsLock);
    auto found = sThreads.find(id);
    return found == sThreads.end() ? nullptr : found->second;
}

} // namespace

thread_id spawn_thread(thread_func func, const char* name, int32 /*priority*/, void* data)
{
    if (func == nullptr)
        return B_BAD_VALUE;
    auto record = std::make_shared<ThreadRecord>();
    record->func = func;
    record->data = data;
    record->name = name != nullptr ? name : "";
    record->id = sNextThreadId++;

    auto* arg = new std::shared_ptr<ThreadRecord>(record);
    int error = pthread_create(&record->handle, nullptr, thread_entry, arg);
    if (error != 0) {
        delete arg;
        return errno_to_status(error);
    }
    // The kernel keeps at most 15 bytes of a thread's name.
    std::string shortName = record->name.substr(0, 15);
    pthread_setname_np(record->handle, shortName.c_str());

    std::lock_guard<std::mutex> lock(sThreadsLock);
    sThreads[record->id] = record;
    return record->id;
}

status_t resume_thread(thread_id thread)
{
    auto record = lookup(thread);
    if (!record)
        return B_BAD_THREAD_ID;
    std::lock_guard<std::mutex> lock(record->lock);
    if (record->resumed)
        return B_BAD_THREAD_STATE;
    record->resumed = true;
    record->gate.notify_all();
    return B_OK;
}

// Joins the thread, waiting at most `timeout` (B_INFINITE_TIMEOUT: for
// good; 0: only if it has ended). A thread never resumed is resumed first,
// since nobody else would.
static status_t join(thread_id thread, bigtime_t timeout, status_t* exitValue)
{
    if (thread == find_thread(nullptr))
        return B_BAD_THREAD_ID;
    std::shared_ptr<ThreadRecord> record = lookup(thread);
    if (!record)
        return B_BAD_THREAD_ID;
    std::lock_guard<std::mutex> joining(record->joinLock);
    if (record->joined)
        return B_BAD_THREAD_ID;
    {
        std::lock_guard<std::mutex> lock(record->lock);
        if (!record->resumed) {
            record->resumed = true;
            record->gate.notify_all();
        }
    }
    int error;
    if (timeout == B_INFINITE_TIMEOUT) {
        error = pthread_join(record->handle, nullptr);
    } else if (timeout <= 0) {
        error = pthread_tryjoin_np(record->handle, nullptr);
    } else {
        struct timespec deadline;
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += timeout / 1000000;
        deadline.tv_nsec += (timeout % 1000000) * 1000;
        if (deadline.tv_nsec >= 1000000000) {
            deadline.tv_sec++;
            deadline.tv_nsec -= 1000000000;
        }
        error = pthread_timedjoin_np(record->handle, nullptr, &deadline);
    }
    if (error == EBUSY)
        return B_WOULD_BLOCK;
    if (error == ETIMEDOUT)
        return B_TIMED_OUT;
    if (error != 0)
        return errno_to_status(error);
    record->joined = true;
    {
        std::lock_guard<std::mutex> lock(sThreadsLock);
        sThreads.erase(thread);
    }
    if (exitValue != nullptr) {
        std::lock_guard<std::mutex> lock(record->lock);
        *exitValue = record->exitValue;
    }
    return B_OK;
}

status_t wait_for_thread(thread_id thread, status_t* exitValue)
{
    return join(thread, B_INFINITE_TIMEOUT, exitValue);
}

status_t wait_for_thread_etc(thread_id thread, bigtime_t timeout, status_t* exitValue)
{
    return join(thread, timeout, exitValue);
}

status_t set_thread_priority(thread_id thread, int32 priority)
{
    if (thread != find_thread(nullptr) && !lookup(thread))
        return B_BAD_THREAD_ID;
    return priority;
}

thread_id find_thread(const char* name)
{
    if (name != nullptr)
        return B_NAME_NOT_FOUND;
    if (tCurrentId == 0)
        tCurrentId = sNextThreadId++;
    return tCurrentId;
}

status_t snooze(bigtime_t microseconds)
{
    if (microseconds <= 0)
        return B_OK;
    struct timespec wait;
    wait.tv_sec = microseconds / 1000000;
    wait.tv_nsec = (microseconds % 1000000) * 1000;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
    return B_OK;
}

status_t snooze_until(bigtime_t time)
{
    return snooze(time - system_time());
}

bigtime_t system_time()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return bigtime_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

uint32 real_time_clock()
{
    return uint32(time(nullptr));
}
