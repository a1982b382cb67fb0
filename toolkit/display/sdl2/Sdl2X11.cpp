#include "Sdl2X11.h"

#if PELMOR_SDL2_XLIB
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xresource.h>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#endif

namespace BPrivate::Sdl2
{

#if PELMOR_SDL2_XLIB

void* x11_display(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return nullptr;
    return info.info.x11.display;
}

bool x11_query_pointer(void* display, int* x, int* y, unsigned* buttons)
{
    Display* xdisplay = static_cast<Display*>(display);
    if (xdisplay == nullptr)
        return false;
    ::Window root, child;
    int rootX, rootY, windowX, windowY;
    unsigned mask = 0;
    // False only when the pointer is on another screen of the display.
    if (!XQueryPointer(xdisplay, DefaultRootWindow(xdisplay), &root, &child, &rootX, &rootY,
                       &windowX, &windowY, &mask))
        return false;
    *x = rootX;
    *y = rootY;
    *buttons = ((mask & Button1Mask) ? 1 : 0) | ((mask & Button3Mask) ? 2 : 0) |
               ((mask & Button2Mask) ? 4 : 0);
    return true;
}

bool x11_xsettings(void* display, XSettingsValues* values)
{
    Display* xdisplay = static_cast<Display*>(display);
    if (xdisplay == nullptr)
        return false;
    char selectionName[32];
    snprintf(selectionName, sizeof(selectionName), "_XSETTINGS_S%d", DefaultScreen(xdisplay));
    Atom selection = XInternAtom(xdisplay, selectionName, False);
    Atom property = XInternAtom(xdisplay, "_XSETTINGS_SETTINGS", False);
    ::Window owner = XGetSelectionOwner(xdisplay, selection);
    if (owner == 0)
        return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // The owner may go meanwhile: the error handler lets that pass, and
    // the call then fails.
    if (XGetWindowProperty(xdisplay, owner, property, 0, 65536, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) != Success ||
        data == nullptr)
        return false;
    bool parsed = format == 8 && parse_xsettings(data, count, values);
    XFree(data);
    return parsed;
}

double x11_xft_dpi(void* display)
{
    Display* xdisplay = static_cast<Display*>(display);
    return xdisplay != nullptr ? xft_dpi_in(XResourceManagerString(xdisplay)) : 0;
}

double xft_dpi_in(const char* resources)
{
    if (resources == nullptr)
        return 0;
    // Xrm knows the format's rules (comments, continued lines, the last of
    // several entries winning), so it reads the string, not we.
    XrmInitialize();
    XrmDatabase database = XrmGetStringDatabase(resources);
    if (database == nullptr)
        return 0;
    char* type = nullptr;
    XrmValue value{};
    double dpi = 0;
    if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
        std::string text(value.addr, value.size);
        char* end = nullptr;
        dpi = strtod(text.c_str(), &end);
        if (end == text.c_str() || !std::isfinite(dpi) || dpi < 0)
            dpi = 0;
    }
    XrmDestroyDatabase(database);
    return dpi;
}

namespace
{

int tolerant_error_handler(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow && error->request_code == X_SendEvent)
        return 0;
    // An XSETTINGS manager that went between two requests.
    if (error->error_code == BadWindow && error->request_code == X_GetProperty)
        return 0;
    char text[160];
    XGetErrorText(display, error->error_code, text, sizeof(text));
    fprintf(stderr, "X error: %s (request %d.%d, resource 0x%lx)\n", text, int(error->request_code),
            int(error->minor_code), error->resourceid);
    return 0;
}

} // namespace

void x11_tolerate_errors()
{
    XSetErrorHandler(tolerant_error_handler);
}

int x11_connection(void* display)
{
    return display != nullptr ? ConnectionNumber(static_cast<Display*>(display)) : -1;
}

int x11_pending(void* display)
{
    return display != nullptr ? XPending(static_cast<Display*>(display)) : 0;
}

namespace
{

std::atomic<void (*)(void*)> sBroken{nullptr};
std::atomic<XIOErrorHandler> sPreviousIOHandler{nullptr};

int broken_connection_handler(Display* display)
{
    if (void (*broken)(void*) = sBroken.load())
        broken(display);
    if (XIOErrorHandler previous = sPreviousIOHandler.load())
        return previous(display);
    exit(1);
}

} // namespace

void x11_on_broken_connection(void (*broken)(void* display))
{
    static std::once_flag installed;
    sBroken = broken;
    std::call_once(installed,
                   [] { sPreviousIOHandler = XSetIOErrorHandler(broken_connection_handler); });
}

#else

void* x11_display(SDL_Window*)
{
    return nullptr;
}

bool x11_query_pointer(void*, int*, int*, unsigned*)
{
    return false;
}

bool x11_xsettings(void*, XSettingsValues*)
{
    return false;
}

double x11_xft_dpi(void*)
{
    return 0;
}

double xft_dpi_in(const char*)
{
    return 0;
}

void x11_tolerate_errors() {}

int x11_connection(void*)
{
    return -1;
}

int x11_pending(void*)
{
    return 0;
}

void x11_on_broken_connection(void (*)(void*)) {}

#endif

} // namespace BPrivate::Sdl2
