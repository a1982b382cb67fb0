#include "TestDriver.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <AppDefs.h>
#include <DisplayInit.h>
#include <DisplayServer.h>
#include <HeadlessBackend.h>
#include <TextViewPrivate.h>
#include <View.h>
#include <Window.h>

using BPrivate::DisplayServer;
using BPrivate::HeadlessBackend;
using BPrivate::NativeEvent;

namespace
{

// How long the application may take to quit before the test is stopped.
const bigtime_t kQuitWatchdog = 20000000;

// Whether the running driver put the application on the headless display.
std::atomic<bool> sHeadless{true};

HeadlessBackend* backend()
{
    if (!sHeadless)
        return nullptr;
    DisplayServer* server = DisplayServer::Get();
    return server != nullptr ? static_cast<HeadlessBackend*>(server->Backend()) : nullptr;
}

HeadlessBackend* require_backend()
{
    // The first window starts the display; before it there is nothing to
    // send events to.
    if (!sHeadless) {
        fprintf(stderr, "TestDriver: input calls need the headless display\n");
        abort();
    }
    HeadlessBackend* headless = backend();
    if (headless == nullptr) {
        fprintf(stderr, "TestDriver: no window has been made yet\n");
        abort();
    }
    return headless;
}

void inject(NativeEvent event)
{
    require_backend()->Inject(event);
}

// The backend speaks device pixels; the server turns them back to points.
NativeEvent pointer_event(NativeEvent::Type type, BWindow* window, BPoint where)
{
    float scale = float(require_backend()->Scale());
    NativeEvent event;
    event.type = type;
    event.window = window->_ServerId();
    event.x = where.x * scale;
    event.y = where.y * scale;
    return event;
}

} // namespace

TestDriver::TestDriver(const std::function<BApplication*()>& make, Display display, int32 scale)
    : fFinished(false)
{
    sHeadless = display == kHeadless;
    if (display == kHeadless)
        BPrivate::use_headless_display(scale);
    fApp = make();
    // The application is made here but runs on another thread: let go of
    // the lock its maker holds until Run().
    if (fApp->IsLocked())
        fApp->Unlock();
    // Handled only after ReadyToRun, so waiting for it to go waits for the
    // application's first windows.
    fApp->PostMessage('_tdn');
    fRunner = std::thread([this] {
        fApp->Run();
        fFinished = true;
    });
    WaitIdle();
}

TestDriver::~TestDriver()
{
    if (fApp != nullptr && BLooper::_LockLooper(fApp, B_INFINITE_TIMEOUT) == B_OK)
        fApp->Quit();
    bigtime_t deadline = system_time() + kQuitWatchdog;
    while (!fFinished.load() && system_time() < deadline)
        snooze(10000);
    if (!fFinished.load()) {
        fprintf(stderr, "TestDriver: the application did not quit within %d s\n",
                int(kQuitWatchdog / 1000000));
        abort();
    }
    fRunner.join();
    delete fApp;
    DisplayServer::Uninstall();
}

bool TestDriver::LockWindow(BWindow* window)
{
    return BLooper::_LockLooper(window, B_INFINITE_TIMEOUT) == B_OK;
}

void TestDriver::UnlockWindow(BWindow* window)
{
    if (BLooper::_IsValid(window))
        window->Unlock();
}

std::vector<BWindow*> TestDriver::Windows() const
{
    return BPrivate::windows();
}

BWindow* TestDriver::FindWindow(const std::string& title, bigtime_t timeout)
{
    bigtime_t deadline = system_time() + timeout;
    do {
        for (BWindow* window : BPrivate::windows()) {
            if (BLooper::_LockLooper(window, 1000000) != B_OK)
                continue;
            bool match = title == window->Title();
            window->Unlock();
            if (match)
                return window;
        }
        snooze(5000);
    } while (system_time() < deadline);
    return nullptr;
}

BView* TestDriver::FindView(BWindow* window, const char* name)
{
    if (window == nullptr || !LockWindow(window))
        return nullptr;
    BView* view = window->FindView(name);
    window->Unlock();
    return view;
}

void TestDriver::MouseDown(BWindow* window, BPoint where, uint32 buttons, int32 clicks,
                           uint32 modifiers)
{
    NativeEvent event = pointer_event(NativeEvent::MOUSE_DOWN, window, where);
    event.buttons = buttons;
    event.clicks = clicks;
    event.modifiers = modifiers;
    inject(event);
}

void TestDriver::MouseMove(BWindow* window, BPoint where, uint32 buttons)
{
    NativeEvent event = pointer_event(NativeEvent::MOUSE_MOVED, window, where);
    event.buttons = buttons;
    inject(event);
}

void TestDriver::MouseUp(BWindow* window, BPoint where, uint32 modifiers)
{
    NativeEvent event = pointer_event(NativeEvent::MOUSE_UP, window, where);
    event.buttons = 0;
    event.modifiers = modifiers;
    inject(event);
}

void TestDriver::Click(BWindow* window, BPoint where, uint32 buttons, int32 clicks,
                       uint32 modifiers)
{
    MouseMove(window, where, 0);
    MouseDown(window, where, buttons, clicks, modifiers);
    MouseUp(window, where, modifiers);
}

void TestDriver::Click(BView* view, uint32 buttons, int32 clicks, uint32 modifiers)
{
    BWindow* window = view->Window();
    BPoint centre;
    Locked(window, [&] {
        BRect bounds = view->Bounds();
        centre.Set(std::floor((bounds.left + bounds.right) / 2),
                   std::floor((bounds.top + bounds.bottom) / 2));
    });
    Click(view, centre, buttons, clicks, modifiers);
}

void TestDriver::Click(BView* view, BPoint where, uint32 buttons, int32 clicks, uint32 modifiers)
{
    BWindow* window = view->Window();
    BPoint inWindow = Locked(window, [&] { return view->_ToWindow(where); });
    Click(window, inWindow, buttons, clicks, modifiers);
}

void TestDriver::Drag(BWindow* window, BPoint from, BPoint to, int32 steps, uint32 buttons,
                      bigtime_t stepPause)
{
    MouseMove(window, from, 0);
    MouseDown(window, from, buttons);
    snooze(stepPause);
    steps = std::max<int32>(steps, 1);
    for (int32 i = 1; i <= steps; i++) {
        BPoint at(from.x + (to.x - from.x) * float(i) / float(steps),
                  from.y + (to.y - from.y) * float(i) / float(steps));
        MouseMove(window, at, buttons);
        snooze(stepPause);
    }
    MouseUp(window, to);
}

void TestDriver::Wheel(BWindow* window, BPoint where, float dy, float dx)
{
    MouseMove(window, where, 0);
    NativeEvent event = pointer_event(NativeEvent::MOUSE_WHEEL, window, where);
    event.wheelX = dx;
    event.wheelY = dy;
    inject(event);
}

void TestDriver::Type(const std::string& utf8, uint32 modifiers)
{
    for (size_t at = 0; at < utf8.size();) {
        size_t length =
            size_t(BPrivate::utf8_char_length(utf8.data(), int32(utf8.size()), int32(at)));
        NativeEvent event;
        event.window = DisplayServer::Get()->ActiveWindow();
        event.bytes = utf8.substr(at, length);
        event.modifiers = modifiers;
        event.type = NativeEvent::KEY_DOWN;
        inject(event);
        event.type = NativeEvent::KEY_UP;
        inject(event);
        at += length;
    }
}

void TestDriver::Key(char byte, uint32 modifiers)
{
    Type(std::string(1, byte), modifiers);
}

void TestDriver::FunctionKey(int32 key, uint32 modifiers)
{
    NativeEvent event;
    event.window = DisplayServer::Get()->ActiveWindow();
    event.bytes = std::string(1, char(B_FUNCTION_KEY));
    event.key = key;
    event.modifiers = modifiers;
    event.type = NativeEvent::KEY_DOWN;
    inject(event);
    event.type = NativeEvent::KEY_UP;
    inject(event);
}

void TestDriver::Close(BWindow* window)
{
    NativeEvent event;
    event.type = NativeEvent::WINDOW_CLOSE;
    event.window = window->_ServerId();
    inject(event);
}

void TestDriver::Activate(BWindow* window)
{
    NativeEvent event;
    event.type = NativeEvent::WINDOW_FOCUS;
    event.window = window->_ServerId();
    event.active = true;
    inject(event);
}

bool TestDriver::WaitIdle(bigtime_t timeout)
{
    bigtime_t deadline = system_time() + timeout;
    int calm = 0;
    while (system_time() < deadline) {
        bool idle = true;
        if (HeadlessBackend* headless = backend())
            idle = headless->EventsDone();
        if (idle) {
            DisplayServer* server = DisplayServer::Get();
            idle = server == nullptr || server->IsIdle();
        }
        if (idle) {
            for (BLooper* looper : BLooper::_AllLoopers()) {
                if (!BLooper::_IsIdle(looper)) {
                    idle = false;
                    break;
                }
            }
        }
        // Quiet twice in a row, a little apart: nothing was in flight
        // between one loop and the next.
        calm = idle ? calm + 1 : 0;
        if (calm >= 3)
            return true;
        snooze(2000);
    }
    return false;
}

bool TestDriver::Pixels(BWindow* window, std::vector<uint32>* pixels, int32* width, int32* height)
{
    std::vector<uint8> bytes;
    DisplayServer* server = DisplayServer::Get();
    if (server == nullptr || !server->CopyFrame(window->_ServerId(), &bytes, width, height))
        return false;
    pixels->resize(bytes.size() / 4);
    memcpy(pixels->data(), bytes.data(), bytes.size());
    return true;
}

rgb_color TestDriver::Pixel(BWindow* window, int32 x, int32 y)
{
    std::vector<uint32> pixels;
    int32 width = 0, height = 0;
    if (!Pixels(window, &pixels, &width, &height) || x < 0 || y < 0 || x >= width || y >= height)
        return rgb_color{0, 0, 0, 0};
    uint32 value = pixels[size_t(y) * size_t(width) + size_t(x)];
    return rgb_color{uint8(value >> 16), uint8(value >> 8), uint8(value), uint8(value >> 24)};
}

bool TestDriver::SavePNG(BWindow* window, const std::string& path)
{
    std::vector<uint32> pixels;
    int32 width = 0, height = 0;
    if (!Pixels(window, &pixels, &width, &height))
        return false;
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels.data()),
                                            CAIRO_FORMAT_ARGB32, width, height, width * 4);
    bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

namespace
{

void dump_view(BView* view, int depth, std::ostringstream& out)
{
    BRect frame = view->Frame();
    out << std::string(size_t(depth) * 2, ' ') << (view->Name() ? view->Name() : "(unnamed)")
        << " (" << frame.left << ", " << frame.top << ", " << frame.right << ", " << frame.bottom
        << ")" << (view->IsHidden() ? " hidden" : "") << "\n";
    for (int32 i = 0; i < view->CountChildren(); i++)
        dump_view(view->ChildAt(i), depth + 1, out);
}

} // namespace

std::string TestDriver::Dump(BWindow* window)
{
    std::ostringstream out;
    Locked(window, [&] {
        BRect frame = window->Frame();
        out << "window \"" << window->Title() << "\" (" << frame.left << ", " << frame.top << ", "
            << frame.right << ", " << frame.bottom << ")\n";
        for (int32 i = 0; i < window->CountChildren(); i++)
            dump_view(window->ChildAt(i), 1, out);
    });
    return out.str();
}
