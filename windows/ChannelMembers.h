#pragma once

// Who may be listed in each channel window of a server, as the server
// window sees the lines it routes: a QUIT or NICK then goes only to the
// windows that may list its sender, not to every channel window (with
// twenty channels, most of a busy server's QUITs and NICKs would wake
// windows that do nothing with them).
//
// The sets follow the lines the server window posts to each window, with
// the parsing the window itself uses, so a name a window lists is always
// in its set: names are added as the window adds rows, and removed only
// where the window removes its row for certain. A set may hold more (a
// name whose row the window never made); that costs a message, never a
// missed one.

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class ChannelMembers
{
public:
    // A new window at `window`: it lists nobody yet.
    void reset(const void* window);
    // Drops the sets of windows not in `open`.
    void keep_only(const std::vector<const void*>& open);

    // A names reply's params posted to `window`.
    void names(const void* window, const std::string& params);
    // A JOIN, PART or KICK (command and params as in the 'irc' message)
    // posted to `window`, from `from`.
    void channel_line(const void* window, const char* command, const char* from,
                      const std::string& params);

    // Whether `window` may list `name` (marks aside).
    bool may_list(const void* window, const char* name) const;
    // `name` left the server: no window lists it any more.
    void quit(const char* name);
    // `from` is now `to` in every window that listed `from`.
    void rename(const char* from, const char* to);

    size_t windows() const { return m_sets.size(); }

private:
    static std::string bare(const char* name);

    std::unordered_map<const void*, std::unordered_set<std::string>> m_sets;
};
