// An application for tests of how it ends, run as a process of its own: a
// window, and marks on disk for each step of an orderly quit.
//
//   quit_child DIR [--hang-in-quit]
//
// Prints "ready" once it runs with its window shown. Writes DIR/app-quit
// in the application's QuitRequested(), DIR/window-quit in the window's,
// and DIR/after-run in main() once Run() has returned (where a program
// saves its settings). On the headless display.
//   --hang-in-quit   QuitRequested() never returns once it has written its mark.

#include <cstdio>
#include <cstring>
#include <string>

#include <Application.h>
#include <DisplayInit.h>
#include <Window.h>

namespace
{

std::string sDir;
bool sHangInQuit = false;

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

class QuitWindow : public BWindow
{
public:
    QuitWindow() : BWindow(BRect(40, 40, 240, 140), "Quit child", B_TITLED_WINDOW, 0) {}

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
        (new QuitWindow)->Show();
        Say("ready");
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
        fprintf(stderr, "usage: %s DIR [--hang-in-quit]\n", argv[0]);
        return 2;
    }
    sDir = argv[1];
    for (int i = 2; i < argc; i++)
        sHangInQuit |= strcmp(argv[i], "--hang-in-quit") == 0;
    BPrivate::use_headless_display();
    auto* app = new QuitApp;
    app->Run();
    Mark("after-run");
    delete app;
    return 0;
}
