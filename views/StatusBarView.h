#pragma once

// The thin bar along the bottom of the server, channel and private
// windows: one cell per window of the same connection, labelled with its
// name, dark red while the window holds text the user has not seen. A
// click brings that window to the front. On every pulse the bar compares
// its cells with its server's channel windows and their unread flags, and
// redraws only when something changed.
//
// The bar lives in one window's thread and describes windows that run in
// others and may close at any moment, so it never touches them: the
// server window publishes its list of channel windows (WindowList) each
// time the list changes, every entry carrying the window's unread flag
// (shared with the window, so it outlives it) and a messenger (which
// fails once the window has gone).

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <List.h>
#include <Messenger.h>
#include <View.h>

// A window as the bars see it.
struct BarWindow {
    const BWindow* wnd = nullptr; // identity only, never followed
    std::string name;
    BMessenger messenger;
    std::shared_ptr<const std::atomic<bool>> dirty;
};

// A server window's channel windows, in list order, as last published.
class WindowList
{
public:
    void Publish(std::vector<BarWindow> windows);
    std::shared_ptr<const std::vector<BarWindow>> Get() const;

private:
    mutable std::mutex fLock;
    std::shared_ptr<const std::vector<BarWindow>> fWindows =
        std::make_shared<const std::vector<BarWindow>>();
};

// One cell: the window, its label (at most 63 bytes), and its unread flag
// as last seen.
struct statusItem {
    const BWindow* wnd;
    char name[64];
    bool dirty;
    BMessenger messenger;
    std::shared_ptr<const std::atomic<bool>> flag;
};

class StatusBarView : public BView
{
public:
    // Adds itself to `window`.
    StatusBarView(BWindow* window, BRect frame);
    ~StatusBarView() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void Draw(BRect update) override;
    void MouseDown(BPoint where) override;
    void Pulse() override;

    // The channel windows to mirror; without a list the bar has no cells
    // but the first.
    void AddList(std::shared_ptr<const WindowList> list);
    // A leading "Server" cell for this window.
    void AddFirst(const BarWindow& window);
    // The index among the cells after the first of the one for `window`,
    // or -1 (always -1 without a list).
    int32 find_item(const BWindow* window);
    // Brings the cells up to date; sets the changed flag when one was
    // added, removed or changed its unread state.
    void check_window();

    // For tests: the labels drawn, in order, and whether each is unread.
    std::vector<std::pair<std::string, bool>> Cells() const;

private:
    statusItem* cell_at(int32 index);

    statusItem m_first;
    std::shared_ptr<const WindowList> m_list;
    BList m_items;
    bool m_changed;
};
