#pragma once

// The application object. Run() starts the application's message loop on
// a thread of its own and keeps the calling (main) thread in the main loop
// (MainThread.h), where the display backend handles native events. Run()
// returns once the application has quit; by then every other looper has
// been asked to quit and its thread has ended.

#include <string>
#include <vector>

#include "Looper.h"
#include "Messenger.h"

class BWindow;

namespace BPrivate
{
void quit_and_exit_from_main_thread();
}

class BApplication : public BLooper
{
public:
    explicit BApplication(const char* signature);
    BApplication(const char* signature, status_t* error);
    ~BApplication() override;

    status_t InitCheck() const { return fInitError; }
    const char* Signature() const { return fSignature.c_str(); }

    thread_id Run() override;
    void Quit() override;
    // The default asks each window; it is true when all agree.
    bool QuitRequested() override;
    virtual void ReadyToRun();
    virtual void AboutRequested();
    virtual void Pulse();

    void DispatchMessage(BMessage* message, BHandler* handler) override;
    void MessageReceived(BMessage* message) override;

    // The open windows, in the order they were made.
    int32 CountWindows() const;
    BWindow* WindowAt(int32 index) const;

private:
    friend void BPrivate::quit_and_exit_from_main_thread();

    static int32 _AppThread(void* application);
    void QuitOtherLoopers();

    std::string fSignature;
    status_t fInitError;
    std::atomic<bool> fFinished;
};

extern BApplication* be_app;
extern BMessenger be_app_messenger;

namespace BPrivate
{
// The interface kit's answer to "may the application quit?" (asks the
// windows); absent, the answer is yes.
extern bool (*gWindowsQuitRequested)();
// The interface kit keeps the application's list of windows up to date.
// Pop-up windows (menus) are listed but not counted by CountWindows and
// WindowAt, and they are quit first when the application ends.
void register_window(BWindow* window, BLooper* looper, bool popup);
void unregister_window(BWindow* window);
std::vector<BWindow*> windows();
// Quits every pop-up window there is. A window waiting in a menu's Go()
// holds its lock until the menu goes, so the application, when it quits,
// quits the menus before it locks any other window.
void quit_popup_windows();
// Locks a looper for the quitting application, quitting the menus that
// show meanwhile: the looper may wait for one it opened after the others
// went. B_OK, or an error when the looper is gone.
status_t lock_quitting_menus(BLooper* looper);
// For a display connection that broke inside a native call that must not
// return (Xlib's I/O error handler): the main thread can never go back to
// its loop. On the main thread of a running application it asks the
// application to quit, serves the calls other threads make to the main
// thread until the application's thread has ended (calls it was running
// when the connection broke return to their callers unfinished), and ends
// the process with exit(0): QuitRequested() and the windows' quitting have
// run, but Run() does not return. Anywhere else it returns at once, and the
// caller ends the process its own way.
void quit_and_exit_from_main_thread();
} // namespace BPrivate
