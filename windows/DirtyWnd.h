#pragma once

// The unread mark of a server or channel window: set when text arrives
// while the window is not the active one, cleared when it is activated.
// Status bars of other windows read it, hence atomic.

#include <atomic>

class DirtyWnd
{
public:
    virtual ~DirtyWnd() = default;
    virtual bool is_dirty() const { return m_dirty.load(); }

protected:
    std::atomic<bool> m_dirty{false};
};
