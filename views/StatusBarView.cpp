#include "StatusBarView.h"
#include "BringToFront.h"
#include "ViewColors.h"

#include <cstring>
#include <strings.h>

#include <Font.h>
#include <OS.h>
#include <Window.h>

namespace
{

const rgb_color sc_unread = {128, 0, 0, 255};
const rgb_color sc_read = {0, 0, 0, 255};
const float sc_pitch = 52;

// A label cut to its cell's 63 bytes, never inside a character.
void copy_name(char (&out)[64], const std::string& name)
{
    size_t length = std::min(name.size(), sizeof(out) - 1);
    if (length < name.size()) {
        while (length > 0 && (uint8(name[length]) & 0xC0) == 0x80)
            length--;
    }
    memcpy(out, name.data(), length);
    out[length] = '\0';
}

bool read_flag(const std::shared_ptr<const std::atomic<bool>>& flag)
{
    return flag != nullptr && flag->load(std::memory_order_relaxed);
}

} // namespace

void WindowList::Publish(std::vector<BarWindow> windows)
{
    auto fresh = std::make_shared<const std::vector<BarWindow>>(std::move(windows));
    std::lock_guard<std::mutex> lock(fLock);
    fWindows = std::move(fresh);
}

std::shared_ptr<const std::vector<BarWindow>> WindowList::Get() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fWindows;
}

StatusBarView::StatusBarView(BWindow* window, BRect frame)
    : BView(frame, "statusbar", B_FOLLOW_LEFT | B_FOLLOW_BOTTOM, B_WILL_DRAW | B_PULSE_NEEDED),
      m_first{nullptr, "Server", false, {}, nullptr}, m_items(20), m_changed(false)
{
    BFont font(be_fixed_font);
    font.SetFlags(B_DISABLE_ANTIALIASING);
    font.SetSize(12);
    SetFont(&font, B_FONT_ALL);
    if (window != nullptr)
        window->AddChild(this);
}

StatusBarView::~StatusBarView()
{
    for (int32 i = 0; i < m_items.CountItems(); i++)
        delete static_cast<statusItem*>(m_items.ItemAt(i));
}

void StatusBarView::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}

void StatusBarView::AttachedToWindow()
{
    SetViewColor(sc_viewcolor);
    SetHighColor(sc_highcolor);
    SetLowColor(sc_lowcolor);
    BView::AttachedToWindow();
}

void StatusBarView::AddList(std::shared_ptr<const WindowList> list)
{
    m_list = std::move(list);
}

void StatusBarView::AddFirst(const BarWindow& window)
{
    m_first.wnd = window.wnd;
    strcpy(m_first.name, "Server");
    m_first.dirty = false;
    m_first.messenger = window.messenger;
    m_first.flag = window.dirty;
}

int32 StatusBarView::find_item(const BWindow* window)
{
    if (m_list == nullptr)
        return -1;
    for (int32 i = 0; i < m_items.CountItems(); i++) {
        if (static_cast<statusItem*>(m_items.ItemAt(i))->wnd == window)
            return i;
    }
    return -1;
}

void StatusBarView::check_window()
{
    m_changed = false;
    if (m_list == nullptr)
        return;
    std::shared_ptr<const std::vector<BarWindow>> windows = m_list->Get();

    // Windows seen for the first time go to the end.
    for (const BarWindow& window : *windows) {
        if (find_item(window.wnd) != -1)
            continue;
        auto* item =
            new statusItem{window.wnd, {}, read_flag(window.dirty), window.messenger, window.dirty};
        copy_name(item->name, window.name);
        m_items.AddItem(item);
        m_changed = true;
    }

    // Cells whose name is no longer listed belong to windows that closed.
    for (int32 i = 0; i < m_items.CountItems();) {
        auto* item = static_cast<statusItem*>(m_items.ItemAt(i));
        const BarWindow* found = nullptr;
        for (const BarWindow& window : *windows) {
            char label[64];
            copy_name(label, window.name);
            if (strcasecmp(label, item->name) == 0) {
                found = &window;
                break;
            }
        }
        if (found == nullptr) {
            m_items.RemoveItem(i);
            delete item;
            m_changed = true;
            continue;
        }
        const bool dirty = read_flag(found->dirty);
        if (dirty != item->dirty) {
            item->dirty = dirty;
            m_changed = true;
        }
        i++;
    }

    if (m_first.wnd != nullptr) {
        const bool dirty = read_flag(m_first.flag);
        if (dirty != m_first.dirty) {
            m_first.dirty = dirty;
            m_changed = true;
        }
    }
}

void StatusBarView::Pulse()
{
    check_window();
    if (m_changed)
        Invalidate();
    BView::Pulse();
}

statusItem* StatusBarView::cell_at(int32 index)
{
    if (index < 0)
        return nullptr;
    if (m_first.wnd != nullptr) {
        if (index == 0)
            return &m_first;
        index--;
    }
    return static_cast<statusItem*>(m_items.ItemAt(index));
}

std::vector<std::pair<std::string, bool>> StatusBarView::Cells() const
{
    std::vector<std::pair<std::string, bool>> cells;
    if (m_first.wnd != nullptr)
        cells.emplace_back(m_first.name, m_first.dirty);
    for (int32 i = 0; i < m_items.CountItems(); i++) {
        auto* item = static_cast<statusItem*>(m_items.ItemAt(i));
        cells.emplace_back(item->name, item->dirty);
    }
    return cells;
}

void StatusBarView::Draw(BRect)
{
    BRect r = Bounds();
    r.top += 2;
    const rgb_color high = HighColor();
    font_height height;
    GetFontHeight(&height);

    float x = 0;
    for (int32 k = 0;; k++) {
        statusItem* item = cell_at(k);
        if (item == nullptr)
            break;
        SetHighColor(ViewColor());
        FillRect(BRect(x, r.top, x + 50, r.bottom));
        SetHighColor(high);
        StrokeLine(BPoint(x, r.top), BPoint(x, r.bottom));
        x += 1;
        MovePenTo(BPoint(x, r.top + height.ascent + height.leading));
        SetHighColor(item->dirty ? sc_unread : sc_read);
        DrawString(item->name);
        x += 50;
        SetHighColor(LowColor());
        StrokeLine(BPoint(x, r.top), BPoint(x, r.bottom));
        x += 1;
    }
    x += 1;
    SetHighColor(ViewColor());
    FillRect(BRect(x, r.top, r.right, r.bottom));

    const BRect all = Bounds();
    SetPenSize(1);
    SetHighColor(LowColor());
    StrokeLine(BPoint(all.left, 0), BPoint(all.right, 0));
    SetHighColor(high);
    StrokeLine(BPoint(all.left, 1), BPoint(all.left, all.bottom));
    StrokeLine(BPoint(all.left, 1), BPoint(all.right, 1));
}

void StatusBarView::MouseDown(BPoint where)
{
    BView::MouseDown(where);
    if (where.x < 0)
        return;
    const int32 index = int32(where.x / sc_pitch);
    statusItem* item = cell_at(index);
    if (item == nullptr)
        return;
    const drawing_mode mode = DrawingMode();
    SetDrawingMode(B_OP_INVERT);
    const BRect cell(sc_pitch * index, 1, sc_pitch * (index + 1) - 1, Bounds().Height());
    FillRect(cell);
    Sync();
    // Through the messenger: a window that closed meanwhile is not there,
    // and the click then does nothing.
    bring_to_front(item->messenger);
    snooze(100000);
    FillRect(cell);
    SetDrawingMode(mode);
}
