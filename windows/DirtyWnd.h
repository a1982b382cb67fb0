#pragma once

// The unread mark of a server or channel window: set when text arrives
// while the window is not the active one, cleared when it is activated.
// Status bars in other windows' threads read it, and may still hold it
// after the window has gone, hence a shared atomic flag.

#include <atomic>
#include <memory>

class DirtyWnd
{
public:
    virtual ~DirtyWnd() = default;
    virtual bool is_dirty() const { return m_dirty->load(); }
    std::shared_ptr<const std::atomic<bool>> dirty_flag() const { return m_dirty; }

protected:
    void set_dirty(bool dirty) { m_dirty->store(dirty); }

private:
    std::shared_ptr<std::atomic<bool>> m_dirty = std::make_shared<std::atomic<bool>>(false);
};
