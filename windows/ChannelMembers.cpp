#include "ChannelMembers.h"

#include <algorithm>
#include <cstring>

#include "ChildText.h"
#include "nickitem.h"

std::string ChannelMembers::bare(const char* name)
{
    // The key the window's list uses for a row.
    char out[64];
    bool op;
    nickitem::strip_marks(name, out, &op);
    return out;
}

void ChannelMembers::reset(const void* window)
{
    m_sets[window].clear();
}

void ChannelMembers::keep_only(const std::vector<const void*>& open)
{
    for (auto it = m_sets.begin(); it != m_sets.end();) {
        if (std::find(open.begin(), open.end(), it->first) == open.end())
            it = m_sets.erase(it);
        else
            ++it;
    }
}

void ChannelMembers::names(const void* window, const std::string& params)
{
    auto& set = m_sets[window];
    for (const std::string& name : names_in_reply(params))
        set.insert(bare(name.c_str()));
}

void ChannelMembers::channel_line(const void* window, const char* command, const char* from,
                                  const std::string& params)
{
    if (from == nullptr)
        from = "";
    auto& set = m_sets[window];
    if (strcmp(command, "JOIN") == 0) {
        set.insert(bare(from));
    } else if (strcmp(command, "PART") == 0) {
        set.erase(bare(from));
    } else if (strcmp(command, "KICK") == 0) {
        size_t colon;
        std::string victim = kick_victim(params, &colon);
        // The window removes the row only for a KICK with a reason.
        if (colon != std::string::npos)
            set.erase(bare(victim.c_str()));
    }
    // Our own PART or KICK empties the window's list; the set keeps its
    // names, which is allowed, and the next names reply refills both.
}

bool ChannelMembers::may_list(const void* window, const char* name) const
{
    auto it = m_sets.find(window);
    return it != m_sets.end() && it->second.count(bare(name != nullptr ? name : "")) != 0;
}

void ChannelMembers::quit(const char* name)
{
    const std::string key = bare(name != nullptr ? name : "");
    for (auto& [window, set] : m_sets)
        set.erase(key);
}

void ChannelMembers::rename(const char* from, const char* to)
{
    const std::string old = bare(from != nullptr ? from : "");
    const std::string now = bare(to != nullptr ? to : "");
    for (auto& [window, set] : m_sets) {
        if (set.erase(old) != 0)
            set.insert(now);
    }
}
