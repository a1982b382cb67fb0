#include "PrintLog.h"

#include <IRCView.h>
#include <Window.h>

bool print_to_output(BWindow* window, const char* text, int kind)
{
    if (text == nullptr)
        return false;
    record_print(window, text, kind);
    auto* view = dynamic_cast<IRCView*>(window->FindView("IRCView"));
    if (view == nullptr)
        return false;
    view->w_print(text, kind);
    return true;
}
