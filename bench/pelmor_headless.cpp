// The whole client on the headless display, for the flood harness: the
// same steps as bench/run_pelmor.sh takes on Xvfb (Start, Connect, then
// "/JOIN #bench" or "/LIST" typed into the server window), with no X
// server and nothing shown. Twice a second it writes what it holds to a
// file, "listed <channels in the server window's list> windows <count>",
// so that the run can check that every listed channel arrived.
//
// Usage: pelmor_headless HOST:PORT chan|list|mixed COUNT_FILE [debug]
// With "debug" the debug window is open throughout (Window > Debug).
// The settings go to $XDG_CONFIG_HOME, as the program's own do.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <InterfaceDefs.h>
#include <ListView.h>
#include <Looper.h>
#include <Messenger.h>
#include <Window.h>

#include <IrcCodes.h>
#include <Prefs.h>
#include <TestDriver.h>

#include "IRCApp.h"

namespace
{

int32 listed_channels(TestDriver& driver, BWindow* server)
{
    if (BLooper::_LockLooper(server, 1000000) != B_OK)
        return -1;
    auto* list = dynamic_cast<BListView*>(driver.FindView(server, "channel_list"));
    int32 count = list != nullptr ? list->CountItems() : -1;
    server->Unlock();
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && !(argc == 5 && strcmp(argv[4], "debug") == 0)) {
        fprintf(stderr, "usage: %s HOST:PORT chan|list|mixed COUNT_FILE [debug]\n", argv[0]);
        return 2;
    }
    const std::string scenario = argv[2];
    {
        Prefs prefs("Pelmor settings", "Pelmor");
        prefs.Lock();
        prefs.GetMsg()->RemoveName("default_server");
        prefs.GetMsg()->AddString("default_server", argv[1]);
        prefs.Unlock();
    }
    TestDriver driver([] { return new IRCApp(); });
    BWindow* main = driver.FindWindow("Pelmor");
    if (main == nullptr)
        return 1;
    if (argc == 5) {
        BMessenger(driver.FindView(main, "MainView")).SendMessage(MSG_3000);
        if (driver.FindWindow("Debug") == nullptr)
            return 1;
    }
    driver.Click(driver.FindView(main, "Start"));
    BWindow* server = driver.FindWindow("Server");
    if (server == nullptr)
        return 1;
    driver.WaitIdle();
    driver.Click(driver.FindView(server, "Connect"));
    // As the Xvfb run: a second for the connection and registration.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    driver.Click(driver.FindView(server, "message"));
    driver.Type(scenario == "list" ? "/LIST" : "/JOIN #bench");
    driver.Key(B_ENTER);

    // Until the harness ends us.
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const std::string temporary = std::string(argv[3]) + ".tmp";
        if (FILE* file = fopen(temporary.c_str(), "w")) {
            fprintf(file, "listed %d windows %zu\n", int(listed_channels(driver, server)),
                    driver.Windows().size());
            fclose(file);
            rename(temporary.c_str(), argv[3]);
        }
    }
}
