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

namespace
{
// Posted to ourselves behind the first line of a burst: by the time it is
// handled, the burst's other lines (queued before it) have been gathered.
const uint32 kShowPending = 'dbgS';
} // namespace

void DebugWindow::MessageReceived(BMessage* message)
{
    const char* line;
    if (message->what == MSG_DBG && message->FindString("debug", &line) == B_OK) {
        const int32 length = int32(strnlen(line, kMaxBytes));
        if (length > 0) {
            if (m_pending.empty())
                PostMessage(kShowPending);
            m_pending.emplace_back(line, size_t(length));
            m_pending_bytes += length;
            // Lines that could not be shown anyway go at once.
            while (m_pending_bytes - int32(m_pending.front().size()) >= kMaxBytes) {
                m_pending_bytes -= int32(m_pending.front().size());
                m_pending.pop_front();
            }
        }
    } else if (message->what == kShowPending) {
        show_pending();
    }
    BWindow::MessageReceived(message);
}

void DebugWindow::show_pending()
{
    auto* text = dynamic_cast<BTextView*>(FindView("debug_txt"));
    if (text == nullptr || m_pending.empty()) {
        m_pending.clear();
        m_pending_bytes = 0;
        return;
    }
    // Newest first, as the text reads.
    std::string burst;
    burst.reserve(size_t(m_pending_bytes));
    for (auto it = m_pending.rbegin(); it != m_pending.rend(); ++it)
        burst += *it;
    m_pending.clear();
    m_pending_bytes = 0;
    if (burst.size() > size_t(kMaxBytes)) {
        // Whole lines only: cut after the last line end that fits.
        size_t cut = burst.rfind('\n', size_t(kMaxBytes) - 1);
        burst.resize(cut != std::string::npos ? cut + 1 : size_t(kMaxBytes));
    }
    const int32 length = int32(burst.size());
    // Full: the oldest lines (at the bottom) go, whole, so that the newest
    // traffic always shows.
    const int32 keep = kMaxBytes - length;
    if (text->TextLength() > keep) {
        const char* all = text->Text();
        int32 cut = keep;
        while (cut > 0 && all[cut - 1] != '\n')
            cut--;
        text->Delete(cut, text->TextLength());
    }
    text->Insert(0, burst.data(), length);
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
