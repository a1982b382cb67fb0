#include "HeadlessBackend.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace BPrivate
{

DisplayBackend* create_headless_backend(int32 scale)
{
    return new HeadlessBackend(scale);
}

HeadlessBackend::HeadlessBackend(int32 scale) : fScale(scale == 2 ? 2 : 1) {}

HeadlessBackend::~HeadlessBackend() {}

void HeadlessBackend::ScreenFrame(int32, int32, int32* left, int32* top, int32* width,
                                  int32* height)
{
    *left = 0;
    *top = 0;
    *width = 1024 * fScale;
    *height = 768 * fScale;
}

bool HeadlessBackend::CreateWindow(int32 id, const WindowSpec& spec)
{
    std::lock_guard<std::mutex> lock(fLock);
    fWindows[id].spec = spec;
    fStack.push_back(id);
    return true;
}

void HeadlessBackend::DestroyWindow(int32 id)
{
    std::lock_guard<std::mutex> lock(fLock);
    fWindows.erase(id);
    fStack.erase(std::remove(fStack.begin(), fStack.end(), id), fStack.end());
}

void HeadlessBackend::SetTitle(int32 id, const std::string& title)
{
    std::lock_guard<std::mutex> lock(fLock);
    auto found = fWindows.find(id);
    if (found != fWindows.end())
        found->second.spec.title = title;
}

void HeadlessBackend::SetFrame(int32 id, int32 left, int32 top, int32 width, int32 height)
{
    std::lock_guard<std::mutex> lock(fLock);
    auto found = fWindows.find(id);
    if (found == fWindows.end())
        return;
    found->second.spec.left = left;
    found->second.spec.top = top;
    found->second.spec.width = width;
    found->second.spec.height = height;
}

void HeadlessBackend::SetVisible(int32 id, bool visible)
{
    std::lock_guard<std::mutex> lock(fLock);
    auto found = fWindows.find(id);
    if (found != fWindows.end())
        found->second.visible = visible;
}

void HeadlessBackend::Raise(int32 id)
{
    std::lock_guard<std::mutex> lock(fLock);
    auto found = fWindows.find(id);
    if (found == fWindows.end())
        return;
    found->second.raises++;
    fStack.erase(std::remove(fStack.begin(), fStack.end(), id), fStack.end());
    fStack.push_back(id);
}

void HeadlessBackend::Present(int32 id, const uint8* pixels, int32 width, int32 height,
                              int32 stride)
{
    std::lock_guard<std::mutex> lock(fLock);
    auto found = fWindows.find(id);
    if (found == fWindows.end())
        return;
    WindowState& state = found->second;
    state.width = width;
    state.height = height;
    size_t rowBytes = size_t(width) * 4;
    state.pixels.resize(rowBytes * size_t(height));
    for (int32 y = 0; y < height; y++)
        memcpy(state.pixels.data() + rowBytes * size_t(y), pixels + size_t(stride) * size_t(y),
               rowBytes);
}

void HeadlessBackend::WaitEvents(bigtime_t timeout, EventSink* sink)
{
    std::deque<NativeEvent> events;
    {
        std::unique_lock<std::mutex> lock(fLock);
        fWakeUp.wait_for(lock, std::chrono::microseconds(std::max<bigtime_t>(timeout, 0)),
                         [this] { return fWoken || !fEvents.empty(); });
        fWoken = false;
        events.swap(fEvents);
        fHandling = int32(events.size());
    }
    for (const NativeEvent& event : events) {
        sink->HandleEvent(event);
        std::lock_guard<std::mutex> lock(fLock);
        fHandling--;
    }
}

void HeadlessBackend::Wake()
{
    std::lock_guard<std::mutex> lock(fLock);
    fWoken = true;
    fWakeUp.notify_all();
}

void HeadlessBackend::PointerState(float* screenX, float* screenY, uint32* buttons)
{
    std::lock_guard<std::mutex> lock(fLock);
    *screenX = fPointerX;
    *screenY = fPointerY;
    *buttons = fButtons;
}

std::string HeadlessBackend::ClipboardText()
{
    std::lock_guard<std::mutex> lock(fLock);
    return fClipboard;
}

void HeadlessBackend::SetClipboardText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(fLock);
    fClipboard = text;
}

std::string HeadlessBackend::PrimaryText()
{
    std::lock_guard<std::mutex> lock(fLock);
    return fPrimary;
}

void HeadlessBackend::SetPrimaryText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(fLock);
    fPrimary = text;
}

void HeadlessBackend::SetCursor(CursorShape shape)
{
    std::lock_guard<std::mutex> lock(fLock);
    fCursor = shape;
}

CursorShape HeadlessBackend::Cursor() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fCursor;
}

ClickSettings HeadlessBackend::DoubleClickSettings()
{
    std::lock_guard<std::mutex> lock(fLock);
    return fClicks;
}

void HeadlessBackend::SetDoubleClickSettings(const ClickSettings& settings)
{
    std::lock_guard<std::mutex> lock(fLock);
    fClicks = settings;
}

void HeadlessBackend::Lose()
{
    fLost = true;
    Wake();
}

void HeadlessBackend::Inject(const NativeEvent& event)
{
    std::lock_guard<std::mutex> lock(fLock);
    NativeEvent copy = event;
    auto found = fWindows.find(event.window);
    if (found != fWindows.end()) {
        copy.screenX = float(found->second.spec.left) + event.x;
        copy.screenY = float(found->second.spec.top) + event.y;
    }
    if (copy.type == NativeEvent::MOUSE_DOWN || copy.type == NativeEvent::MOUSE_UP ||
        copy.type == NativeEvent::MOUSE_MOVED) {
        fPointerX = copy.screenX;
        fPointerY = copy.screenY;
        fButtons = copy.buttons;
    }
    fEvents.push_back(copy);
    fWakeUp.notify_all();
}

bool HeadlessBackend::EventsDone() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fEvents.empty() && fHandling == 0;
}

bool HeadlessBackend::State(int32 id, WindowState* state) const
{
    std::lock_guard<std::mutex> lock(fLock);
    auto found = fWindows.find(id);
    if (found == fWindows.end())
        return false;
    *state = found->second;
    return true;
}

int32 HeadlessBackend::WindowAt(float screenX, float screenY) const
{
    std::lock_guard<std::mutex> lock(fLock);
    for (auto it = fStack.rbegin(); it != fStack.rend(); ++it) {
        const WindowState& state = fWindows.at(*it);
        const WindowSpec& spec = state.spec;
        if (state.visible && screenX >= spec.left && screenX < spec.left + spec.width &&
            screenY >= spec.top && screenY < spec.top + spec.height)
            return *it;
    }
    return 0;
}

} // namespace BPrivate
