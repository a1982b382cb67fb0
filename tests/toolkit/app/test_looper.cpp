#include <AppDefs.h>
#include <Autolock.h>
#include <Backlog.h>
#include <Handler.h>
#include <Invoker.h>
#include <Looper.h>
#include <Message.h>
#include <MessageFilter.h>
#include <Messenger.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <poll.h>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace
{

// Records what reaches it, and lets a test wait for a number of messages.
struct Log {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> entries;

    void Add(const std::string& entry)
    {
        std::lock_guard<std::mutex> guard(lock);
        entries.push_back(entry);
        changed.notify_all();
    }
    bool WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(10),
                                [&] { return entries.size() >= count; });
    }
    std::vector<std::string> Entries()
    {
        std::lock_guard<std::mutex> guard(lock);
        return entries;
    }
};

class TestLooper : public BLooper
{
public:
    TestLooper(Log& log, std::atomic<bool>* deleted = nullptr)
        : BLooper("test looper"), fLog(log), fDeleted(deleted)
    {
    }
    ~TestLooper() override
    {
        if (fDeleted != nullptr)
            *fDeleted = true;
    }
    void MessageReceived(BMessage* message) override
    {
        switch (message->what) {
        case 'text':
            fLog.Add(std::string("looper:") + message->GetString("text", ""));
            break;
        case 'lock':
            fLog.Add(IsLocked() && LockingThread() == Thread() ? "locked" : "unlocked");
            break;
        case 'wait':
            fLog.Add("waiting");
            while (!fRelease.load())
                snooze(1000);
            fLog.Add("released");
            break;
        case 'quit':
            Quit();
            break;
        case 'wtqt':
            fLog.Add("waiting");
            while (!fRelease.load())
                snooze(1000);
            Quit(); // the lock is never let go before the looper is gone
            break;
        case 'rmvh':
            RemoveHandler(fToRemove);
            delete fToRemove;
            fLog.Add("removed");
            break;
        default:
            fLog.Add("looper base");
            BLooper::MessageReceived(message);
        }
    }
    bool QuitRequested() override
    {
        fLog.Add("quit requested");
        return fAllowQuit;
    }

    bool fAllowQuit = true;
    std::atomic<bool> fRelease{false};
    BHandler* fToRemove = nullptr;

private:
    Log& fLog;
    std::atomic<bool>* fDeleted;
};

class TestHandler : public BHandler
{
public:
    TestHandler(Log& log, const char* name) : BHandler(name), fLog(log) {}
    void MessageReceived(BMessage* message) override
    {
        if (message->what == 'text') {
            fLog.Add(std::string(Name()) + ":" + message->GetString("text", ""));
            return;
        }
        // Unknown codes go to the base class, which hands them on.
        BHandler::MessageReceived(message);
    }

private:
    Log& fLog;
};

BMessage text(const char* t)
{
    BMessage m('text');
    m.AddString("text", t);
    return m;
}

// Quits a looper from the test thread; returns when its thread has ended.
void quit(BLooper* looper)
{
    ASSERT_TRUE(looper->Lock());
    looper->Quit();
}

} // namespace

TEST(Looper, PostingCopiesAndKeepsOrder)
{
    Log log;
    auto* looper = new TestLooper(log);
    looper->Run();
    BMessage m = text("first");
    looper->PostMessage(&m);
    m.ReplaceString("text", "second"); // the posted copy is unaffected
    looper->PostMessage(&m);
    for (int i = 0; i < 50; i++) {
        BMessage n = text(std::to_string(i).c_str());
        looper->PostMessage(&n);
    }
    ASSERT_TRUE(log.WaitFor(52));
    auto entries = log.Entries();
    EXPECT_EQ(entries[0], "looper:first");
    EXPECT_EQ(entries[1], "looper:second");
    for (int i = 0; i < 50; i++)
        EXPECT_EQ(entries[size_t(i) + 2], "looper:" + std::to_string(i));
    quit(looper);
}

TEST(Looper, DeliversToTheNamedHandlerAndUnknownCodesReachTheBase)
{
    Log log;
    auto* looper = new TestLooper(log);
    TestHandler handler(log, "engine");
    looper->AddHandler(&handler);
    EXPECT_EQ(handler.Looper(), looper);
    EXPECT_EQ(handler.NextHandler(), looper);
    looper->Run();

    BMessage m = text("cmd");
    ASSERT_EQ(looper->PostMessage(&m, &handler), B_OK);
    BMessage unknown('unkn');
    ASSERT_EQ(looper->PostMessage(&unknown, &handler), B_OK);
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(log.Entries()[0], "engine:cmd");
    EXPECT_EQ(log.Entries()[1], "looper base") << "the handler's next handler is its looper";

    // A handler of no looper, or of another one, cannot be posted to.
    TestHandler stranger(log, "stranger");
    EXPECT_EQ(looper->PostMessage(&m, &stranger), B_MISMATCHED_VALUES);

    looper->Lock();
    EXPECT_TRUE(looper->RemoveHandler(&handler));
    looper->Unlock();
    EXPECT_EQ(handler.Looper(), nullptr);
    EXPECT_EQ(looper->PostMessage(&m, &handler), B_MISMATCHED_VALUES);
    quit(looper);
}

TEST(Looper, MessagesForARemovedHandlerAreDropped)
{
    Log log;
    auto* looper = new TestLooper(log);
    auto* handler = new TestHandler(log, "engine");
    looper->AddHandler(handler);
    looper->fToRemove = handler;
    looper->Run();
    // While the looper is busy, queue: remove-and-delete the handler, then
    // a message for it, then one for the looper.
    looper->PostMessage('wait');
    ASSERT_TRUE(log.WaitFor(1));
    BMessage m = text("late");
    looper->PostMessage('rmvh');
    ASSERT_EQ(looper->PostMessage(&m, handler), B_OK);
    BMessage after = text("after");
    looper->PostMessage(&after);
    looper->fRelease = true;
    ASSERT_TRUE(log.WaitFor(4));
    auto entries = log.Entries();
    EXPECT_EQ(entries[2], "removed");
    EXPECT_EQ(entries[3], "looper:after") << "the message for the deleted handler was dropped";
    quit(looper);
}

TEST(Looper, HoldsItsLockWhileDispatchingAndItIsRecursive)
{
    Log log;
    auto* looper = new TestLooper(log);
    EXPECT_TRUE(looper->IsLocked()) << "the creating thread holds the lock until Run";
    looper->Run();
    EXPECT_FALSE(looper->IsLocked());
    looper->PostMessage('lock');
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(log.Entries()[0], "locked");

    looper->PostMessage('wait');
    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(looper->LockWithTimeout(50000), B_TIMED_OUT);
    looper->fRelease = true;
    ASSERT_TRUE(log.WaitFor(3));
    ASSERT_TRUE(looper->Lock());
    ASSERT_TRUE(looper->Lock());
    EXPECT_EQ(looper->CountLocks(), 2);
    looper->Unlock();
    looper->Unlock();
    EXPECT_FALSE(looper->IsLocked());
    quit(looper);
}

TEST(Looper, QuitFromAnotherThreadWaitsAndDeletes)
{
    Log log;
    std::atomic<bool> deleted{false};
    auto* looper = new TestLooper(log, &deleted);
    BMessenger messenger(looper);
    looper->Run();
    BMessage m = text("before quit");
    looper->PostMessage(&m);
    ASSERT_TRUE(looper->Lock());
    looper->Quit();
    EXPECT_TRUE(deleted.load());
    EXPECT_EQ(log.Entries().size(), 1u) << "messages queued before Quit are handled";
    // A messenger to the dead looper refuses everything instead of crashing.
    EXPECT_FALSE(BLooper::_IsValid(looper));
    EXPECT_FALSE(messenger.LockTarget());
    EXPECT_EQ(messenger.SendMessage(&m), B_BAD_PORT_ID);
}

TEST(Looper, QuitFromItsOwnThreadAndQuitRequested)
{
    Log log;
    std::atomic<bool> deleted{false};
    auto* looper = new TestLooper(log, &deleted);
    BMessenger messenger(looper);
    looper->fAllowQuit = false;
    looper->Run();
    looper->PostMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(log.Entries()[0], "quit requested");
    EXPECT_FALSE(deleted.load()) << "QuitRequested said no";

    looper->PostMessage('quit');
    for (int i = 0; i < 1000 && !deleted.load(); i++)
        snooze(1000);
    EXPECT_TRUE(deleted.load());
    EXPECT_FALSE(messenger.IsValid());
    EXPECT_EQ(messenger.SendMessage('text'), B_BAD_PORT_ID);
    BPrivate::reap_looper_threads();
}

TEST(Looper, AQuitLooperWakesThreadsWaitingForItsLock)
{
    Log log;
    auto* looper = new TestLooper(log);
    looper->Run();
    looper->PostMessage('wtqt');
    ASSERT_TRUE(log.WaitFor(1));
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = looper->Lock() ? 1 : 0; });
    snooze(20000);
    looper->fRelease = true;
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    BPrivate::reap_looper_threads();
}

TEST(Looper, NeverRunLooperQuitsAtOnce)
{
    Log log;
    std::atomic<bool> deleted{false};
    auto* looper = new TestLooper(log, &deleted);
    looper->Quit(); // the creating thread still holds the lock
    EXPECT_TRUE(deleted.load());
}

namespace
{

class SkipFilter : public BMessageFilter
{
public:
    SkipFilter() : BMessageFilter(B_ANY_DELIVERY, B_ANY_SOURCE, 'text') {}
    filter_result Filter(BMessage* message, BHandler**) override
    {
        const char* t = message->GetString("text", "");
        return strcmp(t, "secret") == 0 ? B_SKIP_MESSAGE : B_DISPATCH_MESSAGE;
    }
};

class RetargetFilter : public BMessageFilter
{
public:
    explicit RetargetFilter(BHandler* to) : BMessageFilter('text'), fTo(to) {}
    filter_result Filter(BMessage* message, BHandler** target) override
    {
        if (strcmp(message->GetString("text", ""), "redirect") == 0)
            *target = fTo;
        return B_DISPATCH_MESSAGE;
    }

private:
    BHandler* fTo;
};

} // namespace

TEST(Looper, FiltersSkipOrPassAndMayRetarget)
{
    Log log;
    auto* looper = new TestLooper(log);
    auto* handler = new TestHandler(log, "engine");
    auto* other = new TestHandler(log, "other");
    looper->AddHandler(handler);
    looper->AddHandler(other);
    handler->AddFilter(new SkipFilter);
    looper->AddCommonFilter(new RetargetFilter(other));
    looper->Run();
    for (const char* t : {"secret", "visible", "redirect"}) {
        BMessage m = text(t);
        looper->PostMessage(&m, handler);
    }
    BMessage notText('othr');
    looper->PostMessage(&notText, handler); // filters for 'text' let it pass
    ASSERT_TRUE(log.WaitFor(3));
    auto entries = log.Entries();
    EXPECT_EQ(entries[0], "engine:visible");
    EXPECT_EQ(entries[1], "other:redirect");
    EXPECT_EQ(entries[2], "looper base");
    quit(looper);
    delete handler;
    delete other;
}

TEST(Looper, MessengerAndInvokerDeliverToTheirTarget)
{
    Log log;
    auto* looper = new TestLooper(log);
    auto* handler = new TestHandler(log, "view");
    looper->AddHandler(handler);
    looper->Run();

    status_t status;
    BMessenger toHandler(handler, nullptr, &status);
    ASSERT_EQ(status, B_OK);
    EXPECT_TRUE(toHandler.IsValid());
    BLooper* found = nullptr;
    EXPECT_EQ(toHandler.Target(&found), handler);
    EXPECT_EQ(found, looper);
    BMessage m = text("via messenger");
    EXPECT_EQ(toHandler.SendMessage(&m), B_OK);

    BInvoker invoker(new BMessage(text("model")), looper);
    EXPECT_EQ(invoker.Command(), uint32('text'));
    EXPECT_EQ(invoker.Invoke(), B_OK);
    EXPECT_EQ(invoker.Invoke(), B_OK);
    ASSERT_TRUE(log.WaitFor(3));
    auto entries = log.Entries();
    EXPECT_EQ(entries[0], "view:via messenger");
    EXPECT_EQ(entries[1], "looper:model");
    EXPECT_EQ(entries[2], "looper:model");

    // A target set before it joins a looper is found when invoked.
    TestHandler late(log, "late");
    BInvoker early(new BMessage(text("early")), &late);
    looper->Lock();
    looper->AddHandler(&late);
    looper->Unlock();
    EXPECT_EQ(early.Invoke(), B_OK);
    ASSERT_TRUE(log.WaitFor(4));
    EXPECT_EQ(log.Entries()[3], "late:early");

    BMessenger none(static_cast<BHandler*>(nullptr), nullptr, &status);
    EXPECT_NE(status, B_OK);
    EXPECT_FALSE(none.IsValid());
    EXPECT_EQ(none.SendMessage('text'), B_BAD_PORT_ID);
    BInvoker noTarget(new BMessage('x'), nullptr);
    EXPECT_NE(noTarget.Invoke(), B_OK);

    looper->Lock();
    looper->RemoveHandler(&late);
    looper->Unlock();
    quit(looper);
    EXPECT_EQ(toHandler.SendMessage(&m), B_BAD_PORT_ID);
    EXPECT_EQ(invoker.Invoke(), B_BAD_PORT_ID);
    delete handler;
}

TEST(Looper, PostingFromManyThreadsLosesNothing)
{
    Log log;
    auto* looper = new TestLooper(log);
    looper->Run();
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; t++) {
        posters.emplace_back([looper] {
            for (int i = 0; i < 250; i++) {
                BMessage m = text("x");
                looper->PostMessage(&m);
            }
        });
    }
    for (auto& poster : posters)
        poster.join();
    EXPECT_TRUE(log.WaitFor(1000));
    EXPECT_EQ(log.Entries().size(), 1000u);
    quit(looper);
}

TEST(Looper, AutolockLocksAndUnlocks)
{
    Log log;
    auto* looper = new TestLooper(log);
    looper->Run();
    {
        BAutolock lock(looper);
        EXPECT_TRUE(lock.IsLocked());
        EXPECT_TRUE(looper->IsLocked());
    }
    EXPECT_FALSE(looper->IsLocked());
    BLocker locker;
    {
        BAutolock lock(locker);
        EXPECT_TRUE(locker.IsLocked());
    }
    EXPECT_FALSE(locker.IsLocked());
    quit(looper);
}

namespace
{

bool readable(int fd)
{
    struct pollfd wait = {fd, POLLIN, 0};
    return poll(&wait, 1, 0) == 1;
}

// Waits until the backlog has counted out everything; false after 10 s.
bool drained(const BPrivate::Backlog& backlog, int32 to = 0)
{
    for (int i = 0; i < 10000 && backlog.Count() > to; i++)
        snooze(1000);
    return backlog.Count() == to;
}

} // namespace

// A message counts until its handler has returned, and the poster's
// descriptor turns readable once the count has fallen to the resume level.
TEST(Looper, ABacklogCountsMessagesUntilTheirHandlerReturns)
{
    Log log;
    auto* looper = new TestLooper(log);
    looper->Run();
    auto backlog = std::make_shared<BPrivate::Backlog>(3);
    ASSERT_GE(backlog->Descriptor(), 0);

    BMessage wait('wait');
    ASSERT_EQ(looper->_PostCounted(&wait, backlog), B_OK);
    for (int i = 0; i < 9; i++) {
        BMessage m = text("counted");
        ASSERT_EQ(looper->_PostCounted(&m, backlog), B_OK);
    }
    BMessage plain = text("plain");
    looper->PostMessage(&plain);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(backlog->Count(), 10) << "the message being handled still counts";

    backlog->Arm();
    EXPECT_FALSE(readable(backlog->Descriptor()));
    looper->fRelease = true;
    ASSERT_TRUE(log.WaitFor(12));
    EXPECT_TRUE(drained(*backlog));
    EXPECT_TRUE(readable(backlog->Descriptor()));
    // Arming again clears the signal that was used.
    backlog->Arm();
    EXPECT_FALSE(readable(backlog->Descriptor()));
    quit(looper);
}

// A poster must never wait for messages that will not be handled.
TEST(Looper, ABacklogCountsOutMessagesDroppedUnhandled)
{
    Log log;
    auto backlog = std::make_shared<BPrivate::Backlog>(0);

    // Behind a quit from the looper's own thread.
    std::atomic<bool> deleted{false};
    auto* quitting = new TestLooper(log, &deleted);
    quitting->Run();
    BMessage wait('wait');
    BMessage quitMessage('quit');
    quitting->_PostCounted(&wait, backlog);
    quitting->_PostCounted(&quitMessage, backlog);
    for (int i = 0; i < 5; i++) {
        BMessage m = text("never handled");
        quitting->_PostCounted(&m, backlog);
    }
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(backlog->Count(), 7);
    quitting->fRelease = true;
    for (int i = 0; i < 10000 && !deleted.load(); i++)
        snooze(1000);
    ASSERT_TRUE(deleted.load());
    EXPECT_TRUE(drained(*backlog));
    EXPECT_EQ(log.Entries().size(), 2u) << "waiting, released; nothing after the quit";
    BPrivate::reap_looper_threads();

    // In the queue of a looper deleted without ever running.
    auto* never = new TestLooper(log);
    std::shared_ptr<BPrivate::LooperPort> port = never->_Port();
    for (int i = 0; i < 3; i++) {
        BMessage m = text("queued");
        never->_PostCounted(&m, backlog);
    }
    EXPECT_EQ(backlog->Count(), 3);
    never->Quit();
    EXPECT_EQ(backlog->Count(), 0);

    // The port of a looper that is gone refuses the message and does not
    // count it.
    EXPECT_NE(BLooper::_PostToken(port, text("late"), 0, backlog), B_OK);
    EXPECT_EQ(backlog->Count(), 0);
}

// Input (what the display server sends) goes ahead of a backlog of posted
// messages, in its own order; behind a short queue it keeps its place, and
// input that came then is not overtaken by input that comes later.
TEST(Looper, InputGoesAheadOfABacklogAndEveryOrderIsKept)
{
    // What is sent while the looper is busy ("p" posted, "i" input, a
    // count each), and the order expected.
    struct Case {
        std::vector<std::pair<char, int>> sent;
        std::vector<std::pair<char, int>> expected;
    };
    std::vector<Case> cases = {
        {{{'p', 3}, {'i', 3}}, {{'p', 3}, {'i', 3}}},
        {{{'p', 200}, {'i', 3}}, {{'i', 3}, {'p', 200}}},
        // The first input waits behind 10: the second waits behind it.
        {{{'p', 10}, {'i', 1}, {'p', 100}, {'i', 1}}, {{'p', 10}, {'i', 1}, {'p', 100}, {'i', 1}}},
    };
    for (const Case& test : cases) {
        Log log;
        auto* looper = new TestLooper(log);
        looper->Run();
        BMessenger messenger(looper);
        BMessage wait('wait');
        looper->PostMessage(&wait);
        ASSERT_TRUE(log.WaitFor(1)); // the looper is busy from here on
        BMessage message('text');
        message.AddString("text", "");
        int posted = 0, input = 0;
        for (const auto& [kind, count] : test.sent) {
            for (int i = 0; i < count; i++) {
                if (kind == 'p') {
                    message.ReplaceString("text", ("posted " + std::to_string(posted++)).c_str());
                    looper->PostMessage(&message);
                } else {
                    message.ReplaceString("text", ("input " + std::to_string(input++)).c_str());
                    ASSERT_EQ(messenger._SendInput(&message), B_OK);
                }
            }
        }
        looper->fRelease = true;
        ASSERT_TRUE(log.WaitFor(size_t(2 + posted + input)));

        std::vector<std::string> expected = {"waiting", "released"};
        posted = input = 0;
        for (const auto& [kind, count] : test.expected) {
            for (int i = 0; i < count; i++) {
                expected.push_back(kind == 'p' ? "looper:posted " + std::to_string(posted++)
                                               : "looper:input " + std::to_string(input++));
            }
        }
        EXPECT_EQ(log.Entries(), expected);
        looper->Lock();
        looper->Quit();
    }
}
