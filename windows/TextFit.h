#pragma once

// Composed texts go into fixed buffers; what does not fit is cut, but never
// inside a UTF-8 character.

#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

// snprintf into `out` (`size` bytes), the cut moved back to a character
// boundary. Returns the length written.
__attribute__((format(printf, 3, 4))) size_t fit_format(char* out, size_t size, const char* format,
                                                        ...);
// Copies at most `size` - 1 bytes of `text`, cut at a character boundary.
size_t fit_copy(char* out, size_t size, const char* text);
// The length of the longest start of `text` (of `length` bytes) that has at
// most `limit` bytes and ends at a character boundary.
size_t fit_length(const char* text, size_t length, size_t limit);
// Splits typed text into pieces of at most `limit` bytes, each ending at a
// character boundary, preferring to break after a blank in the piece's
// second half. Nothing is dropped: the pieces joined give the text.
std::vector<std::string> split_text(const std::string& text, size_t limit);
