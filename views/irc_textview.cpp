#include "irc_textview.h"

#include <InterfaceDefs.h>
#include <IrcCodes.h>
#include <Message.h>
#include <Window.h>

#include "myText.h"

irc_textview::irc_textview(BRect frame, const char* name, BRect textRect)
    : BTextView(frame, name, textRect, B_FOLLOW_ALL_SIDES, B_WILL_DRAW)
{
}

irc_textview::~irc_textview() = default;

void irc_textview::MessageReceived(BMessage* message)
{
    BTextView::MessageReceived(message);
}

void irc_textview::KeyDown(const char* bytes, int32 numBytes)
{
    if (numBytes <= 0 || bytes == nullptr)
        return;
    // Copy and Select All still work on the output; a Command key never
    // types into the input line.
    BMessage* current = Window() != nullptr ? Window()->CurrentMessage() : nullptr;
    if (current != nullptr && (current->GetInt32("modifiers", 0) & B_COMMAND_KEY) != 0) {
        BTextView::KeyDown(bytes, numBytes);
        return;
    }

    BView* container = Parent() != nullptr ? Parent()->Parent() : nullptr;
    myText* input =
        container != nullptr ? dynamic_cast<myText*>(container->FindView("message")) : nullptr;
    if (input == nullptr)
        return;

    switch (int8(bytes[0])) {
    case B_ENTER: {
        BMessage enter(MSG_NTR);
        enter.AddPointer("target", input->Message());
        Window()->PostMessage(&enter);
        return;
    }
    case B_HOME:
    case B_END:
    case B_INSERT:
    case B_BACKSPACE:
    case B_TAB:
    case B_PAGE_UP:
    case B_PAGE_DOWN:
    case B_FUNCTION_KEY:
    case B_ESCAPE:
    case B_LEFT_ARROW:
    case B_RIGHT_ARROW:
    case B_UP_ARROW:
    case B_DOWN_ARROW:
    case B_DELETE:
        return;
    default:
        break;
    }
    input->MakeFocus(true);
    BTextView* field = input->TextView();
    field->Select(65535, 65535);
    field->Insert(field->TextLength(), bytes, numBytes, nullptr);
    // Keep the caret after what was just typed.
    field->Select(field->TextLength(), field->TextLength());
}
