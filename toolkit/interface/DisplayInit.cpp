#include "DisplayInit.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include <DisplayServer.h>
#include <MainThread.h>

namespace BPrivate
{

namespace
{
std::mutex sLock;
bool sHeadless = false;
int32 sHeadlessScale = 1;
} // namespace

void use_headless_display(int32 scale)
{
    std::lock_guard<std::mutex> lock(sLock);
    sHeadless = true;
    sHeadlessScale = scale;
}

DisplayServer* display()
{
    if (DisplayServer* server = DisplayServer::Get())
        return server;
    std::lock_guard<std::mutex> lock(sLock);
    if (DisplayServer* server = DisplayServer::Get())
        return server;
    DisplayBackend* backend = nullptr;
    std::string error;
    // SDL wants its windows and events on the main thread.
    call_on_main_thread([&] {
        backend = sHeadless ? create_headless_backend(sHeadlessScale) : create_sdl2_backend(&error);
    });
    if (backend == nullptr) {
        fprintf(stderr, "Pelmor: %s\n", error.empty() ? "cannot open a display" : error.c_str());
        exit(1);
    }
    return DisplayServer::Install(backend);
}

} // namespace BPrivate
