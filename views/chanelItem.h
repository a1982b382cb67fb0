#pragma once

// One row of a server's channel list: the text of one channel-list reply
// (channel name, user count and topic), drawn in the fixed font.

#include <ListItem.h>

class chanelItem : public BListItem
{
public:
    // Keeps a copy of `name`; null stays null.
    explicit chanelItem(const char* name);
    ~chanelItem() override;

    void DrawItem(BView* owner, BRect frame, bool complete = false) override;

    const char* get_name() const { return m_name; }
    void rename(const char* name);

    chanelItem(const chanelItem&) = delete;
    chanelItem& operator=(const chanelItem&) = delete;

private:
    char* m_name;
};
