#include "Application.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "AppDefs.h"
#include "MainThread.h"
#include "QuitSignals.h"

BApplication* be_app = nullptr;
BMessenger be_app_messenger;

namespace BPrivate
{

bool (*gWindowsQuitRequested)() = nullptr;

namespace
{
// How often a quitting application, waiting for a window's lock, looks for
// menus that window may have opened.
const bigtime_t kMenuCheck = 50000;

// Never destroyed, like the list of loopers.
struct WindowEntry {
    BWindow* window;
    BLooper* looper;
    bool popup;
};
std::mutex& sWindowsLock = *new std::mutex;
std::vector<WindowEntry>& sWindows = *new std::vector<WindowEntry>;

std::vector<WindowEntry> window_entries()
{
    std::lock_guard<std::mutex> lock(sWindowsLock);
    return sWindows;
}
} // namespace

void register_window(BWindow* window, BLooper* looper, bool popup)
{
    std::lock_guard<std::mutex> lock(sWindowsLock);
    sWindows.push_back(WindowEntry{window, looper, popup});
}

void unregister_window(BWindow* window)
{
    std::lock_guard<std::mutex> lock(sWindowsLock);
    sWindows.erase(std::remove_if(sWindows.begin(), sWindows.end(),
                                  [window](const WindowEntry& e) { return e.window == window; }),
                   sWindows.end());
}

std::vector<BWindow*> windows()
{
    std::vector<BWindow*> all;
    for (const WindowEntry& entry : window_entries())
        all.push_back(entry.window);
    return all;
}

void quit_popup_windows()
{
    // Menu windows never wait for another window, so locking them is safe.
    for (const WindowEntry& entry : window_entries()) {
        if (entry.popup && BLooper::_LockLooper(entry.looper, B_INFINITE_TIMEOUT) == B_OK)
            entry.looper->Quit();
    }
}

status_t lock_quitting_menus(BLooper* looper)
{
    for (;;) {
        status_t status = BLooper::_LockLooper(looper, kMenuCheck);
        if (status != B_TIMED_OUT)
            return status;
        quit_popup_windows();
    }
}

void quit_and_exit_from_main_thread()
{
    BApplication* app = be_app;
    if (app == nullptr || !app->IsRunning() || !is_main_thread())
        return;
    abandon_running_main_thread_tasks();
    be_app_messenger.SendMessage(B_QUIT_REQUESTED);
    serve_main_thread_tasks([app] { return app->fFinished.load(); });
    // As Run() would: every thread of the program is joined.
    wait_for_thread(app->Thread(), nullptr);
    reap_looper_threads();
    exit(0);
}

} // namespace BPrivate

BApplication::BApplication(const char* signature) : BApplication(signature, nullptr) {}

BApplication::BApplication(const char* signature, status_t* error)
    : BLooper("application"), fSignature(signature != nullptr ? signature : ""), fInitError(B_OK),
      fFinished(false)
{
    _SetDeleteOnQuit(false);
    if (be_app != nullptr) {
        fprintf(stderr, "BApplication: an application object exists already\n");
        fInitError = B_NOT_ALLOWED;
    } else {
        be_app = this;
        be_app_messenger = BMessenger(this);
        BPrivate::set_main_thread();
        BPrivate::watch_quit_signals(be_app_messenger);
    }
    if (error != nullptr)
        *error = fInitError;
}

BApplication::~BApplication()
{
    if (be_app == this) {
        BPrivate::unwatch_quit_signals();
        be_app = nullptr;
        be_app_messenger = BMessenger();
    }
}

thread_id BApplication::Run()
{
    if (fInitError != B_OK || IsRunning())
        return B_BAD_THREAD_STATE;
    fFinished = false;
    // The loop counts as running before the application's thread starts,
    // so that what ReadyToRun sends to the main thread waits for it.
    BPrivate::begin_main_loop();
    thread_id thread = _StartThread(_AppThread);
    if (thread < 0) {
        BPrivate::end_main_loop();
        return thread;
    }
    BPrivate::run_main_loop([this] { return fFinished.load(); });
    BPrivate::end_main_loop();
    wait_for_thread(thread, nullptr);
    BPrivate::reap_looper_threads();
    fThread = 0;
    return thread;
}

int32 BApplication::_AppThread(void* application)
{
    auto* app = static_cast<BApplication*>(application);
    if (app->Lock()) {
        app->ReadyToRun();
        app->Unlock();
    }
    app->_Loop();
    // The windows go before Run() returns, while the main thread still
    // serves them.
    app->QuitOtherLoopers();
    app->fFinished = true;
    BPrivate::wake_main_thread();
    return 0;
}

void BApplication::QuitOtherLoopers()
{
    BPrivate::quit_popup_windows();
    for (BLooper* looper : BLooper::_AllLoopers()) {
        // A looper may have taken another down meanwhile: lock through the
        // list, which knows.
        if (looper != this && BPrivate::lock_quitting_menus(looper) == B_OK)
            looper->Quit();
    }
    BPrivate::reap_looper_threads();
}

void BApplication::Quit()
{
    if (!IsRunning())
        return; // nothing runs yet; the object belongs to main()
    if (find_thread(nullptr) == Thread()) {
        _EndLoop();
        return;
    }
    // From another thread: the loop ends by itself and Run() returns; we
    // do not wait, as the caller may be the main thread that Run() needs.
    _PostQuit();
    _ReleaseAllLocks();
}

bool BApplication::QuitRequested()
{
    if (BPrivate::gWindowsQuitRequested != nullptr)
        return BPrivate::gWindowsQuitRequested();
    return true;
}

void BApplication::ReadyToRun() {}

void BApplication::AboutRequested() {}

void BApplication::Pulse() {}

void BApplication::DispatchMessage(BMessage* message, BHandler* handler)
{
    if (handler == this) {
        switch (message->what) {
        case B_ABOUT_REQUESTED:
            AboutRequested();
            return;
        case B_READY_TO_RUN:
            ReadyToRun();
            return;
        case B_PULSE:
            Pulse();
            return;
        default:
            break;
        }
    }
    BLooper::DispatchMessage(message, handler);
}

int32 BApplication::CountWindows() const
{
    int32 count = 0;
    for (const auto& entry : BPrivate::window_entries())
        count += entry.popup ? 0 : 1;
    return count;
}

BWindow* BApplication::WindowAt(int32 index) const
{
    for (const auto& entry : BPrivate::window_entries()) {
        if (entry.popup)
            continue;
        if (index-- == 0)
            return entry.window;
    }
    return nullptr;
}

void BApplication::MessageReceived(BMessage* message)
{
    BLooper::MessageReceived(message);
}
