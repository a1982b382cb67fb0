#include "textFilter.h"

#include <cstdlib>
#include <cstring>

#include <AppDefs.h>
#include <Control.h>
#include <InterfaceDefs.h>
#include <IrcCodes.h>
#include <Message.h>
#include <TextView.h>
#include <Window.h>

textFilter::textFilter(bool keep)
    : BMessageFilter(B_ANY_DELIVERY, B_ANY_SOURCE, B_KEY_DOWN), m_history(20), m_index(-1),
      m_keep(keep)
{
}

textFilter::~textFilter()
{
    for (int32 i = 0; i < m_history.CountItems(); i++)
        free(m_history.ItemAt(i));
}

const char* textFilter::HistoryAt(int32 index) const
{
    return static_cast<const char*>(m_history.ItemAt(index));
}

filter_result textFilter::Filter(BMessage* message, BHandler** target)
{
    int32 modifiers = 0;
    if (message->FindInt32("modifiers", &modifiers) == B_OK && (modifiers & B_COMMAND_KEY) != 0)
        return B_DISPATCH_MESSAGE;
    int8 byte = 0;
    message->FindInt8("byte", &byte);
    if (byte < B_TAB || byte > B_DOWN_ARROW)
        return B_DISPATCH_MESSAGE;
    BTextView* view = target != nullptr ? dynamic_cast<BTextView*>(*target) : nullptr;
    if (view == nullptr)
        return B_DISPATCH_MESSAGE;

    switch (byte) {
    case B_ENTER: {
        const char* text = view->Text();
        if (text == nullptr)
            return B_SKIP_MESSAGE;
        if (m_keep) {
            m_history.AddItem(strdup(text));
            m_index = -1;
        }
        BControl* control = dynamic_cast<BControl*>(view->Parent());
        BWindow* window = view->Window();
        if (window != nullptr) {
            BMessage enter(MSG_NTR);
            enter.AddPointer("target", control != nullptr ? control->Message() : nullptr);
            window->PostMessage(&enter);
        }
        return B_SKIP_MESSAGE;
    }
    case B_UP_ARROW:
    case B_DOWN_ARROW:
        if (m_keep)
            recall(view, byte == B_UP_ARROW);
        return B_SKIP_MESSAGE;
    default:
        return B_DISPATCH_MESSAGE;
    }
}

void textFilter::recall(BTextView* view, bool up)
{
    const char* entry = nullptr;
    if (up) {
        if (m_index == -1) {
            m_index = m_history.CountItems() - 1;
        } else if (--m_index < 0) {
            m_index = 0; // Up stops at the oldest line
        }
        entry = HistoryAt(m_index);
    } else if (m_index != -1) {
        entry = HistoryAt(++m_index);
        if (entry == nullptr)
            m_index = -1;
    }

    view->SetText(entry != nullptr ? entry : "");
    if (entry == nullptr || entry[0] == '/')
        return;
    // A chat line shows with all but its first word selected, ready to be
    // typed over.
    const char* blank = strchr(entry, ' ');
    if (blank != nullptr)
        view->Select(int32(blank - entry) + 1, int32(strlen(entry)));
}
