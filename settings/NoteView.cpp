#include "NoteView.h"

#include <cmath>
#include <vector>

namespace
{
const rgb_color sc_notecolor = {150, 0, 0, 255};
}

NoteView::NoteView(BRect frame, const char* name)
    : BView(frame, name, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW)
{
}

NoteView::~NoteView() {}

void NoteView::AttachedToWindow()
{
    // Drawn on whatever panel holds it.
    if (Parent() != nullptr)
        SetViewColor(Parent()->ViewColor());
    SetLowColor(ViewColor());
    BView::AttachedToWindow();
}

void NoteView::SetText(const char* text)
{
    std::string value = text != nullptr ? text : "";
    if (value == m_text)
        return;
    m_text = value;
    Invalidate();
}

void NoteView::Draw(BRect)
{
    if (m_text.empty())
        return;
    font_height metrics;
    GetFontHeight(&metrics);
    float line = std::ceil(metrics.ascent + metrics.descent + metrics.leading);
    float width = Bounds().Width();

    // Greedy word wrap, each line of the text on lines of its own; a word
    // wider than the view stands on a line alone.
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= m_text.size()) {
        size_t stop = m_text.find('\n', start);
        if (stop == std::string::npos)
            stop = m_text.size();
        std::string current;
        size_t at = start;
        while (at < stop) {
            size_t end = m_text.find(' ', at);
            if (end == std::string::npos || end > stop)
                end = stop;
            std::string word = m_text.substr(at, end - at);
            std::string joined = current.empty() ? word : current + " " + word;
            if (!current.empty() && StringWidth(joined.c_str()) > width) {
                lines.push_back(current);
                current = word;
            } else {
                current = joined;
            }
            at = end + 1;
        }
        if (!current.empty())
            lines.push_back(current);
        start = stop + 1;
    }

    SetHighColor(sc_notecolor);
    float top = 0;
    for (const std::string& text : lines) {
        if (top + line - 1 > Bounds().bottom)
            break;
        DrawString(text.c_str(), BPoint(0, top + std::ceil(metrics.ascent)));
        top += line;
    }
}
