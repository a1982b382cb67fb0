#include "DebugWindow.h"

#include <cstring>

#include <IrcCodes.h>
#include <ScrollView.h>
#include <TextView.h>

#include <DebugTarget.h>

DebugWindow::DebugWindow() : BWindow(BRect(30, 30, 380, 200), "Debug", B_TITLED_WINDOW, 0x04000000)
{
    BRect bounds = Bounds();
    bounds.right -= 14;
    auto* text = new BTextView(bounds, "debug_txt", bounds, B_FOLLOW_ALL_SIDES,
                               B_WILL_DRAW | B_FRAME_EVENTS);
    text->MakeEditable(false);
    text->MakeSelectable(true);
    text->SetMaxBytes(kMaxBytes);
    text->SetViewColor(rgb_color{225, 225, 225, 255});
    AddChild(new BScrollView("TextScroller", text, B_FOLLOW_ALL_SIDES, 0x04000000, false, true,
                             B_NO_BORDER));
    Show();
}

DebugWindow::~DebugWindow() = default;

void DebugWindow::MessageReceived(BMessage* message)
{
    const char* line;
    if (message->what == MSG_DBG && message->FindString("debug", &line) == B_OK) {
        auto* text = dynamic_cast<BTextView*>(FindView("debug_txt"));
        const int32 length = int32(strnlen(line, kMaxBytes));
        if (text != nullptr && length > 0) {
            // Full: the oldest lines (at the bottom) go, whole, so that the
            // newest traffic always shows.
            const int32 keep = kMaxBytes - length;
            if (text->TextLength() > keep) {
                const char* all = text->Text();
                int32 cut = keep;
                while (cut > 0 && all[cut - 1] != '\n')
                    cut--;
                text->Delete(cut, text->TextLength());
            }
            text->Insert(0, line, length);
        }
    }
    BWindow::MessageReceived(message);
}

void DebugWindow::Quit()
{
    // No engine posts to us from here on: Clear waits for a post under way.
    g_debug.Clear(this);
    BWindow::Quit();
}

void DebugWindow::FrameResized(float width, float height)
{
    BWindow::FrameResized(width, height);
    if (auto* text = dynamic_cast<BTextView*>(FindView("debug_txt"))) {
        BRect rect = text->TextRect();
        rect.right = width;
        text->SetTextRect(rect);
    }
}
