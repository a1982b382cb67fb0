#include "IRCView.h"

#include <algorithm>
#include <cstring>

#include <IrcCodes.h>
#include <Message.h>
#include <Prefs.h>
#include <ScrollBar.h>
#include <ScrollView.h>
#include <Window.h>

#include "irc_textview.h"
#include "myText.h"
#include "textFilter.h"

namespace
{

const int32 sc_max_bytes = 16384;
// Room is made by whole lines when a line end lies this close to the front.
const int32 sc_line_scan = 512;

// Locks the window, if the view is in one, for the scope.
class WindowLock
{
public:
    explicit WindowLock(BView* view) : fWindow(view->Window())
    {
        if (fWindow != nullptr && !fWindow->Lock())
            fWindow = nullptr;
    }
    ~WindowLock()
    {
        if (fWindow != nullptr)
            fWindow->Unlock();
    }
    WindowLock(const WindowLock&) = delete;
    WindowLock& operator=(const WindowLock&) = delete;

private:
    BWindow* fWindow;
};

} // namespace

IRCView::IRCView(BWindow*, BRect frame)
    : BView(frame, "IRCView", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS),
      m_brodcast(true)
{
    const float R = frame.Width(), B = frame.Height();

    BRect textFrame(0, 0, R - 14, B - 31);
    irc_textview* text = new irc_textview(textFrame, "srv_txt", textFrame);
    text->SetViewColor(irc_color[1].color);
    text->MakeEditable(false);
    text->MakeSelectable(true);
    text->SetMaxBytes(sc_max_bytes);
    AddChild(new BScrollView("TextScroller", text, B_FOLLOW_ALL_SIDES, B_FRAME_EVENTS, false, true,
                             B_NO_BORDER));

    myText* input = new myText(new textFilter(true), BRect(5, B - 24, R - 5, B - 8), "message",
                               nullptr, nullptr, new BMessage(MSG_UMG),
                               B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
    input->SetResizingMode(B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM);
    AddChild(input);
    input->MakeFocus(true);
}

IRCView::~IRCView() = default;

void IRCView::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}

void IRCView::AttachedToWindow()
{
    SetViewColor(220, 220, 220, 0);
    SetHighColor(250, 250, 250, 0);
    SetLowColor(150, 150, 150, 0);
    if (BView* input = FindView("message"))
        input->MakeFocus(true);
}

// The children are attached after AttachedToWindow; the focus can only go
// to the input line once it is in the window.
void IRCView::AllAttached()
{
    BView::AllAttached();
    if (BView* input = FindView("message"))
        input->MakeFocus(true);
}

void IRCView::DetachedFromWindow() {}

void IRCView::Draw(BRect)
{
    BRect bounds = Bounds();
    float right = bounds.right + 14;
    SetPenSize(1);
    StrokeLine(BPoint(bounds.left, bounds.bottom - 30), BPoint(right, bounds.bottom - 30),
               B_SOLID_LOW);
    StrokeLine(BPoint(bounds.left, bounds.bottom - 29), BPoint(right, bounds.bottom - 29),
               B_SOLID_HIGH);
}

void IRCView::KeyDown(const char*, int32) {}

void IRCView::FrameResized(float width, float)
{
    if (!m_brodcast)
        return;
    {
        WindowLock lock(this);
        if (BTextView* text = dynamic_cast<BTextView*>(FindView("srv_txt"))) {
            BRect rect = text->TextRect();
            rect.right = width - 14;
            text->SetTextRect(rect);
        }
    }
    BRect bounds = Bounds();
    Invalidate(BRect(bounds.left, bounds.bottom - 30, bounds.right, bounds.bottom));
    if (Window() != nullptr)
        Window()->UpdateIfNeeded();
}

void IRCView::w_print(const char* text, int kind)
{
    if (text == nullptr)
        return;
    WindowLock lock(this);

    BTextView* view = dynamic_cast<BTextView*>(FindView("srv_txt"));
    BScrollView* scroller = view != nullptr ? dynamic_cast<BScrollView*>(view->Parent()) : nullptr;
    if (scroller == nullptr)
        return;
    if (kind < 0 || kind >= IRC_COLOR_COUNT)
        kind = 0; // an unknown kind prints as plain text

    const int32 length = int32(strlen(text));
    BScrollBar* bar = scroller->ScrollBar(B_VERTICAL);
    float value = 0, min = 0, max = 0;
    if (bar != nullptr) {
        value = bar->Value();
        bar->GetRange(&min, &max);
    }
    // Where the reader stands matters only when not at the end; asking
    // for line geometry lays lines out, which a flood must not pay for.
    const bool follow = bar == nullptr || value == max;
    const float lineHeight = follow ? 0 : view->LineHeight(0);
    const int32 top = lineHeight > 0 ? int32(value / lineHeight) : 0;

    // Make room at the front, by whole lines where a line end lies near.
    int32 removed = 0;
    int32 over = view->TextLength() + length + 1 - view->MaxBytes();
    if (over > 0) {
        const char* all = view->Text();
        const int32 scan = std::min(view->TextLength(), sc_line_scan);
        for (int32 i = over; i < scan; i++) {
            if (all[i] == '\n') {
                over = i + 1;
                break;
            }
        }
        // A cut inside a line still ends on a character boundary.
        while (over < view->TextLength() && (uint8(all[over]) & 0xC0) == 0x80)
            over++;
        over = std::min(over, view->TextLength());
        if (!follow)
            removed = view->LineAt(over);
        view->Delete(0, over);
    }

    // Inserted with its colour in one edit, so the line is laid out once;
    // the view takes what fits and the run covers only that.
    text_run_array runs;
    runs.count = 1;
    runs.runs[0].offset = 0;
    runs.runs[0].font = *be_plain_font;
    runs.runs[0].color = irc_color[kind].color;
    view->Insert(view->TextLength(), text, length, &runs);

    if (follow) {
        view->ScrollToOffset(view->TextLength());
    } else {
        bar->SetValue(float(top - removed) * lineHeight);
    }
    view->Sync();
}
