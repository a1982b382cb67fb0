#pragma once

// A few lines of text that tell the user why the settings window did not
// take a value. Words wrap at the view's width, and a line end starts a new
// line; what does not fit in its height is not drawn. Empty text draws
// nothing.

#include <string>

#include <View.h>

class NoteView : public BView
{
public:
    NoteView(BRect frame, const char* name);
    ~NoteView() override;

    void AttachedToWindow() override;
    void Draw(BRect updateRect) override;

    void SetText(const char* text);
    const char* Text() const { return m_text.c_str(); }

private:
    std::string m_text;
};
