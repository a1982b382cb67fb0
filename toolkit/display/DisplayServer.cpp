#include "DisplayServer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <AppDefs.h>
#include <Application.h>
#include <Looper.h>
#include <Message.h>
#include <OS.h>

namespace BPrivate
{

namespace
{

std::mutex sInstanceLock;
DisplayServer* sInstance = nullptr;

} // namespace

DisplayServer* DisplayServer::Get()
{
    std::lock_guard<std::mutex> lock(sInstanceLock);
    return sInstance;
}

DisplayServer* DisplayServer::Install(DisplayBackend* backend)
{
    {
        std::lock_guard<std::mutex> lock(sInstanceLock);
        if (sInstance != nullptr) {
            delete backend;
            return sInstance;
        }
        sInstance = new DisplayServer(backend);
    }
    call_on_main_thread([] { set_main_thread_pump(Get()); });
    return Get();
}

void DisplayServer::Uninstall()
{
    DisplayServer* server;
    {
        std::lock_guard<std::mutex> lock(sInstanceLock);
        server = sInstance;
        sInstance = nullptr;
    }
    if (server == nullptr)
        return;
    call_on_main_thread([] { set_main_thread_pump(nullptr); });
    delete server;
}

DisplayServer::DisplayServer(DisplayBackend* backend)
    : fBackend(backend), fScale(std::max<int32>(1, backend->Scale())),
      fFrameInterval(1000000 / std::clamp<int32>(backend->RefreshRate(), 30, 240))
{
}

DisplayServer::~DisplayServer() {}

DisplayServer::Window* DisplayServer::Find(int32 id)
{
    auto found = fWindows.find(id);
    return found == fWindows.end() ? nullptr : &found->second;
}

const DisplayServer::Window* DisplayServer::Find(int32 id) const
{
    auto found = fWindows.find(id);
    return found == fWindows.end() ? nullptr : &found->second;
}

// -- points and device pixels ---------------------------------------------------

// A backend reports whole device pixels, and each lies in one point. At
// scale 1 a value passes unchanged: headless tests inject fractions.
float DisplayServer::ToPoints(float pixels) const
{
    return fScale == 1 ? pixels : std::floor(pixels / float(fScale));
}

// A size in points that covers the pixels, so that the back buffer is never
// smaller than the window the backend shows.
int32 DisplayServer::ToPointSize(int32 pixels) const
{
    return (pixels + fScale - 1) / fScale;
}

void DisplayServer::ToPixels(BRect frame, int32* left, int32* top, int32* width,
                             int32* height) const
{
    *left = int32(frame.left) * fScale;
    *top = int32(frame.top) * fScale;
    *width = (frame.IntegerWidth() + 1) * fScale;
    *height = (frame.IntegerHeight() + 1) * fScale;
}

NativeEvent DisplayServer::InPoints(const NativeEvent& event) const
{
    NativeEvent converted = event;
    if (fScale == 1)
        return converted;
    converted.x = ToPoints(event.x);
    converted.y = ToPoints(event.y);
    converted.screenX = ToPoints(event.screenX);
    converted.screenY = ToPoints(event.screenY);
    converted.width = ToPointSize(event.width);
    converted.height = ToPointSize(event.height);
    return converted;
}

// -- window side ---------------------------------------------------------------

int32 DisplayServer::RegisterWindow(BLooper* looper, const WindowFeatures& features)
{
    std::lock_guard<std::mutex> lock(fLock);
    int32 id = fNextId++;
    Window& window = fWindows[id];
    window.id = id;
    window.looper = looper;
    window.messenger = BMessenger(looper);
    window.features = features;
    fOrder.push_back(id);
    return id;
}

void DisplayServer::UnregisterWindow(int32 id)
{
    {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(id);
        if (window == nullptr)
            return;
        if (window->framePending)
            fPendingFrames--;
        fWindows.erase(id);
        fOrder.erase(std::remove(fOrder.begin(), fOrder.end(), id), fOrder.end());
        fPopups.erase(std::remove(fPopups.begin(), fPopups.end(), id), fPopups.end());
        if (fPressWindow == id)
            fPressWindow = 0;
    }
    Request([this, id] {
        fBackend->DestroyWindow(id);
        std::lock_guard<std::mutex> lock(fLock);
        if (fActive == id)
            fActive = 0;
    });
}

void DisplayServer::SetTitle(int32 id, const char* title)
{
    std::string text = title != nullptr ? title : "";
    {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(id);
        if (window == nullptr)
            return;
        window->features.title = text;
        if (!window->created)
            return;
    }
    Request([this, id, text] { fBackend->SetTitle(id, text); });
}

void DisplayServer::SetFrame(int32 id, BRect frame)
{
    {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(id);
        if (window == nullptr)
            return;
        window->features.frame = frame;
        if (!window->created)
            return;
    }
    Request([this, id, frame] {
        int32 left, top, width, height;
        ToPixels(frame, &left, &top, &width, &height);
        fBackend->SetFrame(id, left, top, width, height);
    });
}

BRect DisplayServer::Frame(int32 id) const
{
    std::lock_guard<std::mutex> lock(fLock);
    const Window* window = Find(id);
    return window != nullptr ? window->features.frame : BRect();
}

void DisplayServer::SetVisible(int32 id, bool visible)
{
    {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(id);
        if (window == nullptr || window->visible == visible)
            return;
        window->visible = visible;
        fPopups.erase(std::remove(fPopups.begin(), fPopups.end(), id), fPopups.end());
        if (visible && window->features.popup)
            fPopups.push_back(id);
    }
    Request([this, id, visible] {
        WindowSpec spec;
        bool create = false;
        bool popup = false;
        {
            std::lock_guard<std::mutex> lock(fLock);
            Window* window = Find(id);
            if (window == nullptr)
                return;
            popup = window->features.popup;
            if (visible && !window->created) {
                const WindowFeatures& f = window->features;
                spec.title = f.title;
                ToPixels(f.frame, &spec.left, &spec.top, &spec.width, &spec.height);
                spec.resizable = f.resizable;
                spec.decorated = f.decorated;
                spec.popup = f.popup;
                spec.modal = f.modalApp;
                window->created = create = true;
            }
        }
        if (create && !fBackend->CreateWindow(id, spec)) {
            std::lock_guard<std::mutex> lock(fLock);
            if (Window* window = Find(id))
                window->created = false;
            return;
        }
        fBackend->SetVisible(id, visible);
        if (visible) {
            fBackend->Raise(id);
            // Whatever was drawn before the window existed is shown now.
            std::lock_guard<std::mutex> lock(fLock);
            if (Window* window = Find(id)) {
                if (window->frame && !window->framePending) {
                    window->framePending = true;
                    fPendingFrames++;
                }
            }
        }
        if (visible && !popup)
            SetActive(id);
        else if (!visible) {
            std::lock_guard<std::mutex> lock(fLock);
            if (fActive == id)
                fActive = 0;
        }
    });
}

bool DisplayServer::IsVisible(int32 id) const
{
    std::lock_guard<std::mutex> lock(fLock);
    const Window* window = Find(id);
    return window != nullptr && window->visible;
}

void DisplayServer::Activate(int32 id)
{
    Request([this, id] {
        bool visible;
        {
            std::lock_guard<std::mutex> lock(fLock);
            const Window* window = Find(id);
            visible = window != nullptr && window->visible && window->created;
        }
        if (!visible)
            return;
        fBackend->Raise(id);
        SetActive(id);
    });
}

int32 DisplayServer::ActiveWindow() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fActive;
}

void DisplayServer::SubmitFrame(int32 id, const uint8* pixels, int32 width, int32 height,
                                int32 stride)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(id);
        if (window == nullptr || width <= 0 || height <= 0)
            return;
        size_t rowBytes = size_t(width) * 4;
        // The main thread may still be presenting the last one.
        if (window->frame == nullptr || window->frame.use_count() > 1)
            window->frame = std::make_shared<std::vector<uint8>>();
        std::vector<uint8>& frame = *window->frame;
        frame.resize(rowBytes * size_t(height));
        for (int32 y = 0; y < height; y++)
            memcpy(frame.data() + rowBytes * size_t(y), pixels + size_t(stride) * size_t(y),
                   rowBytes);
        window->frameWidth = width;
        window->frameHeight = height;
        if (!window->framePending) {
            window->framePending = true;
            // One wake-up per batch: a busy window cannot flood the queue.
            wake = fPendingFrames++ == 0;
        }
    }
    if (wake)
        Wake();
}

void DisplayServer::GetPointer(BPoint* where, uint32* buttons) const
{
    std::lock_guard<std::mutex> lock(fLock);
    if (where != nullptr)
        *where = fPointer;
    if (buttons != nullptr)
        *buttons = fButtons;
}

BRect DisplayServer::ScreenFrame(BPoint near) const
{
    int32 left = 0, top = 0, width = 1024 * fScale, height = 768 * fScale;
    call_on_main_thread([&] {
        fBackend->ScreenFrame(int32(near.x) * fScale, int32(near.y) * fScale, &left, &top, &width,
                              &height);
    });
    // Only whole points of the screen.
    float pointLeft = ToPoints(float(left)), pointTop = ToPoints(float(top));
    return BRect(pointLeft, pointTop, pointLeft + float(width / fScale - 1),
                 pointTop + float(height / fScale - 1));
}

std::string DisplayServer::ClipboardText()
{
    std::string text;
    call_on_main_thread([&] { text = fBackend->ClipboardText(); });
    return text;
}

void DisplayServer::SetClipboardText(const std::string& text)
{
    call_on_main_thread([&] { fBackend->SetClipboardText(text); });
}

std::string DisplayServer::PrimaryText()
{
    std::string text;
    call_on_main_thread([&] { text = fBackend->PrimaryText(); });
    return text;
}

void DisplayServer::SetPrimaryText(const std::string& text)
{
    Request([this, text] { fBackend->SetPrimaryText(text); });
}

void DisplayServer::SetCursor(int32 id, CursorShape shape)
{
    {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(id);
        if (window == nullptr || window->cursor == shape)
            return;
        window->cursor = shape;
    }
    Request([this, id] {
        if (id == fPointerWindow)
            ShowCursorOf(id);
    });
}

void DisplayServer::SetPopupPassThrough(int32 id, BRect screen)
{
    std::lock_guard<std::mutex> lock(fLock);
    if (Window* window = Find(id))
        window->passThrough = screen;
}

uint32 DisplayServer::Modifiers() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fModifiers;
}

bool DisplayServer::ModalShown() const
{
    std::lock_guard<std::mutex> lock(fLock);
    for (const auto& [id, window] : fWindows) {
        if (window.visible && window.features.modalApp)
            return true;
    }
    return false;
}

// -- tests ---------------------------------------------------------------------

bool DisplayServer::CopyFrame(int32 id, std::vector<uint8>* pixels, int32* width,
                              int32* height) const
{
    std::lock_guard<std::mutex> lock(fLock);
    const Window* window = Find(id);
    if (window == nullptr || window->frame == nullptr)
        return false;
    *pixels = *window->frame;
    *width = window->frameWidth;
    *height = window->frameHeight;
    return true;
}

bool DisplayServer::IsIdle() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fRequests.empty() && fPendingFrames == 0 && !fPresenting;
}

std::vector<int32> DisplayServer::Windows() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fOrder;
}

BLooper* DisplayServer::WindowLooper(int32 id) const
{
    std::lock_guard<std::mutex> lock(fLock);
    const Window* window = Find(id);
    return window != nullptr ? window->looper : nullptr;
}

// -- main thread ---------------------------------------------------------------

void DisplayServer::Request(std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> lock(fLock);
        fRequests.push_back(std::move(work));
    }
    Wake();
}

void DisplayServer::RunRequests()
{
    for (;;) {
        std::vector<std::function<void()>> requests;
        {
            std::lock_guard<std::mutex> lock(fLock);
            requests.swap(fRequests);
        }
        if (requests.empty())
            return;
        for (auto& request : requests)
            request();
    }
}

// The backend gets the frames without the lock: window threads hand over
// their next frames meanwhile, and a backend that never comes back (the
// display gone under Xlib, see quit_and_exit_from_main_thread) leaves none
// of them waiting. The frames are shared meanwhile, and let go under the
// lock, so that a window overwrites its frame only when it has it alone.
void DisplayServer::PresentPending()
{
    struct Shown {
        int32 id;
        std::shared_ptr<std::vector<uint8>> pixels;
        int32 width, height;
    };
    std::vector<Shown> shown;
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (fPendingFrames == 0)
            return;
        for (auto& [id, window] : fWindows) {
            if (!window.framePending)
                continue;
            window.framePending = false;
            fPendingFrames--;
            if (window.created && window.visible)
                shown.push_back(Shown{id, window.frame, window.frameWidth, window.frameHeight});
        }
        fPresenting = true;
    }
    for (const Shown& frame : shown)
        fBackend->Present(frame.id, frame.pixels->data(), frame.width, frame.height,
                          frame.width * 4);
    std::lock_guard<std::mutex> lock(fLock);
    shown.clear();
    fPresenting = false;
}

void DisplayServer::Pump(bigtime_t timeout)
{
    NoticeLoss();
    RunRequests();
    PresentPending();
    fBackend->WaitEvents(timeout, this);
    RunRequests();
    PresentPending();
    NoticeLoss();
}

// The display went (its X server ended, with the session): the application
// quits as if the user had asked, and its windows go meanwhile without
// anything more reaching the display.
void DisplayServer::NoticeLoss()
{
    if (fLossNoticed || !fBackend->Lost())
        return;
    fLossNoticed = true;
    fprintf(stderr, "Pelmor: the connection to the display was lost; quitting\n");
    be_app_messenger.SendMessage(B_QUIT_REQUESTED);
}

void DisplayServer::Wake()
{
    fBackend->Wake();
}

void DisplayServer::Post(int32 id, BMessage* message, bool toFocus)
{
    BMessenger target;
    {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(id);
        if (window == nullptr)
            return;
        target = toFocus ? BMessenger(nullptr, window->looper) : window->messenger;
    }
    target._SendInput(message);
}

void DisplayServer::SetActive(int32 id)
{
    int32 previous;
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (fActive == id)
            return;
        previous = fActive;
        fActive = id;
    }
    if (previous != 0) {
        BMessage off(B_WINDOW_ACTIVATED);
        off.AddBool("active", false);
        Post(previous, &off);
    }
    if (id != 0) {
        BMessage on(B_WINDOW_ACTIVATED);
        on.AddBool("active", true);
        Post(id, &on);
    }
}

void DisplayServer::ShowCursorOf(int32 id)
{
    CursorShape shape = CursorShape::kArrow;
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (const Window* window = Find(id))
            shape = window->cursor;
    }
    fBackend->SetCursor(shape);
}

int32 DisplayServer::CountClicks(const NativeEvent& event, uint32 button)
{
    ClickSettings settings = fBackend->DoubleClickSettings();
    bigtime_t now = system_time();
    BPoint where(event.screenX, event.screenY);
    const Press& last = fLastPress;
    int32 clicks = 1;
    // The desktop gives the distance in its pixels; presses are in points.
    float distance = float(settings.distance) / float(fScale);
    if (last.window == event.window && last.button == button && now - last.when <= settings.time &&
        std::fabs(where.x - last.where.x) <= distance &&
        std::fabs(where.y - last.where.y) <= distance)
        clicks = last.clicks + 1;
    clicks = std::min(clicks, std::max<int32>(event.clicks, 1));
    fLastPress = Press{event.window, button, now, where, clicks};
    return clicks;
}

bool DisplayServer::DismissPopups(BPoint where)
{
    std::vector<BMessenger> popups;
    {
        std::lock_guard<std::mutex> lock(fLock);
        for (int32 id : fPopups) {
            if (const Window* window = Find(id))
                popups.push_back(window->messenger);
        }
    }
    for (BMessenger& popup : popups) {
        BMessage dismiss(kPopupDismiss);
        dismiss.AddPoint("screen_where", where);
        popup.SendMessage(&dismiss);
    }
    return !popups.empty();
}

// While a modal-app window shows, only it and pop-up menus take input.
bool DisplayServer::AcceptsInput(int32 id) const
{
    const Window* window = Find(id);
    if (window == nullptr)
        return false;
    if (window->features.popup || window->features.modalApp)
        return true;
    for (const auto& [other, w] : fWindows) {
        if (w.visible && w.features.modalApp)
            return false;
    }
    return true;
}

void DisplayServer::HandleEvent(const NativeEvent& native)
{
    const NativeEvent event = InPoints(native);
    bool accepts;
    bool popup = false;
    bool passThrough = false;
    int32 modal = 0;
    uint32 buttonsBefore;
    bool pointerEvent =
        event.type == NativeEvent::MOUSE_DOWN || event.type == NativeEvent::MOUSE_UP ||
        event.type == NativeEvent::MOUSE_MOVED || event.type == NativeEvent::MOUSE_WHEEL;
    {
        std::lock_guard<std::mutex> lock(fLock);
        buttonsBefore = fButtons;
        if (pointerEvent) {
            fPointer.Set(event.screenX, event.screenY);
            fButtons = event.buttons;
        }
        for (int32 id : fPopups) {
            const Window* shown = Find(id);
            if (shown != nullptr &&
                shown->passThrough.Contains(BPoint(event.screenX, event.screenY)))
                passThrough = true;
        }
        if (event.type <= NativeEvent::KEY_UP)
            fModifiers = event.modifiers;
        accepts = AcceptsInput(event.window);
        if (const Window* window = Find(event.window))
            popup = window->features.popup;
        for (const auto& [id, w] : fWindows) {
            if (w.visible && w.features.modalApp)
                modal = id;
        }
    }

    if (pointerEvent && event.window != fPointerWindow) {
        fPointerWindow = event.window;
        ShowCursorOf(event.window);
    }
    // A press outside the open menus closes them and goes no further, nor
    // do its drag and release: the click was spent on closing.
    if (event.type == NativeEvent::MOUSE_DOWN && !popup && !passThrough &&
        DismissPopups(BPoint(event.screenX, event.screenY))) {
        fSwallowing = true;
        return;
    }
    if (fSwallowing &&
        (event.type == NativeEvent::MOUSE_UP || event.type == NativeEvent::MOUSE_MOVED)) {
        if (event.buttons == 0)
            fSwallowing = false;
        if (event.type == NativeEvent::MOUSE_UP || event.buttons != 0)
            return;
    }

    BMessage message;
    bool toFocus = false;
    int32 target = event.window;
    switch (event.type) {
    case NativeEvent::MOUSE_DOWN:
    case NativeEvent::MOUSE_UP:
    case NativeEvent::MOUSE_MOVED:
        if (!accepts) {
            if (event.type == NativeEvent::MOUSE_DOWN && modal != 0)
                Activate(modal);
            return;
        }
        message.what = event.type == NativeEvent::MOUSE_DOWN ? B_MOUSE_DOWN
                       : event.type == NativeEvent::MOUSE_UP ? B_MOUSE_UP
                                                             : B_MOUSE_MOVED;
        if (event.type == NativeEvent::MOUSE_DOWN) {
            {
                std::lock_guard<std::mutex> lock(fLock);
                fPressWindow = event.window;
            }
            if (!popup)
                SetActive(event.window);
        }
        message.AddInt64("when", system_time());
        message.AddPoint("where", BPoint(event.x, event.y));
        message.AddPoint("screen_where", BPoint(event.screenX, event.screenY));
        message.AddInt32("buttons", int32(event.buttons));
        message.AddInt32("modifiers", int32(event.modifiers));
        if (event.type == NativeEvent::MOUSE_DOWN) {
            uint32 button = event.buttons & ~buttonsBefore;
            if (button == 0)
                button = event.buttons;
            message.AddInt32("clicks", CountClicks(event, button));
        }
        break;
    case NativeEvent::MOUSE_WHEEL:
        if (!accepts)
            return;
        message.what = B_MOUSE_WHEEL_CHANGED;
        message.AddInt64("when", system_time());
        message.AddPoint("where", BPoint(event.x, event.y));
        message.AddFloat("be:wheel_delta_x", event.wheelX);
        message.AddFloat("be:wheel_delta_y", event.wheelY);
        message.AddInt32("modifiers", int32(event.modifiers));
        break;
    case NativeEvent::KEY_DOWN:
    case NativeEvent::KEY_UP: {
        // An open menu takes the keyboard from the window it belongs to.
        int32 popupId = 0;
        {
            std::lock_guard<std::mutex> lock(fLock);
            if (!fPopups.empty())
                popupId = fPopups.back();
        }
        if (popupId != 0)
            target = popupId;
        else if (!accepts) {
            return;
        }
        message.what = event.type == NativeEvent::KEY_DOWN ? B_KEY_DOWN : B_KEY_UP;
        message.AddInt64("when", system_time());
        message.AddInt32("modifiers", int32(event.modifiers));
        message.AddInt32("key", event.key);
        message.AddInt8("byte", int8(event.bytes.empty() ? 0 : event.bytes[0]));
        message.AddString("bytes", event.bytes.c_str());
        message.AddInt32("raw_char", event.bytes.empty() ? 0 : uint8(event.bytes[0]));
        // Keys go to the focus view (the window's preferred handler), so
        // that its filters see them first.
        toFocus = true;
        break;
    }
    case NativeEvent::WINDOW_CLOSE:
        if (!accepts)
            return;
        // Open menus never see the window manager's close button or key:
        // they close first, since the window may be waiting for their
        // answer and would take the request only then.
        DismissPopups(BPoint(event.screenX, event.screenY));
        message.what = B_QUIT_REQUESTED;
        break;
    case NativeEvent::WINDOW_FOCUS:
        if (event.active && !popup)
            SetActive(event.window);
        // The user went to another window or application: open menus
        // close, as they would on a press there.
        if (!event.active && !popup)
            DismissPopups(BPoint(event.screenX, event.screenY));
        return;
    case NativeEvent::WINDOW_MOVED: {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(event.window);
        if (window == nullptr)
            return;
        window->features.frame.OffsetTo(event.x, event.y);
        message.what = B_WINDOW_MOVED;
        message.AddPoint("where", BPoint(event.x, event.y));
        break;
    }
    case NativeEvent::WINDOW_RESIZED: {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(event.window);
        if (window == nullptr || event.width <= 0 || event.height <= 0)
            return;
        BRect& frame = window->features.frame;
        frame.right = frame.left + float(event.width - 1);
        frame.bottom = frame.top + float(event.height - 1);
        message.what = B_WINDOW_RESIZED;
        message.AddInt32("width", event.width - 1);
        message.AddInt32("height", event.height - 1);
        break;
    }
    case NativeEvent::WINDOW_EXPOSED: {
        std::lock_guard<std::mutex> lock(fLock);
        Window* window = Find(event.window);
        if (window != nullptr && window->frame && !window->framePending) {
            window->framePending = true;
            fPendingFrames++;
        }
        return;
    }
    }
    Post(target, &message, toFocus);
}

} // namespace BPrivate
