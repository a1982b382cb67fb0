// An application for tests of how it ends, run as a process of its own: a
// window, and marks on disk for each step of an orderly quit.
//
//   quit_child DIR [--desktop] [--hang-in-quit] [--xlib-in-task]
//
// Prints "ready" once it runs with its window shown and the display
// server has had nothing to do for half a second (on a desktop the main
// thread then waits for the X server, out of Xlib). Writes DIR/app-quit
// in the application's QuitRequested(), DIR/window-quit in the window's,
// and DIR/after-run in main() once Run() has returned (where a program
// saves its settings). On the headless display unless --desktop.
//   --hang-in-quit   QuitRequested() never returns once it has written its mark.
//   --xlib-in-task   the window's thread has the main thread wait for the X
//                    server to hang up and then call Xlib on the dead
//                    connection, as if the server had gone in the middle of
//                    a call; prints "in-task" once the main thread waits.

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>
#include <thread>

#include <Application.h>
#include <DisplayInit.h>
#include <DisplayServer.h>
#include <MainThread.h>
#include <Sdl2Backend.h>
#include <Window.h>

// Last: its macros (CursorShape, None ...) would break the toolkit's names.
#include <X11/Xlib.h>

// SDL looks for a session bus when it starts; libdbus keeps a buffer from
// the failed attempt for the life of the process.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n";
}

namespace
{

std::string sDir;
bool sHangInQuit = false;
bool sXlibInTask = false;

void Mark(const char* name)
{
    std::string path = sDir + "/" + name;
    if (FILE* file = fopen(path.c_str(), "w")) {
        fputs(name, file);
        fclose(file);
    }
}

void Say(const char* line)
{
    printf("%s\n", line);
    fflush(stdout);
}

// Until the display server has been idle for `quiet` microseconds on end.
void WaitForQuiet(bigtime_t quiet)
{
    BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get();
    for (bigtime_t since = system_time();; snooze(10000)) {
        if (!server->IsIdle())
            since = system_time();
        else if (system_time() - since >= quiet)
            return;
    }
}

void CallXlibAfterHangUp()
{
    // The window on the X server first.
    WaitForQuiet(0);
    BPrivate::DisplayServer* server = BPrivate::DisplayServer::Get();
    auto* backend = static_cast<BPrivate::Sdl2Backend*>(server->Backend());
    Display* display = static_cast<Display*>(backend->XDisplay());
    BPrivate::call_on_main_thread([display] {
        Say("in-task");
        struct pollfd p = {ConnectionNumber(display), POLLRDHUP, 0};
        poll(&p, 1, 30000);
        XSync(display, False);
        Say("Xlib came back");
    });
}

const uint32 kCallXlib = 'xlib';

class QuitWindow : public BWindow
{
public:
    QuitWindow() : BWindow(BRect(40, 40, 240, 140), "Quit child", B_TITLED_WINDOW, 0) {}

    void MessageReceived(BMessage* message) override
    {
        // The window stays locked meanwhile, so the application cannot quit
        // it unless the call comes back.
        if (message->what == kCallXlib)
            CallXlibAfterHangUp();
        else
            BWindow::MessageReceived(message);
    }

    bool QuitRequested() override
    {
        Mark("window-quit");
        return true;
    }
};

class QuitApp : public BApplication
{
public:
    QuitApp() : BApplication("application/x-vnd.pelmor-quit-child") {}

    void ReadyToRun() override
    {
        auto* window = new QuitWindow;
        window->Show();
        if (sXlibInTask) {
            window->PostMessage(kCallXlib);
            return;
        }
        std::thread([] {
            WaitForQuiet(500000);
            Say("ready");
        }).detach();
    }

    bool QuitRequested() override
    {
        Mark("app-quit");
        while (sHangInQuit)
            snooze(100000);
        return BApplication::QuitRequested();
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s DIR [--desktop] [--hang-in-quit] [--xlib-in-task]\n", argv[0]);
        return 2;
    }
    sDir = argv[1];
    bool desktop = false;
    for (int i = 2; i < argc; i++) {
        desktop |= strcmp(argv[i], "--desktop") == 0;
        sHangInQuit |= strcmp(argv[i], "--hang-in-quit") == 0;
        sXlibInTask |= strcmp(argv[i], "--xlib-in-task") == 0;
    }
    if (!desktop)
        BPrivate::use_headless_display();
    auto* app = new QuitApp;
    app->Run();
    Mark("after-run");
    delete app;
    return 0;
}
