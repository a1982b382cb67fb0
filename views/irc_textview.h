#pragma once

// The read-only output text of an IRCView ("srv_txt"). It keeps the
// keyboard from moving through the output: typing while reading goes to
// the input line, and Enter sends the input line as Enter there does.

#include <TextView.h>

class irc_textview : public BTextView
{
public:
    irc_textview(BRect frame, const char* name, BRect textRect);
    ~irc_textview() override;

    void MessageReceived(BMessage* message) override;
    void KeyDown(const char* bytes, int32 numBytes) override;
};
