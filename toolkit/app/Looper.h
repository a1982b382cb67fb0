#pragma once

// A looper runs one thread that takes messages from its queue and hands
// each to its target handler, holding the looper's lock while it does.
//
// Posting copies the message into the queue and never blocks on the
// looper's lock, so any thread (the looper's own included) may post at any
// time. The lock is recursive and owned by a thread. Every looper is entered
// in a process-wide list; Lock, PostMessage and BMessenger look a looper up
// there first, so calling them on a looper that has already quit fails
// cleanly instead of touching freed memory.
//
// Messages are handled in the order they were posted, with one exception:
// input from the display server (keys, mouse, activation) that arrives while
// 64 or more posted messages wait goes ahead of them, in its own order, and
// so do the messages the looper posts to itself while it handles that input.
// Behind a shorter queue input keeps its place. Between two messages the
// loop also does timed work that is due (a window's pulse and its frame),
// so a backlog holds neither back.
//
// Quit() from the looper's own thread ends the loop after the current
// message; from another thread it asks the loop to end and waits for the
// thread. Either way the looper then deletes itself (BApplication excepted).

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "Handler.h"
#include "List.h"
#include "Message.h"
#include "OS.h"

namespace BPrivate
{
class Backlog;
struct LooperPort;
struct LooperLock;
// Joins the threads of loopers that quit by themselves; without `block`,
// only those that have already ended.
void reap_looper_threads(bool block = true);
} // namespace BPrivate

class BMessageFilter;

class BLooper : public BHandler
{
public:
    explicit BLooper(const char* name = nullptr, int32 priority = B_NORMAL_PRIORITY,
                     int32 portCapacity = 0);
    ~BLooper() override;

    // Posting: the message is copied. Without a handler argument the looper
    // itself is the target; with a null handler, the preferred handler.
    status_t PostMessage(uint32 command);
    status_t PostMessage(BMessage* message);
    status_t PostMessage(uint32 command, BHandler* handler, BHandler* replyTo = nullptr);
    status_t PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo = nullptr);

    virtual void DispatchMessage(BMessage* message, BHandler* handler);
    void MessageReceived(BMessage* message) override;
    BMessage* CurrentMessage() const { return fCurrentMessage; }
    BMessage* DetachCurrentMessage();

    // Handlers. The looper is its own first handler.
    void AddHandler(BHandler* handler);
    bool RemoveHandler(BHandler* handler);
    int32 CountHandlers() const;
    BHandler* HandlerAt(int32 index) const;
    int32 IndexOf(BHandler* handler) const;
    BHandler* PreferredHandler() const { return fPreferred; }
    void SetPreferredHandler(BHandler* handler);

    // Loop control.
    virtual thread_id Run();
    virtual void Quit();
    virtual bool QuitRequested();
    bool IsRunning() const { return fThread.load() > 0; }

    // Locking.
    bool Lock();
    void Unlock();
    bool IsLocked() const; // by the calling thread
    status_t LockWithTimeout(bigtime_t timeout);
    thread_id Thread() const { return fThread.load(); }
    thread_id LockingThread() const;
    int32 CountLocks() const;

    // Filters that see every message of this looper first.
    virtual void AddCommonFilter(BMessageFilter* filter);
    virtual bool RemoveCommonFilter(BMessageFilter* filter);
    virtual void SetCommonFilterList(BList* filters);
    BList* CommonFilterList() const { return fCommonFilters; }

    static BLooper* LooperForThread(thread_id thread);

    // Toolkit internals --------------------------------------------------
    // Whether the queue is empty and no message is being handled.
    bool _IsIdle() const;
    // Posts a message for the handler with this token (0: the looper,
    // -1: the preferred handler), counted in `backlog` if one is given.
    // Used by BMessenger.
    // `input` (the display server's messages: keys, mouse, activation)
    // goes ahead of a backlog of posted messages; see _Loop().
    static status_t _PostToken(const std::shared_ptr<BPrivate::LooperPort>& port,
                               const BMessage& message, int32 token,
                               const std::shared_ptr<BPrivate::Backlog>& backlog = nullptr,
                               bool input = false);
    // PostMessage(message), counting the message in `backlog` until it has
    // been handled or dropped (see Backlog.h).
    status_t _PostCounted(BMessage* message, const std::shared_ptr<BPrivate::Backlog>& backlog);
    std::shared_ptr<BPrivate::LooperPort> _Port() const { return fPort; }
    BHandler* _HandlerForToken(int32 token) const;
    static bool _IsValid(const BLooper* looper);
    static status_t _LockLooper(const BLooper* looper, bigtime_t timeout);
    // _IsIdle for a looper that may be gone meanwhile (then: idle).
    static bool _IsIdle(const BLooper* looper);
    // Snapshot of every looper alive now.
    static std::vector<BLooper*> _AllLoopers();

protected:
    // Subclasses that need timed work (a window's pulse) return the next
    // moment it is due (system_time() scale) and do it in _Wakeup(), which
    // runs in the looper's thread with the lock held.
    virtual bigtime_t _NextWakeup() const { return B_INFINITE_TIMEOUT; }
    virtual void _Wakeup() {}
    // Wakes the loop so that it asks _NextWakeup() again.
    void _Poke();
    // While set, the looper does not count as idle although its queue is
    // empty: work is due at _NextWakeup() (a window's next frame).
    void _SetDeferred(bool deferred);
    // Whether the looper deletes itself when its loop ends.
    void _SetDeleteOnQuit(bool deleteOnQuit) { fDeleteOnQuit = deleteOnQuit; }
    // The loop body; BApplication runs it too.
    void _Loop();
    // Spawns and resumes the looper's thread with this entry point.
    thread_id _StartThread(thread_func entry);
    // Asks the loop to end after the messages queued before this request.
    status_t _PostQuit();
    // Gives up every hold the calling thread has on the lock.
    void _ReleaseAllLocks();
    // Ends the loop after the current message; looper thread only.
    void _EndLoop() { fTerminating = true; }
    static int32 _LoopThread(void* looper);
    std::atomic<thread_id> fThread;
    int32 fPriority;

private:
    friend class BHandler;

    void Dispatch(BMessage* message, int32 token);
    std::shared_ptr<BPrivate::LooperLock> _LockState() const;
    void ApplyFilters(BList* filters, BMessage* message, BHandler** target, bool* skip);

    std::shared_ptr<BPrivate::LooperPort> fPort;
    std::shared_ptr<BPrivate::LooperLock> fLock;
    mutable std::mutex fHandlersLock;
    std::vector<BHandler*> fHandlers;
    BHandler* fPreferred;
    BMessage* fCurrentMessage;
    bool fCurrentDetached;
    BList* fCommonFilters;
    bool fTerminating;
    bool fJoinedByOther;
    bool fDeleteOnQuit;
};
