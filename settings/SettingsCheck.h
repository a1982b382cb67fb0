#pragma once

// What the settings window refuses to store, and why. A nickname goes into
// "/NICK" as one word, and a server entry is split at its first ':' into
// host and port when a server window connects: a value that cannot work
// there is refused with a short reason for the window to show.

#include <string>

// `text` without the blanks (and control characters) around it.
std::string trim_blanks(const char* text);

// Null when the trimmed text is a usable nickname; otherwise why not.
const char* nick_problem(const char* text);

// Null when the trimmed text is a server text (ServerText.h: `host`,
// `host:port`, `host:+port`, `ircs://host[:port]`, addresses in brackets)
// with a port of 1 to 65535; otherwise why not.
const char* server_problem(const char* text);
