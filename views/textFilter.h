#pragma once

// The key filter of every one-line text control (myText). Enter never
// sends anything itself: it posts 'ntr' to the window with a pointer to
// the control's model message, and the window reads and clears the line.
// With `keep`, the lines sent are remembered and Up and Down recall them.

#include <List.h>
#include <MessageFilter.h>

class textFilter : public BMessageFilter
{
public:
    explicit textFilter(bool keep);
    ~textFilter() override;

    filter_result Filter(BMessage* message, BHandler** target) override;

    // The lines sent so far, oldest first, and the one being shown (-1:
    // the user is not browsing them).
    int32 CountHistory() const { return m_history.CountItems(); }
    const char* HistoryAt(int32 index) const;
    int32 HistoryIndex() const { return m_index; }

private:
    void recall(class BTextView* view, bool up);

    BList m_history; // char*, owned
    int32 m_index;
    bool m_keep;
};
