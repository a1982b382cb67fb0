#pragma once

// A hook through which tests see every piece of text a window prints, with
// its print kind, in the order printed. Unset (the program), it costs one
// load per print.

class BWindow;

typedef void (*print_recorder)(BWindow* window, const char* text, int kind);
void set_print_recorder(print_recorder recorder);
void record_print(BWindow* window, const char* text, int kind);

// (In the client library.) Prints into the window's output view ("IRCView"), through the hook
// above. False when the text is null or the window has no output view.
bool print_to_output(BWindow* window, const char* text, int kind);
