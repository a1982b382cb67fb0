#pragma once

// The one-line text control of the input line, the topic field and the
// combo box: a BTextControl whose text view carries a key filter, and which
// can leave its own label and frame undrawn so that only its text shows.

#include <TextControl.h>

class BMessageFilter;

class myText : public BTextControl
{
public:
    // Owns `filter` and `message`.
    myText(BMessageFilter* filter, BRect frame, const char* name, const char* label,
           const char* text, BMessage* message, uint32 resizingMode, uint32 flags);
    ~myText() override;

    void Draw(BRect update) override;

    void set_draw(bool draw) { m_draw = draw; }
    bool get_draw() const { return m_draw; }

private:
    BMessageFilter* m_filter;
    bool m_draw;
};
