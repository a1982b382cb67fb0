#include "TextFit.h"

#include <cstdio>
#include <cstring>

size_t fit_length(const char* text, size_t length, size_t limit)
{
    if (length <= limit)
        return length;
    size_t cut = limit;
    // Back over continuation bytes to the start of the cut character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        cut--;
    return cut;
}

size_t fit_copy(char* out, size_t size, const char* text)
{
    if (size == 0)
        return 0;
    size_t length = fit_length(text, strlen(text), size - 1);
    memcpy(out, text, length);
    out[length] = '\0';
    return length;
}

size_t fit_format(char* out, size_t size, const char* format, ...)
{
    if (size == 0)
        return 0;
    va_list arguments, again;
    va_start(arguments, format);
    va_copy(again, arguments);
    int wanted = vsnprintf(out, size, format, arguments);
    va_end(arguments);
    if (wanted < 0) {
        va_end(again);
        out[0] = '\0';
        return 0;
    }
    if (size_t(wanted) < size) {
        va_end(again);
        return size_t(wanted);
    }
    // Cut: the whole text tells where the last whole character ends.
    std::string whole(size_t(wanted) + 1, '\0');
    vsnprintf(whole.data(), whole.size(), format, again);
    va_end(again);
    size_t length = fit_length(whole.data(), size_t(wanted), size - 1);
    memcpy(out, whole.data(), length);
    out[length] = '\0';
    return length;
}

std::vector<std::string> split_text(const std::string& text, size_t limit)
{
    std::vector<std::string> pieces;
    if (limit < 4)
        limit = 4; // room for one character of any length
    size_t start = 0;
    while (text.size() - start > limit) {
        size_t cut = fit_length(text.data() + start, text.size() - start, limit);
        size_t blank = text.rfind(' ', start + cut - 1);
        if (blank != std::string::npos && blank >= start + cut / 2)
            cut = blank + 1 - start;
        pieces.push_back(text.substr(start, cut));
        start += cut;
    }
    if (start < text.size() || pieces.empty())
        pieces.push_back(text.substr(start));
    return pieces;
}
