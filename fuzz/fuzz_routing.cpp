// Random 'irc' messages through the routing of a server window and of a
// channel and a private window of it (headless, disconnected): codes,
// commands, senders and parameters of any shape, with or without each
// field. Nothing may crash, and the windows must keep answering.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <Autolock.h>
#include <TestDriver.h>
#include <Window.h>

#include <IrcCodes.h>

#include "ChatWindow.h"
#include "IRCApp.h"
#include "PrivatWindow.h"
#include "ServerWindow.h"
#include "TestDir.h"

namespace
{

const char* const kCommands[] = {"PRIVMSG", "NOTICE", "JOIN",  "PART", "QUIT", "NICK",
                                 "KICK",    "MODE",   "TOPIC", "433",  "001",  "ERROR"};
const int16 kCodes[] = {0, 1, 4, 5, 302, 315, 321, 322, 323, 332, 353, 366, 372, 421, 433, 999};

struct Input {
    const uint8_t* at;
    const uint8_t* end;
    uint8_t Byte() { return at < end ? *at++ : 0; }
    std::string Text()
    {
        size_t wanted = Byte();
        size_t length = std::min<size_t>(wanted, size_t(end - at));
        std::string text(reinterpret_cast<const char*>(at), length);
        at += length;
        // Messages carry C strings: the text ends at its first NUL.
        return text.substr(0, text.find('\0'));
    }
};

struct Fixture {
    TestDir config;
    std::unique_ptr<TestDriver> driver;
    ServerWindow* server = nullptr;
    BWindow* windows[3] = {};

    Fixture()
    {
        config.UseAsConfigHome();
        driver = std::make_unique<TestDriver>([] { return new IRCApp(); });
        BWindow* main = driver->FindWindow("Pelmor");
        driver->Click(driver->FindView(main, "Start"));
        server = dynamic_cast<ServerWindow*>(driver->FindWindow("Server"));
        if (server == nullptr)
            abort();
        {
            // As the server window's own thread would make them.
            BAutolock lock(server);
            windows[0] = server;
            windows[1] = new ChatWindow(server, "#a");
            windows[2] = new PrivatWindow(server, "bob");
        }
        driver->WaitIdle();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Fixture fixture;
    static int runs = 0;
    Input in{data, data + size};
    BMessage message(MSG_IRC);
    uint8_t fields = in.Byte();
    if (fields & 1)
        message.AddInt16("code", (fields & 16) ? kCodes[in.Byte() % 16]
                                               : int16(in.Byte() << 8 | in.Byte()));
    if (fields & 2) {
        std::string command = (fields & 32) ? kCommands[in.Byte() % 12] : in.Text();
        message.AddString("command", command.c_str());
    }
    if (fields & 4)
        message.AddString("from", (fields & 64) ? "bob" : in.Text().c_str());
    std::string params = in.Text();
    if (fields & 128)
        params = "#a " + params;
    if (fields & 8)
        message.AddString("params", params.c_str());
    // Through each window's own loop, as the server window forwards.
    for (BWindow* window : fixture.windows)
        window->PostMessage(&message);
    if (++runs % 64 == 0 && !fixture.driver->WaitIdle(20000000))
        abort();
    return 0;
}
