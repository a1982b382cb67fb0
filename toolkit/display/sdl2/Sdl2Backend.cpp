#include "Sdl2Backend.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <Application.h>
#include <OS.h>

#include "Sdl2Keys.h"
#include "Sdl2X11.h"

namespace BPrivate
{

using namespace Sdl2;

namespace
{

// SDL's event queue and video state are global: a second backend would
// take the first one's events.
std::atomic<bool> sRunning{false};
// The running backend, for Xlib's I/O error handler.
std::atomic<Sdl2Backend*> sLive{nullptr};
// SDL cannot be shut down once its display connection is lost (every way
// out goes through Xlib), nor started again: it would keep the dead one.
std::atomic<bool> sDisplayLost{false};

// X11 positions are 16-bit; sides beyond this make surfaces of gigabytes.
const int32 kMaxCoordinate = 30000;
const int32 kMaxSide = 16384;

// A focus change within this long of showing a pop-up is the pop-up's doing.
const bigtime_t kPopupFocusTime = 1000000;
// How long the desktop's double-click settings are used before they are
// asked for again (they change rarely; asking costs a round trip).
const bigtime_t kClickSettingsAge = 2000000;
// How long a focus loss waits for the pop-up that may have caused it.
const bigtime_t kHeldLossTime = 500000;
// Pointer polling while a drag is outside its window.
const bigtime_t kDragPollInterval = 15000;
// SDL_WaitEventTimeout takes an int of milliseconds; longer waits loop.
const bigtime_t kLongestSlice = 600000000;
// Events handled in one go, so a flood cannot keep WaitEvents from returning.
const int kMaxDrain = 4096;
// The helper window's side: large enough that its size in pixels shows
// the desktop's scale.
const int kProbeSide = 16;
// From this Xft.dpi on, X11 desktops draw at twice the pixels (144 is what
// desktops set for 150%; 1 or 2 is all the toolkit does).
const double kHighDpi = 144;

const Uint32 kSourceFormat = SDL_PIXELFORMAT_BGRA32; // cairo's ARGB32 in memory
const Uint32 kSourceFormatOpaque =
    SDL_BYTEORDER == SDL_LIL_ENDIAN ? SDL_PIXELFORMAT_XRGB8888 : SDL_PIXELFORMAT_BGRX8888;

int32 Clamp(int32 value, int32 low, int32 high)
{
    return std::min(std::max(value, low), high);
}

bool Unset(const char* name)
{
    const char* value = getenv(name);
    return value == nullptr || *value == '\0';
}

uint32 ButtonBit(Uint8 button)
{
    switch (button) {
    case SDL_BUTTON_LEFT:
        return 1;
    case SDL_BUTTON_RIGHT:
        return 2;
    case SDL_BUTTON_MIDDLE:
        return 4;
    }
    return 0;
}

uint32 ButtonsOf(Uint32 sdlMask)
{
    return ((sdlMask & SDL_BUTTON_LMASK) ? 1 : 0) | ((sdlMask & SDL_BUTTON_RMASK) ? 2 : 0) |
           ((sdlMask & SDL_BUTTON_MMASK) ? 4 : 0);
}

// On Linux Ctrl is the command key, so that Ctrl+Q is Command-Q; Super, the
// key with the flag, is the control key.
uint32 Modifiers(Uint16 mod)
{
    uint32 modifiers = 0;
    if (mod & KMOD_LSHIFT)
        modifiers |= B_SHIFT_KEY | B_LEFT_SHIFT_KEY;
    if (mod & KMOD_RSHIFT)
        modifiers |= B_SHIFT_KEY | B_RIGHT_SHIFT_KEY;
    if (mod & KMOD_LCTRL)
        modifiers |= B_COMMAND_KEY | B_LEFT_COMMAND_KEY;
    if (mod & KMOD_RCTRL)
        modifiers |= B_COMMAND_KEY | B_RIGHT_COMMAND_KEY;
    if (mod & KMOD_LALT)
        modifiers |= B_OPTION_KEY | B_LEFT_OPTION_KEY;
    if (mod & KMOD_RALT)
        modifiers |= B_OPTION_KEY | B_RIGHT_OPTION_KEY;
    if (mod & KMOD_LGUI)
        modifiers |= B_CONTROL_KEY | B_LEFT_CONTROL_KEY;
    if (mod & KMOD_RGUI)
        modifiers |= B_CONTROL_KEY | B_RIGHT_CONTROL_KEY;
    if (mod & KMOD_CAPS)
        modifiers |= B_CAPS_LOCK;
    if (mod & KMOD_NUM)
        modifiers |= B_NUM_LOCK;
    if (mod & KMOD_SCROLL)
        modifiers |= B_SCROLL_LOCK;
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    if (keys != nullptr && count > SDL_SCANCODE_APPLICATION && keys[SDL_SCANCODE_APPLICATION])
        modifiers |= B_MENU_KEY;
    return modifiers;
}

// Keys that only change the modifiers: the server hears of them with the
// next event, not as keys of their own.
bool IsModifierKey(SDL_Scancode scancode)
{
    return (scancode >= SDL_SCANCODE_LCTRL && scancode <= SDL_SCANCODE_RGUI) ||
           scancode == SDL_SCANCODE_CAPSLOCK || scancode == SDL_SCANCODE_NUMLOCKCLEAR ||
           scancode == SDL_SCANCODE_SCROLLLOCK || scancode == SDL_SCANCODE_MODE ||
           scancode == SDL_SCANCODE_APPLICATION;
}

// The byte of a key that never has text, or 0.
char ControlByte(const SDL_Keysym& keysym)
{
    switch (keysym.sym) {
    case SDLK_BACKSPACE:
        return B_BACKSPACE;
    case SDLK_TAB:
        return B_TAB;
    case SDLK_RETURN:
    case SDLK_RETURN2:
    case SDLK_KP_ENTER:
        return B_ENTER;
    case SDLK_ESCAPE:
        return B_ESCAPE;
    case SDLK_LEFT:
        return B_LEFT_ARROW;
    case SDLK_RIGHT:
        return B_RIGHT_ARROW;
    case SDLK_UP:
        return B_UP_ARROW;
    case SDLK_DOWN:
        return B_DOWN_ARROW;
    case SDLK_INSERT:
        return B_INSERT;
    case SDLK_DELETE:
        return B_DELETE;
    case SDLK_HOME:
        return B_HOME;
    case SDLK_END:
        return B_END;
    case SDLK_PAGEUP:
        return B_PAGE_UP;
    case SDLK_PAGEDOWN:
        return B_PAGE_DOWN;
    }
    if (keysym.sym >= SDLK_F1 && keysym.sym <= SDLK_F12)
        return B_FUNCTION_KEY;
    // Without Num Lock the keypad moves the cursor.
    if (!(keysym.mod & KMOD_NUM)) {
        switch (keysym.scancode) {
        case SDL_SCANCODE_KP_4:
            return B_LEFT_ARROW;
        case SDL_SCANCODE_KP_6:
            return B_RIGHT_ARROW;
        case SDL_SCANCODE_KP_8:
            return B_UP_ARROW;
        case SDL_SCANCODE_KP_2:
            return B_DOWN_ARROW;
        case SDL_SCANCODE_KP_7:
            return B_HOME;
        case SDL_SCANCODE_KP_1:
            return B_END;
        case SDL_SCANCODE_KP_9:
            return B_PAGE_UP;
        case SDL_SCANCODE_KP_3:
            return B_PAGE_DOWN;
        case SDL_SCANCODE_KP_0:
            return B_INSERT;
        case SDL_SCANCODE_KP_PERIOD:
            return B_DELETE;
        default:
            break;
        }
    }
    return 0;
}

// The "key" of a key down: the function key's number for F1 to F12, so
// that the toolkit can tell them apart; SDL's scancode for every other key.
int32 KeyCode(const SDL_Keysym& keysym)
{
    if (keysym.sym >= SDLK_F1 && keysym.sym <= SDLK_F12)
        return B_F1_KEY + int32(keysym.sym - SDLK_F1);
    return keysym.scancode;
}

std::string Utf8(uint32 c)
{
    std::string out;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xc0 | (c >> 6));
        out += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += char(0xe0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    } else {
        out += char(0xf0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3f));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    }
    return out;
}

// The length of the well-formed UTF-8 character at `text`, or 0.
size_t CharLength(const char* text, size_t available)
{
    const uint8* s = reinterpret_cast<const uint8*>(text);
    uint8 lead = s[0];
    size_t length;
    uint8 low = 0x80, high = 0xbf; // the range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0; // overlong
        else if (lead == 0xed)
            high = 0x9f; // surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f; // beyond U+10FFFF
    } else {
        return 0;
    }
    if (available < length || s[1] < low || s[1] > high)
        return 0;
    for (size_t i = 2; i < length; i++)
        if ((s[i] & 0xc0) != 0x80)
            return 0;
    return length;
}

// What a key gives when no text comes with it: its control byte, or the
// character on it without Shift (Ctrl+Q gives "q").
std::string KeyBytes(const SDL_Keysym& keysym)
{
    if (char byte = ControlByte(keysym))
        return std::string(1, byte);
    SDL_Keycode sym = keysym.sym;
    if (sym & SDLK_SCANCODE_MASK) {
        switch (keysym.scancode) {
        case SDL_SCANCODE_KP_DIVIDE:
            return "/";
        case SDL_SCANCODE_KP_MULTIPLY:
            return "*";
        case SDL_SCANCODE_KP_MINUS:
            return "-";
        case SDL_SCANCODE_KP_PLUS:
            return "+";
        case SDL_SCANCODE_KP_EQUALS:
            return "=";
        case SDL_SCANCODE_KP_PERIOD:
            return ".";
        case SDL_SCANCODE_KP_0:
            return "0";
        default:
            break;
        }
        if (keysym.scancode >= SDL_SCANCODE_KP_1 && keysym.scancode <= SDL_SCANCODE_KP_9)
            return std::string(1, char('1' + (keysym.scancode - SDL_SCANCODE_KP_1)));
        return {};
    }
    if (sym < 0x20 || sym == 0x7f || sym > 0x10ffff || (sym >= 0xd800 && sym <= 0xdfff))
        return {};
    return Utf8(uint32(sym));
}

int Milliseconds(bigtime_t microseconds)
{
    return int(std::min<bigtime_t>((microseconds + 999) / 1000, INT_MAX));
}

// Whether the server has closed the connection, so that Xlib would end the
// process on reading or writing it. A hang-up shows even while data the
// server sent last is still unread; an end of file where poll() does not
// tell it.
bool ConnectionClosed(int fd)
{
    struct pollfd p = {fd, POLLIN | POLLRDHUP, 0};
    if (poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL))
        return true;
    char byte;
    return (p.revents & POLLIN) && recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

} // namespace

// -- life -------------------------------------------------------------------

DisplayBackend* create_sdl2_backend(std::string* error)
{
    return Sdl2Backend::Create(error);
}

DisplayBackend* Sdl2Backend::Create(std::string* error)
{
    auto fail = [error](const std::string& message) -> DisplayBackend* {
        if (error != nullptr)
            *error = message;
        return nullptr;
    };
    // SDL would try the console's framebuffer next, which is no desktop.
    if (Unset("SDL_VIDEODRIVER") && Unset("DISPLAY") && Unset("WAYLAND_DISPLAY"))
        return fail("cannot open a display: DISPLAY and WAYLAND_DISPLAY are not set");
    if (sDisplayLost)
        return fail("cannot open a display: the connection to the last one was lost");
    bool expected = false;
    if (!sRunning.compare_exchange_strong(expected, true))
        return fail("cannot open a display: another SDL2 backend is running");

    // Set before SDL starts; the environment still overrides each of them.
    // Only desktops: SDL would fall back to its invisible offscreen driver.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // The first click in an inactive window is the user's, not the WM's.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // SDL captures the window that has the keyboard, not the one pressed.
    SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
    // Window surfaces in plain memory: no GL context for each window.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Before SDL opens the display: SDL puts back the handler it found when
    // it closes the display again, which is when the errors of its last
    // requests come in.
    x11_tolerate_errors();

    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::string message = "cannot open a display";
        if (!Unset("DISPLAY"))
            message += std::string(" (DISPLAY=") + getenv("DISPLAY") + ")";
        message += std::string(": ") + SDL_GetError();
        sRunning = false;
        return fail(message);
    }
    Uint32 wake = SDL_RegisterEvents(1);
    SDL_Window* helper = nullptr;
    if (wake != Uint32(-1))
        helper =
            SDL_CreateWindow("", 0, 0, kProbeSide, kProbeSide,
                             SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALLOW_HIGHDPI);
    if (helper == nullptr) {
        std::string message = std::string("cannot start SDL's events: ") + SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        sRunning = false;
        return fail(message);
    }
    SDL_StartTextInput();
    return new Sdl2Backend(wake, helper);
}

Sdl2Backend::Sdl2Backend(uint32 wakeEvent, SDL_Window* helper)
    : fHelper(helper), fXDisplay(x11_display(helper)), fWakeEvent(wakeEvent),
      fModifiers(SDL_GetModState())
{
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0)
        fRefreshRate = std::clamp(mode.refresh_rate, 30, 240);
    if (fXDisplay != nullptr) {
        // SDL on X11 works in the screen's pixels whatever the desktop's
        // scale; the desktop says what it wants through Xft.dpi.
        fScale = x11_xft_dpi(fXDisplay) >= kHighDpi ? 2 : 1;
        fXConnection = x11_connection(fXDisplay);
        // Without an eventfd SDL waits, as elsewhere.
        if (fXConnection >= 0)
            fWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        sLive = this;
        x11_on_broken_connection(ConnectionBroke);
        return;
    }
    // Elsewhere (Wayland) SDL works in the desktop's points and gives a
    // window made with SDL_WINDOW_ALLOW_HIGHDPI the pixels its output's
    // scale asks for. The hidden helper is on no output yet; SDL gives it
    // the largest scale of them all. One scale serves every window.
    int width = 0, height = 0, pixelWidth = 0, pixelHeight = 0;
    SDL_GetWindowSize(helper, &width, &height);
    SDL_GetWindowSizeInPixels(helper, &pixelWidth, &pixelHeight);
    if (width > 0 && pixelWidth * 2 >= width * 3) {
        fScale = 2;
        fUnit = 2;
    }
}

Sdl2Backend::~Sdl2Backend()
{
    Sdl2Backend* self = this;
    sLive.compare_exchange_strong(self, nullptr);
    if (fWakeFd >= 0)
        close(fWakeFd);
    if (fLost) {
        // Every way to let go of SDL's windows and display goes through
        // Xlib, which would end the process: they stay as they are.
        sRunning = false;
        return;
    }
    for (const auto& entry : fWindows)
        SDL_DestroyWindow(entry.second.sdl);
    fWindows.clear();
    for (SDL_Cursor* cursor : fCursors) {
        if (cursor != nullptr)
            SDL_FreeCursor(cursor);
    }
    SDL_DestroyWindow(fHelper);
    SDL_StopTextInput();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    sRunning = false;
}

bool Sdl2Backend::Usable()
{
    if (fLost)
        return false;
    if (fXConnection >= 0 && ConnectionClosed(fXConnection)) {
        fLost = true;
        sDisplayLost = true;
    }
    return !fLost;
}

// Xlib's I/O error handler calls this when a connection breaks inside one
// of its calls, when the server ended between our last look at the socket
// and the call. Xlib ends the process once its handler returns, and the
// main thread is deep in a call that cannot fail, so it never goes back to
// its loop: the backend is lost from here on, and the application quits
// from here, without Run() returning (quit_and_exit_from_main_thread,
// which does not return when it applies; otherwise Xlib's handler goes on).
void Sdl2Backend::ConnectionBroke(void* display)
{
    Sdl2Backend* backend = sLive.load();
    if (backend == nullptr || backend->fXDisplay != display)
        return;
    backend->fLost = true;
    sDisplayLost = true;
    quit_and_exit_from_main_thread();
}

// -- windows ----------------------------------------------------------------

Sdl2Backend::WindowEntry* Sdl2Backend::Find(int32 id)
{
    auto it = fWindows.find(id);
    return it == fWindows.end() ? nullptr : &it->second;
}

int32 Sdl2Backend::IdOf(uint32 sdlWindowId) const
{
    auto it = fIds.find(sdlWindowId);
    return it == fIds.end() ? 0 : it->second;
}

int32 Sdl2Backend::KeyboardOwner() const
{
    SDL_Window* focus = SDL_GetKeyboardFocus();
    return focus == nullptr ? 0 : IdOf(SDL_GetWindowID(focus));
}

void Sdl2Backend::ScreenFrame(int32 x, int32 y, int32* left, int32* top, int32* width,
                              int32* height)
{
    SDL_Rect frame{0, 0, 0, 0};
    bool found = false;
    SDL_Point point{ToSdl(x), ToSdl(y)};
    int count = Usable() ? SDL_GetNumVideoDisplays() : 0;
    for (int i = 0; i < count && !found; i++) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) == 0 && SDL_PointInRect(&point, &bounds)) {
            frame = bounds;
            found = true;
        }
    }
    if (!found && (count == 0 || SDL_GetDisplayBounds(0, &frame) != 0))
        frame = SDL_Rect{0, 0, 0, 0};
    if (left != nullptr)
        *left = frame.x * fUnit;
    if (top != nullptr)
        *top = frame.y * fUnit;
    if (width != nullptr)
        *width = frame.w * fUnit;
    if (height != nullptr)
        *height = frame.h * fUnit;
}

bool Sdl2Backend::CreateWindow(int32 id, const WindowSpec& wanted)
{
    if (id == 0 || Find(id) != nullptr || !Usable())
        return false;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (fUnit > 1)
        flags |= SDL_WINDOW_ALLOW_HIGHDPI;
    if (wanted.resizable)
        flags |= SDL_WINDOW_RESIZABLE;
    if (!wanted.decorated || wanted.popup)
        flags |= SDL_WINDOW_BORDERLESS;
    if (wanted.popup)
        flags |= SDL_WINDOW_POPUP_MENU | SDL_WINDOW_SKIP_TASKBAR | SDL_WINDOW_ALWAYS_ON_TOP;
    // `modal` has no SDL counterpart without a parent window: the server
    // keeps modal windows in front itself.
    SDL_Window* sdl = SDL_CreateWindow(
        wanted.title.c_str(), Clamp(ToSdl(wanted.left), -kMaxCoordinate, kMaxCoordinate),
        Clamp(ToSdl(wanted.top), -kMaxCoordinate, kMaxCoordinate),
        Clamp(ToSdl(wanted.width), 1, kMaxSide), Clamp(ToSdl(wanted.height), 1, kMaxSide), flags);
    if (sdl == nullptr)
        return false;
    WindowEntry& window = fWindows[id];
    window.sdl = sdl;
    window.popup = wanted.popup;
    fIds[SDL_GetWindowID(sdl)] = id;
    return true;
}

void Sdl2Backend::DestroyWindow(int32 id)
{
    WindowEntry* window = Find(id);
    if (window == nullptr || !Usable())
        return;
    bool hadKeyboard = window->popup && window->visible &&
                       (window->active || SDL_GetKeyboardFocus() == window->sdl);
    WindowEntry gone = *window;
    fIds.erase(SDL_GetWindowID(gone.sdl));
    fWindows.erase(id);
    SDL_DestroyWindow(gone.sdl);
    if (hadKeyboard)
        GiveKeyboardBack(gone);
    if (fDragWindow == id) {
        fHeld = 0;
        fDragWindow = 0;
    }
    if (fKeyWindow == id)
        fKeyPending = false;
    if (fHeldLoss == id)
        fHeldLoss = 0;
    if (fLastFocus == id)
        fLastFocus = 0;
    if (fPopupGain == id)
        fPopupGain = 0;
}

void Sdl2Backend::SetTitle(int32 id, const std::string& title)
{
    WindowEntry* window = Find(id);
    if (window != nullptr && Usable())
        SDL_SetWindowTitle(window->sdl, title.c_str());
}

void Sdl2Backend::SetFrame(int32 id, int32 left, int32 top, int32 width, int32 height)
{
    WindowEntry* window = Find(id);
    if (window == nullptr || !Usable())
        return;
    SDL_SetWindowPosition(window->sdl, Clamp(ToSdl(left), -kMaxCoordinate, kMaxCoordinate),
                          Clamp(ToSdl(top), -kMaxCoordinate, kMaxCoordinate));
    SDL_SetWindowSize(window->sdl, Clamp(ToSdl(width), 1, kMaxSide),
                      Clamp(ToSdl(height), 1, kMaxSide));
}

void Sdl2Backend::SetVisible(int32 id, bool visible)
{
    WindowEntry* window = Find(id);
    if (window == nullptr || window->visible == visible || !Usable())
        return;
    window->visible = visible;
    if (visible) {
        if (window->popup) {
            // A submenu opened from a menu that has the keyboard gives it
            // back to the window the whole menu came from.
            int32 owner = KeyboardOwner();
            WindowEntry* ownerEntry = Find(owner);
            if (ownerEntry != nullptr && ownerEntry->popup)
                owner = ownerEntry->opener;
            window->opener = owner;
            window->shownAt = system_time();
        }
        SDL_ShowWindow(window->sdl);
        return;
    }
    bool hadKeyboard = window->popup && (window->active || SDL_GetKeyboardFocus() == window->sdl);
    SDL_HideWindow(window->sdl);
    if (hadKeyboard)
        GiveKeyboardBack(*window);
}

void Sdl2Backend::Raise(int32 id)
{
    WindowEntry* window = Find(id);
    if (window != nullptr && Usable())
        SDL_RaiseWindow(window->sdl);
}

int32 Sdl2Backend::KeyboardHeir(const WindowEntry& popup)
{
    for (int32 id : {popup.opener, fLastFocus}) {
        WindowEntry* window = Find(id);
        if (window != nullptr && window->visible && !window->popup)
            return id;
    }
    return 0;
}

// Without a window manager nobody gives the keyboard back when the pop-up
// that took it goes away: X leaves the focus on nothing, and no key reaches
// any window. Pop-ups close in any order, so the keyboard goes to the
// window the menus came from, never to another pop-up.
void Sdl2Backend::GiveKeyboardBack(const WindowEntry& popup)
{
    if (WindowEntry* heir = Find(KeyboardHeir(popup)))
        SDL_SetWindowInputFocus(heir->sdl);
}

void Sdl2Backend::Present(int32 id, const uint8* pixels, int32 width, int32 height, int32 stride)
{
    WindowEntry* window = Find(id);
    if (window == nullptr || pixels == nullptr || width <= 0 || height <= 0 ||
        int64(stride) < int64(width) * 4 || !Usable())
        return;
    SDL_Surface* surface = SDL_GetWindowSurface(window->sdl);
    if (surface == nullptr || surface->pixels == nullptr)
        return;
    // After a resize the surface may not match the frame yet: copy what
    // both have.
    int columns = std::min<int>(width, surface->w);
    int rows = std::min<int>(height, surface->h);
    if (columns <= 0 || rows <= 0)
        return;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0)
        return;
    Uint32 format = surface->format->format;
    uint8* target = static_cast<uint8*>(surface->pixels);
    if (format == kSourceFormat || format == kSourceFormatOpaque) {
        for (int y = 0; y < rows; y++)
            memcpy(target + size_t(y) * surface->pitch, pixels + size_t(y) * stride,
                   size_t(columns) * 4);
    } else {
        SDL_ConvertPixels(columns, rows, kSourceFormat, pixels, stride, format, target,
                          surface->pitch);
    }
    if (SDL_MUSTLOCK(surface))
        SDL_UnlockSurface(surface);
    SDL_UpdateWindowSurface(window->sdl);
}

// -- waiting ----------------------------------------------------------------

void Sdl2Backend::Wake()
{
    // One wake-up pending is enough; a busy caller must not fill a queue.
    if (fWakePending.exchange(true))
        return;
    if (fWakeFd >= 0) {
        uint64_t one = 1;
        if (write(fWakeFd, &one, sizeof(one)) != ssize_t(sizeof(one)))
            fWakePending = false;
        return;
    }
    SDL_Event event;
    SDL_zero(event);
    event.type = fWakeEvent;
    if (SDL_PushEvent(&event) != 1)
        fWakePending = false;
}

void Sdl2Backend::TakeWake()
{
    // Read before the flag is cleared: cleared first, a Wake() in between
    // would write the count this read then takes, and leave the flag set
    // with nothing to wake the next wait.
    uint64_t count;
    ssize_t ignored = read(fWakeFd, &count, sizeof(count));
    (void)ignored;
    fWakePending = false;
    fWoken = true;
}

void Sdl2Backend::WaitWhileLost(bigtime_t timeout)
{
    if (timeout <= 0)
        return;
    if (fWakeFd < 0) {
        // No eventfd to wait on: short naps, so the main loop does not spin
        // while the application quits.
        snooze(std::min<bigtime_t>(timeout, 10000));
        return;
    }
    struct pollfd p = {fWakeFd, POLLIN, 0};
    if (poll(&p, 1, Milliseconds(std::min(timeout, kLongestSlice))) > 0)
        TakeWake();
}

bool Sdl2Backend::PollEvent(SDL_Event* event)
{
    // On X11 only NextEvent() asks SDL to read the connection: it has
    // looked at the socket first.
    if (fWakeFd >= 0)
        return SDL_PeepEvents(event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1;
    return SDL_PollEvent(event) != 0;
}

bool Sdl2Backend::NextEvent(bigtime_t until, SDL_Event* event)
{
    if (fWakeFd < 0) {
        bigtime_t slice = std::min(until - system_time(), kLongestSlice);
        return slice > 0 ? SDL_WaitEventTimeout(event, Milliseconds(slice)) != 0
                         : SDL_PollEvent(event) != 0;
    }
    for (;;) {
        if (!Usable())
            return false;
        SDL_PumpEvents();
        if (SDL_PeepEvents(event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1)
            return true;
        // Events Xlib read while it waited for a reply are in no socket.
        if (!Usable())
            return false;
        if (x11_pending(fXDisplay) > 0)
            continue;
        bigtime_t now = system_time();
        if (now >= until)
            return false;
        struct pollfd fds[2] = {{fXConnection, POLLIN | POLLRDHUP, 0}, {fWakeFd, POLLIN, 0}};
        int ready = poll(fds, 2, Milliseconds(std::min(until - now, kLongestSlice)));
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            TakeWake();
            return false;
        }
        // Timed out or interrupted: the caller looks at the time.
        if (ready <= 0)
            return false;
    }
}

void Sdl2Backend::WaitEvents(bigtime_t timeout, EventSink* sink)
{
    if (!Usable()) {
        WaitWhileLost(timeout);
        return;
    }
    // A sink that waits again from inside HandleEvent gets nothing.
    if (fWaiting)
        return;
    fWaiting = true;
    fSink = sink;
    fWoken = false;
    fDelivered = 0;

    bigtime_t now = system_time();
    bigtime_t deadline = now;
    if (timeout > 0)
        deadline = timeout >= B_INFINITE_TIMEOUT - now ? B_INFINITE_TIMEOUT : now + timeout;
    for (;;) {
        SDL_Event event;
        if (NextEvent(std::min(deadline, NextDeadline(now)), &event)) {
            Handle(event);
            for (int handled = 1; handled < kMaxDrain && PollEvent(&event); handled++)
                Handle(event);
            // Do not split a key from its text when the drain stops early.
            if (fKeyPending &&
                SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1 &&
                event.type == SDL_TEXTINPUT &&
                SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_TEXTINPUT, SDL_TEXTINPUT) == 1)
                Handle(event);
            FlushKey();
        }
        if (fLost)
            break;
        Housekeeping();
        now = system_time();
        if (fDelivered > 0 || fWoken || fLost || now >= deadline)
            break;
    }
    fSink = nullptr;
    fWaiting = false;
}

// When the wait must stop early for work of our own.
bigtime_t Sdl2Backend::NextDeadline(bigtime_t now) const
{
    bigtime_t next = B_INFINITE_TIMEOUT;
    if (fHeldLoss != 0)
        next = std::min(next, fHeldLossAt + kHeldLossTime);
    if (fHeld != 0) {
        auto it = fWindows.find(fDragWindow);
        if (it != fWindows.end() && SDL_GetMouseFocus() != it->second.sdl)
            next = std::min(next, now + kDragPollInterval);
    }
    return next;
}

void Sdl2Backend::Housekeeping()
{
    if (fHeldLoss != 0 && system_time() - fHeldLossAt >= kHeldLossTime)
        ReleaseHeldLoss();
    if (fHeld != 0)
        PollDrag();
}

void Sdl2Backend::Emit(const NativeEvent& event)
{
    fDelivered++;
    if (fSink != nullptr)
        fSink->HandleEvent(event);
}

void Sdl2Backend::Handle(const SDL_Event& event)
{
    if (event.type != SDL_TEXTINPUT && event.type != SDL_TEXTEDITING &&
        event.type != SDL_TEXTEDITING_EXT)
        FlushKey();
    if (event.type == fWakeEvent) {
        fWakePending = false;
        fWoken = true;
        return;
    }
    switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        HandleButton(event.button);
        break;
    case SDL_MOUSEMOTION:
        HandleMotion(event.motion);
        break;
    case SDL_MOUSEWHEEL:
        HandleWheel(event.wheel);
        break;
    case SDL_KEYDOWN:
        HandleKeyDown(event.key);
        break;
    case SDL_KEYUP:
        HandleKeyUp(event.key);
        break;
    case SDL_TEXTINPUT:
        HandleText(event.text);
        break;
    case SDL_WINDOWEVENT:
        HandleWindowEvent(event.window);
        break;
    default:
        break;
    }
}

// -- pointer ----------------------------------------------------------------

bool Sdl2Backend::QueryPointer(int32* x, int32* y, uint32* buttons)
{
    int px = 0, py = 0;
    unsigned held = 0;
    if (!Usable()) {
        *x = int32(fLastScreenX);
        *y = int32(fLastScreenY);
        *buttons = 0;
        return false;
    }
    if (x11_query_pointer(fXDisplay, &px, &py, &held)) {
        *x = px;
        *y = py;
        *buttons = held;
        return true;
    }
    // SDL refreshes its global state only as it reads some events.
    SDL_PumpEvents();
    Uint32 mask = SDL_GetGlobalMouseState(&px, &py);
    *x = px * fUnit;
    *y = py * fUnit;
    *buttons = ButtonsOf(mask);
    return true;
}

void Sdl2Backend::PointerState(float* screenX, float* screenY, uint32* buttons)
{
    int32 x = 0, y = 0;
    uint32 held = 0;
    QueryPointer(&x, &y, &held);
    if (screenX != nullptr)
        *screenX = float(x);
    if (screenY != nullptr)
        *screenY = float(y);
    if (buttons != nullptr)
        *buttons = held;
}

bool Sdl2Backend::ToScreen(uint32 sdlWindowId, float x, float y, float* screenX, float* screenY)
{
    SDL_Window* window = SDL_GetWindowFromID(sdlWindowId);
    if (window == nullptr)
        return false;
    int left = 0, top = 0;
    SDL_GetWindowPosition(window, &left, &top);
    *screenX = float(left * fUnit) + x * float(fUnit);
    *screenY = float(top * fUnit) + y * float(fUnit);
    return true;
}

NativeEvent Sdl2Backend::PointerEvent(NativeEvent::Type type, int32 target, float screenX,
                                      float screenY)
{
    NativeEvent event;
    event.type = type;
    event.window = target;
    event.screenX = screenX;
    event.screenY = screenY;
    int left = 0, top = 0;
    if (WindowEntry* window = Find(target))
        SDL_GetWindowPosition(window->sdl, &left, &top);
    event.x = screenX - float(left * fUnit);
    event.y = screenY - float(top * fUnit);
    event.buttons = fHeld;
    event.modifiers = Modifiers(fModifiers);
    return event;
}

void Sdl2Backend::HandleButton(const SDL_MouseButtonEvent& sdl)
{
    uint32 bit = ButtonBit(sdl.button);
    if (bit == 0)
        return;
    int32 id = IdOf(sdl.windowID);
    float screenX, screenY;
    // Released outside every window: SDL names none and its position is
    // stale, so ask where the pointer is.
    if (id == 0 || !ToScreen(sdl.windowID, float(sdl.x), float(sdl.y), &screenX, &screenY)) {
        int32 x, y;
        uint32 buttons;
        QueryPointer(&x, &y, &buttons);
        screenX = float(x);
        screenY = float(y);
    }
    fLastScreenX = screenX;
    fLastScreenY = screenY;

    if (sdl.state == SDL_PRESSED) {
        if (id == 0)
            return;
        if (fHeld == 0 || Find(fDragWindow) == nullptr)
            fDragWindow = id;
        fHeld |= bit;
        NativeEvent event = PointerEvent(NativeEvent::MOUSE_DOWN, fDragWindow, screenX, screenY);
        // SDL counts clicks up to 32 pixels apart; the server counts them
        // with the desktop's distance.
        event.clicks = INT32_MAX;
        Emit(event);
        return;
    }
    // A release the server already had (made up), or of a press it never saw.
    if (!(fHeld & bit))
        return;
    fHeld &= ~bit;
    int32 target = fDragWindow;
    if (fHeld == 0)
        fDragWindow = 0;
    if (Find(target) == nullptr)
        return;
    NativeEvent event = PointerEvent(NativeEvent::MOUSE_UP, target, screenX, screenY);
    event.clicks = std::max<int32>(1, sdl.clicks);
    Emit(event);
}

void Sdl2Backend::HandleMotion(const SDL_MouseMotionEvent& sdl)
{
    int32 id = IdOf(sdl.windowID);
    float screenX, screenY;
    if (id == 0 || !ToScreen(sdl.windowID, float(sdl.x), float(sdl.y), &screenX, &screenY))
        return;
    fLastScreenX = screenX;
    fLastScreenY = screenY;
    if (uint32 lost = fHeld & ~ButtonsOf(sdl.state))
        ReleaseButtons(lost);
    int32 target = fHeld != 0 ? fDragWindow : id;
    if (Find(target) == nullptr)
        return;
    Emit(PointerEvent(NativeEvent::MOUSE_MOVED, target, screenX, screenY));
}

void Sdl2Backend::HandleWheel(const SDL_MouseWheelEvent& sdl)
{
    int32 id = IdOf(sdl.windowID);
    float screenX, screenY;
    if (id == 0 ||
        !ToScreen(sdl.windowID, float(sdl.mouseX), float(sdl.mouseY), &screenX, &screenY))
        return;
    float dx = sdl.preciseX, dy = sdl.preciseY;
    if (sdl.direction == SDL_MOUSEWHEEL_FLIPPED) {
        dx = -dx;
        dy = -dy;
    }
    NativeEvent event = PointerEvent(NativeEvent::MOUSE_WHEEL, id, screenX, screenY);
    // SDL counts up as positive.
    event.wheelX = dx;
    event.wheelY = -dy;
    Emit(event);
}

// The pointer left a window with no button held: it may be over none now.
// SDL's last position is clamped to the window, so ask where it is; over
// another window of ours that window's own motion follows.
void Sdl2Backend::PointerLeft()
{
    if (fHeld != 0)
        return;
    int32 x, y;
    uint32 buttons;
    QueryPointer(&x, &y, &buttons);
    for (const auto& entry : fWindows) {
        if (!entry.second.visible)
            continue;
        SDL_Rect frame;
        SDL_GetWindowPosition(entry.second.sdl, &frame.x, &frame.y);
        SDL_GetWindowSize(entry.second.sdl, &frame.w, &frame.h);
        SDL_Point point{ToSdl(x), ToSdl(y)};
        if (SDL_PointInRect(&point, &frame))
            return;
    }
    Emit(PointerEvent(NativeEvent::MOUSE_MOVED, 0, float(x), float(y)));
}

// SDL drops motion outside the window a drag began in; follow the pointer
// there, and notice a release that never reached us.
void Sdl2Backend::PollDrag()
{
    WindowEntry* window = Find(fDragWindow);
    if (window == nullptr) {
        fHeld = 0;
        fDragWindow = 0;
        return;
    }
    if (SDL_GetMouseFocus() == window->sdl)
        return;
    int32 x, y;
    uint32 buttons;
    if (!QueryPointer(&x, &y, &buttons))
        return;
    if (uint32 lost = fHeld & ~buttons) {
        // The release may be read but not yet handled.
        SDL_PumpEvents();
        if (SDL_HasEvent(SDL_MOUSEBUTTONUP))
            return;
        fLastScreenX = float(x);
        fLastScreenY = float(y);
        ReleaseButtons(lost);
        return;
    }
    if (float(x) == fLastScreenX && float(y) == fLastScreenY)
        return;
    fLastScreenX = float(x);
    fLastScreenY = float(y);
    Emit(PointerEvent(NativeEvent::MOUSE_MOVED, fDragWindow, float(x), float(y)));
}

// Makes up the releases of buttons the server thinks are down.
void Sdl2Backend::ReleaseButtons(uint32 bits)
{
    for (uint32 bit : {1u, 2u, 4u}) {
        if (!(bits & bit & fHeld))
            continue;
        fHeld &= ~bit;
        int32 target = fDragWindow;
        if (fHeld == 0)
            fDragWindow = 0;
        if (Find(target) != nullptr)
            Emit(PointerEvent(NativeEvent::MOUSE_UP, target, fLastScreenX, fLastScreenY));
    }
}

// -- keys -------------------------------------------------------------------

void Sdl2Backend::HandleKeyDown(const SDL_KeyboardEvent& sdl)
{
    fModifiers = sdl.keysym.mod;
    if (IsModifierKey(sdl.keysym.scancode))
        return;
    int32 id = IdOf(sdl.windowID);
    if (id == 0)
        return;
    if (char byte = ControlByte(sdl.keysym)) {
        EmitKeyDown(id, &sdl.keysym, std::string(1, byte));
        return;
    }
    fKeyPending = true;
    fKeyWindow = id;
    fKeySym = sdl.keysym;
}

void Sdl2Backend::HandleKeyUp(const SDL_KeyboardEvent& sdl)
{
    fModifiers = sdl.keysym.mod;
    if (IsModifierKey(sdl.keysym.scancode))
        return;
    int32 id = IdOf(sdl.windowID);
    std::string bytes;
    auto it = fKeyBytes.find(sdl.keysym.scancode);
    if (it != fKeyBytes.end()) {
        bytes = it->second;
        fKeyBytes.erase(it);
    } else {
        bytes = KeyBytes(sdl.keysym);
    }
    if (id == 0 || bytes.empty())
        return;
    NativeEvent event;
    event.type = NativeEvent::KEY_UP;
    event.window = id;
    event.bytes = bytes;
    event.key = KeyCode(sdl.keysym);
    event.modifiers = Modifiers(sdl.keysym.mod);
    Emit(event);
}

void Sdl2Backend::HandleText(const SDL_TextInputEvent& sdl)
{
    int32 id = IdOf(sdl.windowID);
    if (id == 0) {
        FlushKey();
        return;
    }
    // An input method may commit several characters at once: one KEY_DOWN
    // each, the first with the key that was held back.
    size_t length = strnlen(sdl.text, sizeof(sdl.text));
    for (size_t i = 0; i < length;) {
        size_t n = CharLength(sdl.text + i, length - i);
        if (n == 0) {
            i++;
            continue;
        }
        std::string character(sdl.text + i, n);
        i += n;
        if (uint8(character[0]) < 0x20 || character[0] == 0x7f)
            continue;
        if (fKeyPending && fKeyWindow == id) {
            fKeyPending = false;
            EmitKeyDown(id, &fKeySym, character);
        } else {
            FlushKey();
            EmitKeyDown(id, nullptr, character);
        }
    }
}

void Sdl2Backend::EmitKeyDown(int32 window, const SDL_Keysym* keysym, const std::string& bytes)
{
    NativeEvent event;
    event.type = NativeEvent::KEY_DOWN;
    event.window = window;
    event.bytes = bytes;
    if (keysym != nullptr) {
        event.key = KeyCode(*keysym);
        event.modifiers = Modifiers(keysym->mod);
        fKeyBytes[keysym->scancode] = bytes;
    } else {
        event.modifiers = Modifiers(fModifiers);
    }
    Emit(event);
}

// The held-back key got no text: it goes with its own byte.
void Sdl2Backend::FlushKey()
{
    if (!fKeyPending)
        return;
    fKeyPending = false;
    std::string bytes = KeyBytes(fKeySym);
    if (bytes.empty() || Find(fKeyWindow) == nullptr)
        return;
    EmitKeyDown(fKeyWindow, &fKeySym, bytes);
}

// -- window events and focus -----------------------------------------------

void Sdl2Backend::HandleWindowEvent(const SDL_WindowEvent& sdl)
{
    int32 id = IdOf(sdl.windowID);
    if (id == 0)
        return;
    NativeEvent event;
    event.window = id;
    switch (sdl.event) {
    case SDL_WINDOWEVENT_CLOSE:
        event.type = NativeEvent::WINDOW_CLOSE;
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
        HandleFocus(id, sdl.event == SDL_WINDOWEVENT_FOCUS_GAINED);
        return;
    case SDL_WINDOWEVENT_MOVED:
        event.type = NativeEvent::WINDOW_MOVED;
        event.x = float(sdl.data1 * fUnit);
        event.y = float(sdl.data2 * fUnit);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        event.type = NativeEvent::WINDOW_RESIZED;
        event.width = sdl.data1 * fUnit;
        event.height = sdl.data2 * fUnit;
        break;
    case SDL_WINDOWEVENT_EXPOSED:
        event.type = NativeEvent::WINDOW_EXPOSED;
        break;
    case SDL_WINDOWEVENT_LEAVE:
        PointerLeft();
        return;
    default:
        return;
    }
    Emit(event);
}

bool Sdl2Backend::PopupJustShown(const WindowEntry& window, bigtime_t now) const
{
    return window.popup && window.visible && window.shownAt >= 0 &&
           now - window.shownAt < kPopupFocusTime;
}

// Showing a pop-up without a window manager moves the keyboard to it: the
// window that had it reports a loss first, the pop-up a gain after. That
// loss is dropped; any other loss within a pop-up's first moments waits a
// little for the gain that would explain it.
void Sdl2Backend::HandleFocus(int32 id, bool gained)
{
    WindowEntry* window = Find(id);
    if (window == nullptr)
        return;
    bigtime_t now = system_time();
    if (gained) {
        if (PopupJustShown(*window, now)) {
            if (fHeldLoss != 0) {
                fHeldLoss = 0;
            } else {
                fPopupGain = id;
                fPopupGainAt = now;
            }
        } else {
            fPopupGain = 0;
            ReleaseHeldLoss();
        }
        ReportFocus(id, true);
        return;
    }
    if (!window->popup) {
        WindowEntry* popup = Find(fPopupGain);
        if (popup != nullptr && popup->visible && now - fPopupGainAt < kPopupFocusTime) {
            fPopupGain = 0;
            return;
        }
        for (const auto& entry : fWindows) {
            if (PopupJustShown(entry.second, now)) {
                ReleaseHeldLoss();
                fHeldLoss = id;
                fHeldLossAt = now;
                return;
            }
        }
    }
    ReportFocus(id, false);
}

void Sdl2Backend::ReleaseHeldLoss()
{
    int32 id = fHeldLoss;
    fHeldLoss = 0;
    if (id != 0)
        ReportFocus(id, false);
}

void Sdl2Backend::ReportFocus(int32 id, bool active)
{
    WindowEntry* window = Find(id);
    if (window == nullptr || window->active == active)
        return;
    if (active && !window->popup)
        fLastFocus = id;
    window->active = active;
    NativeEvent event;
    event.type = NativeEvent::WINDOW_FOCUS;
    event.window = id;
    event.active = active;
    Emit(event);
    // A window that lost the focus will not see the release of a drag it
    // began.
    if (!active && fHeld != 0 && fDragWindow == id)
        ReleaseButtons(fHeld);
}

// -- clipboard --------------------------------------------------------------

std::string Sdl2Backend::ClipboardText()
{
    if (!Usable())
        return {};
    char* text = SDL_GetClipboardText();
    std::string result = text != nullptr ? text : "";
    SDL_free(text);
    return result;
}

void Sdl2Backend::SetClipboardText(const std::string& text)
{
    if (Usable())
        SDL_SetClipboardText(text.c_str());
}

std::string Sdl2Backend::PrimaryText()
{
    if (!Usable())
        return {};
    char* text = SDL_GetPrimarySelectionText();
    std::string result = text != nullptr ? text : "";
    SDL_free(text);
    return result;
}

void Sdl2Backend::SetPrimaryText(const std::string& text)
{
    if (Usable())
        SDL_SetPrimarySelectionText(text.c_str());
}

// -- pointer shape and desktop settings -------------------------------------

void Sdl2Backend::SetCursor(CursorShape shape)
{
    if (shape == fCursor || !Usable())
        return;
    size_t index = shape == CursorShape::kIBeam ? 1 : 0;
    if (fCursors[index] == nullptr) {
        fCursors[index] =
            SDL_CreateSystemCursor(index == 1 ? SDL_SYSTEM_CURSOR_IBEAM : SDL_SYSTEM_CURSOR_ARROW);
        if (fCursors[index] == nullptr)
            return;
    }
    fCursor = shape;
    SDL_SetCursor(fCursors[index]);
}

ClickSettings Sdl2Backend::DoubleClickSettings()
{
    bigtime_t now = system_time();
    if (fClickSettingsRead >= 0 && now - fClickSettingsRead < kClickSettingsAge)
        return fClickSettings;
    fClickSettingsRead = now;
    ClickSettings settings;
    XSettingsValues values;
    if (Usable() && x11_xsettings(fXDisplay, &values)) {
        // Only sane values: a manager may publish anything.
        if (values.doubleClickTime > 0 && values.doubleClickTime <= 5000)
            settings.time = bigtime_t(values.doubleClickTime) * 1000;
        if (values.doubleClickDistance >= 0 && values.doubleClickDistance <= 100)
            settings.distance = values.doubleClickDistance;
    }
    fClickSettings = settings;
    return settings;
}

} // namespace BPrivate
