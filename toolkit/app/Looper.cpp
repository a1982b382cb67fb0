#include "Looper.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <unordered_set>

#include "AppDefs.h"
#include "Autolock.h"
#include "Backlog.h"
#include "MessageFilter.h"

namespace BPrivate
{

enum { kPreferredToken = -1, kQuitToken = -2 };

// Input goes ahead of the posted messages only when at least this many are
// waiting: a short queue keeps the order in which things happened.
const size_t kBacklogForInput = 64;

struct QueueEntry {
    BMessage* message;
    int32 token;
    // Counts the message out of its poster's backlog when the entry goes,
    // whether it was handled or dropped.
    BacklogHold counted;
    // Input that waits in `queue` (the backlog was short when it came).
    bool input = false;
};

struct LooperPort {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<QueueEntry> queue;
    // Input that arrived behind a backlog, handled before the next message
    // of `queue`; in the order it came.
    std::deque<QueueEntry> urgent;
    bool closed = false;
    bool busy = false;  // a message is being handled
    bool poked = false; // re-read the wake-up time
    // Read by the loop between messages without the lock.
    std::atomic<int32> urgentCount{0};
    // Taken from `queue` by the loop and not yet handled.
    std::atomic<size_t> batchLeft{0};
    // The loop's thread, and whether it is handling urgent input: what it
    // posts to itself meanwhile stays ahead of the backlog as well.
    std::atomic<thread_id> owner{0};
    std::atomic<bool> handlingUrgent{false};
    // Input waiting in `queue` or in the loop's batch: input behind it
    // waits too, so that input keeps its order.
    std::atomic<int32> inputQueued{0};
    // The looper has work due soon that is no message (a window's frame).
    std::atomic<bool> deferred{false};

    ~LooperPort()
    {
        for (QueueEntry& entry : queue)
            delete entry.message;
        for (QueueEntry& entry : urgent)
            delete entry.message;
    }
};

// Outlives its looper, so a thread waiting for the lock of a looper that
// is being deleted wakes up and fails instead of waiting on freed memory.
struct LooperLock {
    std::mutex lock;
    std::condition_variable released;
    thread_id owner = 0;
    int32 count = 0;
    bool dead = false;
};

namespace
{

// Never destroyed: threads of loopers that quit themselves may still be
// finishing when static destructors run at exit.
std::mutex& sListLock = *new std::mutex;
std::unordered_set<const BLooper*>& sLoopers = *new std::unordered_set<const BLooper*>;

std::mutex& sReapLock = *new std::mutex;
std::vector<thread_id>& sReapable = *new std::vector<thread_id>;

status_t acquire(LooperLock& state, bigtime_t timeout)
{
    thread_id self = find_thread(nullptr);
    std::unique_lock<std::mutex> lock(state.lock);
    if (state.dead)
        return B_BAD_VALUE;
    if (state.owner == self) {
        state.count++;
        return B_OK;
    }
    auto ready = [&] { return state.dead || state.owner == 0; };
    if (timeout == B_INFINITE_TIMEOUT) {
        state.released.wait(lock, ready);
    } else if (!state.released.wait_for(
                   lock, std::chrono::microseconds(std::max<bigtime_t>(timeout, 0)), ready)) {
        return timeout <= 0 ? B_WOULD_BLOCK : B_TIMED_OUT;
    }
    if (state.dead)
        return B_BAD_VALUE;
    state.owner = self;
    state.count = 1;
    return B_OK;
}

void release(LooperLock& state)
{
    std::lock_guard<std::mutex> lock(state.lock);
    if (state.owner != find_thread(nullptr))
        return;
    if (--state.count == 0) {
        state.owner = 0;
        state.released.notify_one();
    }
}

} // namespace

// Joins the threads of loopers that quit by themselves. Their loopers are
// already gone; the threads are at most returning.
void reap_looper_threads(bool block)
{
    std::vector<thread_id> threads;
    {
        std::lock_guard<std::mutex> lock(sReapLock);
        threads.swap(sReapable);
    }
    std::vector<thread_id> running;
    for (thread_id thread : threads) {
        if (wait_for_thread_etc(thread, block ? B_INFINITE_TIMEOUT : 0, nullptr) == B_WOULD_BLOCK)
            running.push_back(thread);
    }
    if (!running.empty()) {
        std::lock_guard<std::mutex> lock(sReapLock);
        sReapable.insert(sReapable.end(), running.begin(), running.end());
    }
}

} // namespace BPrivate

using namespace BPrivate;

BLooper::BLooper(const char* name, int32 priority, int32 /*portCapacity*/)
    : BHandler(name), fThread(0), fPriority(priority), fPort(std::make_shared<LooperPort>()),
      fLock(std::make_shared<LooperLock>()), fPreferred(nullptr), fCurrentMessage(nullptr),
      fCurrentDetached(false), fCommonFilters(nullptr), fTerminating(false), fJoinedByOther(false),
      fDeleteOnQuit(true)
{
    // Threads of loopers that quit by themselves are joined at the latest
    // when the process ends.
    static std::once_flag sReapAtExit;
    std::call_once(sReapAtExit, [] { std::atexit([] { BPrivate::reap_looper_threads(); }); });

    // The creating thread holds the lock until Run().
    fLock->owner = find_thread(nullptr);
    fLock->count = 1;
    AddHandler(this);
    std::lock_guard<std::mutex> lock(sListLock);
    sLoopers.insert(this);
}

BLooper::~BLooper()
{
    {
        std::lock_guard<std::mutex> lock(sListLock);
        sLoopers.erase(this);
    }
    {
        std::lock_guard<std::mutex> lock(fPort->lock);
        fPort->closed = true;
        for (QueueEntry& entry : fPort->queue)
            delete entry.message;
        fPort->queue.clear();
        for (QueueEntry& entry : fPort->urgent)
            delete entry.message;
        fPort->urgent.clear();
        fPort->urgentCount = 0;
    }
    {
        std::lock_guard<std::mutex> lock(fHandlersLock);
        for (BHandler* handler : fHandlers) {
            if (handler != this)
                handler->SetLooper(nullptr);
            if (handler->fNextHandler == this)
                handler->fNextHandler = nullptr;
        }
        fHandlers.clear();
    }
    SetLooper(nullptr);
    if (fCommonFilters != nullptr) {
        for (int32 i = 0; i < fCommonFilters->CountItems(); i++)
            delete static_cast<BMessageFilter*>(fCommonFilters->ItemAt(i));
        delete fCommonFilters;
    }
    std::lock_guard<std::mutex> lock(fLock->lock);
    fLock->dead = true;
    fLock->owner = 0;
    fLock->count = 0;
    fLock->released.notify_all();
}

// -- posting ------------------------------------------------------------------

status_t BLooper::_PostToken(const std::shared_ptr<LooperPort>& port, const BMessage& message,
                             int32 token, const std::shared_ptr<Backlog>& backlog, bool input)
{
    if (!port)
        return B_BAD_PORT_ID;
    auto* copy = new BMessage(message);
    bool wasEmpty;
    // What the loop posts to itself while it handles urgent input follows
    // that input, as the input's own consequences.
    bool mayHurry = input || (port->handlingUrgent.load(std::memory_order_relaxed) &&
                              port->owner.load(std::memory_order_relaxed) == find_thread(nullptr));
    {
        std::lock_guard<std::mutex> lock(port->lock);
        if (port->closed) {
            delete copy;
            return B_BAD_PORT_ID;
        }
        wasEmpty = port->queue.empty() && port->urgent.empty();
        bool backlogged = port->queue.size() + port->batchLeft.load() >= kBacklogForInput &&
                          (!input || port->inputQueued.load() == 0);
        bool hurry = mayHurry && (!port->urgent.empty() || backlogged);
        if (hurry) {
            port->urgent.push_back(QueueEntry{copy, token, BacklogHold(backlog)});
            port->urgentCount++;
        } else {
            port->queue.push_back(QueueEntry{copy, token, BacklogHold(backlog), input});
            if (input)
                port->inputQueued++;
        }
    }
    // Only the looper's thread waits, and only on an empty queue. Woken
    // after the lock is let go, it does not at once block on it again.
    if (wasEmpty)
        port->arrived.notify_one();
    return B_OK;
}

status_t BLooper::PostMessage(uint32 command)
{
    BMessage message(command);
    return PostMessage(&message);
}

status_t BLooper::PostMessage(BMessage* message)
{
    return _PostCounted(message, nullptr);
}

status_t BLooper::_PostCounted(BMessage* message, const std::shared_ptr<Backlog>& backlog)
{
    if (message == nullptr)
        return B_BAD_VALUE;
    std::shared_ptr<LooperPort> port;
    {
        std::lock_guard<std::mutex> lock(sListLock);
        if (sLoopers.count(this) == 0)
            return B_BAD_VALUE;
        port = fPort;
    }
    return _PostToken(port, *message, fToken, backlog);
}

status_t BLooper::PostMessage(uint32 command, BHandler* handler, BHandler* replyTo)
{
    BMessage message(command);
    return PostMessage(&message, handler, replyTo);
}

status_t BLooper::PostMessage(BMessage* message, BHandler* handler, BHandler* /*replyTo*/)
{
    if (message == nullptr)
        return B_BAD_VALUE;
    std::shared_ptr<LooperPort> port;
    int32 token = kPreferredToken;
    {
        std::lock_guard<std::mutex> lock(sListLock);
        if (sLoopers.count(this) == 0)
            return B_BAD_VALUE;
        port = fPort;
        if (handler != nullptr) {
            std::lock_guard<std::mutex> handlersLock(fHandlersLock);
            if (std::find(fHandlers.begin(), fHandlers.end(), handler) == fHandlers.end())
                return B_MISMATCHED_VALUES;
            token = handler->fToken;
        }
    }
    return _PostToken(port, *message, token);
}

// -- dispatching --------------------------------------------------------------

BHandler* BLooper::_HandlerForToken(int32 token) const
{
    if (token == kPreferredToken)
        return fPreferred != nullptr ? fPreferred : const_cast<BLooper*>(this);
    std::lock_guard<std::mutex> lock(fHandlersLock);
    for (BHandler* handler : fHandlers) {
        if (handler->fToken == token)
            return handler;
    }
    return nullptr;
}

void BLooper::ApplyFilters(BList* filters, BMessage* message, BHandler** target, bool* skip)
{
    if (filters == nullptr)
        return;
    // A filter may remove itself or others; walk a copy.
    BList snapshot(*filters);
    for (int32 i = 0; i < snapshot.CountItems() && !*skip; i++) {
        auto* filter = static_cast<BMessageFilter*>(snapshot.ItemAt(i));
        if (!filters->HasItem(filter))
            continue;
        if (filter->Run(message, target) == B_SKIP_MESSAGE)
            *skip = true;
    }
}

void BLooper::Dispatch(BMessage* message, int32 token)
{
    BHandler* handler = _HandlerForToken(token);
    if (handler == nullptr) {
        delete message; // its handler left the looper meanwhile
        return;
    }
    BMessage* previous = fCurrentMessage;
    bool previousDetached = fCurrentDetached;
    fCurrentMessage = message;
    fCurrentDetached = false;

    bool skip = false;
    ApplyFilters(fCommonFilters, message, &handler, &skip);
    if (!skip && handler != nullptr)
        ApplyFilters(handler->fFilters, message, &handler, &skip);
    if (!skip && handler != nullptr)
        DispatchMessage(message, handler);

    if (!fCurrentDetached)
        delete message;
    fCurrentMessage = previous;
    fCurrentDetached = previousDetached;
}

void BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
    if (message->what == B_QUIT_REQUESTED && handler == this) {
        if (QuitRequested())
            Quit();
        return;
    }
    handler->MessageReceived(message);
}

void BLooper::MessageReceived(BMessage* message)
{
    BHandler::MessageReceived(message);
}

BMessage* BLooper::DetachCurrentMessage()
{
    if (fCurrentMessage == nullptr || fCurrentDetached)
        return nullptr;
    fCurrentDetached = true;
    return fCurrentMessage;
}

bool BLooper::_IsIdle(const BLooper* looper)
{
    std::shared_ptr<LooperPort> port;
    {
        std::lock_guard<std::mutex> lock(sListLock);
        if (sLoopers.count(looper) == 0)
            return true;
        port = looper->fPort;
    }
    std::lock_guard<std::mutex> lock(port->lock);
    return port->queue.empty() && port->urgent.empty() && !port->busy && !port->deferred;
}

bool BLooper::_IsIdle() const
{
    std::lock_guard<std::mutex> lock(fPort->lock);
    return fPort->queue.empty() && fPort->urgent.empty() && !fPort->busy && !fPort->deferred;
}

void BLooper::_SetDeferred(bool deferred)
{
    fPort->deferred = deferred;
}

void BLooper::_Poke()
{
    std::lock_guard<std::mutex> lock(fPort->lock);
    fPort->poked = true;
    fPort->arrived.notify_one();
}

// -- handlers -----------------------------------------------------------------

void BLooper::AddHandler(BHandler* handler)
{
    if (handler == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(fHandlersLock);
        if (std::find(fHandlers.begin(), fHandlers.end(), handler) != fHandlers.end())
            return;
        if (handler->fLooper != nullptr && handler->fLooper != this)
            return; // it belongs to another looper
        fHandlers.push_back(handler);
    }
    handler->SetLooper(this);
    if (handler != this && handler->NextHandler() == nullptr)
        handler->SetNextHandler(this);
}

bool BLooper::RemoveHandler(BHandler* handler)
{
    if (handler == nullptr || handler == this)
        return false;
    {
        std::lock_guard<std::mutex> lock(fHandlersLock);
        auto found = std::find(fHandlers.begin(), fHandlers.end(), handler);
        if (found == fHandlers.end())
            return false;
        fHandlers.erase(found);
    }
    handler->SetLooper(nullptr);
    if (handler->NextHandler() == this)
        handler->SetNextHandler(nullptr);
    if (fPreferred == handler)
        fPreferred = nullptr;
    return true;
}

int32 BLooper::CountHandlers() const
{
    std::lock_guard<std::mutex> lock(fHandlersLock);
    return int32(fHandlers.size());
}

BHandler* BLooper::HandlerAt(int32 index) const
{
    std::lock_guard<std::mutex> lock(fHandlersLock);
    if (index < 0 || size_t(index) >= fHandlers.size())
        return nullptr;
    return fHandlers[size_t(index)];
}

int32 BLooper::IndexOf(BHandler* handler) const
{
    std::lock_guard<std::mutex> lock(fHandlersLock);
    auto found = std::find(fHandlers.begin(), fHandlers.end(), handler);
    return found == fHandlers.end() ? -1 : int32(found - fHandlers.begin());
}

void BLooper::SetPreferredHandler(BHandler* handler)
{
    if (handler != nullptr && IndexOf(handler) < 0)
        return;
    fPreferred = handler;
}

// -- filters ------------------------------------------------------------------

void BLooper::AddCommonFilter(BMessageFilter* filter)
{
    if (filter == nullptr)
        return;
    if (fCommonFilters == nullptr)
        fCommonFilters = new BList;
    filter->fLooper = this;
    fCommonFilters->AddItem(filter);
}

bool BLooper::RemoveCommonFilter(BMessageFilter* filter)
{
    if (fCommonFilters == nullptr || !fCommonFilters->RemoveItem(filter))
        return false;
    filter->fLooper = nullptr;
    return true;
}

void BLooper::SetCommonFilterList(BList* filters)
{
    if (fCommonFilters != nullptr) {
        for (int32 i = 0; i < fCommonFilters->CountItems(); i++)
            delete static_cast<BMessageFilter*>(fCommonFilters->ItemAt(i));
        delete fCommonFilters;
    }
    fCommonFilters = filters;
    if (fCommonFilters != nullptr) {
        for (int32 i = 0; i < fCommonFilters->CountItems(); i++)
            static_cast<BMessageFilter*>(fCommonFilters->ItemAt(i))->fLooper = this;
    }
}

// -- the loop -----------------------------------------------------------------

thread_id BLooper::Run()
{
    return _StartThread(_LoopThread);
}

status_t BLooper::_PostQuit()
{
    return _PostToken(fPort, BMessage(), kQuitToken);
}

thread_id BLooper::_StartThread(thread_func entry)
{
    if (fThread.load() > 0)
        return B_BAD_THREAD_STATE;
    reap_looper_threads(false); // threads of loopers that have gone meanwhile
    thread_id thread = spawn_thread(entry, Name() != nullptr ? Name() : "looper", fPriority, this);
    if (thread < 0)
        return thread;
    fThread = thread;
    // Hand over the lock that the creating thread has held since construction.
    if (IsLocked())
        Unlock();
    resume_thread(thread);
    return thread;
}

int32 BLooper::_LoopThread(void* looper)
{
    static_cast<BLooper*>(looper)->_Loop();
    return 0;
}

void BLooper::_Loop()
{
    std::shared_ptr<LooperPort> port = fPort;
    std::shared_ptr<LooperLock> lockState = fLock;
    port->owner = find_thread(nullptr);
    // Messages are taken from the queue all at once, one lock for many
    // rather than one each while a poster holds it; the looper counts as
    // busy until the last of them is handled. Between two of them the loop
    // looks for urgent input and for timed work that is due (a window's
    // frame), so neither waits for the whole batch.
    std::deque<QueueEntry> batch;
    auto takeUrgent = [&](QueueEntry* entry) { // with port->lock held
        *entry = std::move(port->urgent.front());
        port->urgent.pop_front();
        port->urgentCount--;
    };
    for (;;) {
        // Counted out of its backlog when it goes, after its handler.
        QueueEntry entry{nullptr, 0, {}};
        bool haveEntry = false;
        bool urgent = false;
        if (port->urgentCount.load(std::memory_order_relaxed) > 0) {
            std::lock_guard<std::mutex> lock(port->lock);
            if (!port->urgent.empty()) {
                takeUrgent(&entry);
                haveEntry = urgent = true;
                port->busy = true;
            }
        }
        if (!haveEntry && batch.empty()) {
            std::unique_lock<std::mutex> lock(port->lock);
            for (;;) {
                if (!port->urgent.empty()) {
                    takeUrgent(&entry);
                    haveEntry = urgent = true;
                    break;
                }
                if (!port->queue.empty()) {
                    batch.swap(port->queue);
                    port->batchLeft = batch.size();
                    break;
                }
                port->poked = false;
                bigtime_t due = _NextWakeup();
                bigtime_t now = system_time();
                if (due <= now)
                    break;
                if (due == B_INFINITE_TIMEOUT)
                    port->arrived.wait(lock);
                else
                    port->arrived.wait_for(lock, std::chrono::microseconds(due - now));
            }
            port->busy = true;
        }
        if (!haveEntry && !batch.empty()) {
            entry = std::move(batch.front());
            batch.pop_front();
            port->batchLeft = batch.size();
            if (entry.input)
                port->inputQueued--;
            haveEntry = true;
        }

        acquire(*lockState, B_INFINITE_TIMEOUT);
        if (haveEntry) {
            if (entry.token == kQuitToken) {
                delete entry.message;
                fTerminating = true;
                fJoinedByOther = true;
            } else {
                port->handlingUrgent.store(urgent, std::memory_order_relaxed);
                Dispatch(entry.message, entry.token);
                port->handlingUrgent.store(false, std::memory_order_relaxed);
            }
            // Timed work that fell due meanwhile goes before the next
            // message, however many wait.
            if (!fTerminating) {
                bigtime_t due = _NextWakeup();
                if (due != B_INFINITE_TIMEOUT && due <= system_time())
                    _Wakeup();
            }
        } else {
            _Wakeup();
        }
        if (batch.empty()) {
            std::lock_guard<std::mutex> lock(port->lock);
            port->busy = !port->urgent.empty();
        }
        if (fTerminating)
            break;
        release(*lockState);
    }
    // What was taken but comes after the end is never handled.
    for (QueueEntry& entry : batch)
        delete entry.message;
    batch.clear();

    // Still locked: nobody else may touch the looper while it goes.
    {
        std::lock_guard<std::mutex> lock(port->lock);
        port->closed = true;
    }
    if (!fDeleteOnQuit) {
        release(*lockState);
        return;
    }
    // Listed for joining before the looper goes, so that a reaper at exit
    // cannot miss a thread that is still finishing.
    if (!fJoinedByOther) {
        std::lock_guard<std::mutex> lock(sReapLock);
        sReapable.push_back(fThread);
    }
    delete this;
}

void BLooper::Quit()
{
    if (!IsLocked()) {
        fprintf(stderr, "BLooper::Quit: the looper must be locked first\n");
        if (!Lock())
            return;
    }
    thread_id thread = fThread;
    if (thread <= 0) {
        fTerminating = true;
        delete this;
        return;
    }
    if (find_thread(nullptr) == thread) {
        fTerminating = true;
        return;
    }
    // Another thread: ask the loop to end, give up our hold on the lock so
    // that it can, and wait until the thread has deleted the looper.
    _PostQuit();
    _ReleaseAllLocks();
    wait_for_thread(thread, nullptr);
}

void BLooper::_ReleaseAllLocks()
{
    std::lock_guard<std::mutex> lock(fLock->lock);
    if (fLock->owner == find_thread(nullptr)) {
        fLock->owner = 0;
        fLock->count = 0;
        fLock->released.notify_one();
    }
}

bool BLooper::QuitRequested()
{
    return true;
}

// -- locking ------------------------------------------------------------------

bool BLooper::Lock()
{
    return LockWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BLooper::LockWithTimeout(bigtime_t timeout)
{
    return _LockLooper(this, timeout);
}

// Touches the looper only once the list says it is alive, so a messenger
// may try a looper that has gone.
status_t BLooper::_LockLooper(const BLooper* looper, bigtime_t timeout)
{
    std::shared_ptr<LooperLock> state;
    {
        std::lock_guard<std::mutex> lock(sListLock);
        if (sLoopers.count(looper) == 0)
            return B_BAD_VALUE;
        state = looper->fLock;
    }
    return acquire(*state, timeout);
}

void BLooper::Unlock()
{
    std::shared_ptr<LooperLock> state = _LockState();
    if (state)
        release(*state);
}

bool BLooper::IsLocked() const
{
    std::shared_ptr<LooperLock> state = _LockState();
    if (!state)
        return false;
    std::lock_guard<std::mutex> lock(state->lock);
    return state->owner == find_thread(nullptr);
}

thread_id BLooper::LockingThread() const
{
    std::shared_ptr<LooperLock> state = _LockState();
    if (!state)
        return B_BAD_VALUE;
    std::lock_guard<std::mutex> lock(state->lock);
    return state->owner;
}

int32 BLooper::CountLocks() const
{
    std::shared_ptr<LooperLock> state = _LockState();
    if (!state)
        return 0;
    std::lock_guard<std::mutex> lock(state->lock);
    return state->count;
}

// -- the list of loopers -------------------------------------------------------

// The looper's members are read only once it is known to be alive.
std::shared_ptr<LooperLock> BLooper::_LockState() const
{
    std::lock_guard<std::mutex> lock(sListLock);
    if (sLoopers.count(this) == 0)
        return nullptr;
    return fLock;
}

bool BLooper::_IsValid(const BLooper* looper)
{
    std::lock_guard<std::mutex> lock(sListLock);
    return sLoopers.count(looper) != 0;
}

std::vector<BLooper*> BLooper::_AllLoopers()
{
    std::lock_guard<std::mutex> lock(sListLock);
    std::vector<BLooper*> loopers;
    for (const BLooper* looper : sLoopers)
        loopers.push_back(const_cast<BLooper*>(looper));
    return loopers;
}

BLooper* BLooper::LooperForThread(thread_id thread)
{
    std::lock_guard<std::mutex> lock(sListLock);
    for (const BLooper* looper : sLoopers) {
        if (looper->fThread.load() == thread)
            return const_cast<BLooper*>(looper);
    }
    return nullptr;
}

// -- BAutolock's looper form ----------------------------------------------------

BAutolock::BAutolock(BLooper* looper) : fLooper(looper)
{
    fLocked = fLooper != nullptr && fLooper->Lock();
}

void BAutolock::Unlock()
{
    if (fLocker != nullptr)
        fLocker->Unlock();
    else if (fLooper != nullptr)
        fLooper->Unlock();
}
