#include "myText.h"

#include <MessageFilter.h>
#include <TextView.h>

myText::myText(BMessageFilter* filter, BRect frame, const char* name, const char* label,
               const char* text, BMessage* message, uint32 resizingMode, uint32 flags)
    : BTextControl(frame, name, label, text, message, resizingMode, flags), m_filter(filter),
      m_draw(true)
{
    if (m_filter != nullptr)
        TextView()->AddFilter(m_filter);
}

myText::~myText()
{
    if (m_filter != nullptr && TextView()->RemoveFilter(m_filter))
        delete m_filter;
}

void myText::Draw(BRect update)
{
    if (m_draw)
        BTextControl::Draw(update);
}
