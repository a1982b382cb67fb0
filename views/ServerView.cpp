#include "ServerView.h"
#include "Divider.h"
#include "ViewColors.h"

#include <cstdio>
#include <cstring>

#include <IrcCodes.h>
#include <MenuItem.h>
#include <OS.h>
#include <PopUpMenu.h>
#include <ScrollView.h>
#include <StatusBar.h>
#include <Window.h>

#include <draw_3Drect.h>

#include "IRCView.h"
#include "chanelItem.h"
#include "newListView.h"

namespace
{

const float sc_progress_max = 1000;

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

// `format` filled with a channel name, cut at a character boundary if the
// name is too long for a menu label or command.
void fill(char (&out)[128], const char* format, const char* channel)
{
    if (snprintf(out, sizeof out, format, channel) >= int(sizeof out)) {
        int end = int(sizeof out) - 1;
        while (end > 0 && (uint8(out[end]) & 0xC0) == 0x80)
            end--;
        out[end] = '\0';
    }
}

} // namespace

ServerView::ServerView(BWindow* window, BRect frame)
    : BView(frame, "ServerView", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_FRAME_EVENTS), m_progress(0),
      m_steps(0)
{
    if (window != nullptr)
        window->AddChild(this);
    const BRect B = Bounds();

    AddChild(new IRCView(window, BRect(B.left, B.top + 1, B.right - 120, B.bottom)));

    auto* list = new newListView(BRect(B.right - 114, B.top + 1, B.right - 14, B.bottom - 14),
                                 "channel_list", B_SINGLE_SELECTION_LIST, B_FOLLOW_ALL_SIDES,
                                 B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE);
    list->SetViewColor(sc_viewcolor);
    list->SetHighColor(sc_highcolor);
    list->SetLowColor(sc_lowcolor);
    auto* scroller = new BScrollView("sw_channel_list", list, B_FOLLOW_RIGHT | B_FOLLOW_TOP_BOTTOM,
                                     B_WILL_DRAW, true, true, B_NO_BORDER);
    AddChild(scroller);

    auto* progress = new BStatusBar(BRect(B.right - 114, B.bottom - 28, B.right, B.bottom - 14),
                                    "progress", nullptr, nullptr);
    progress->SetMaxValue(sc_progress_max);
    progress->SetBarHeight(14);
    progress->SetResizingMode(B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM);
    progress->SetFlags(scroller->Flags());
    progress->Hide();
    AddChild(progress);
}

ServerView::~ServerView() = default;

void ServerView::AttachedToWindow()
{
    SetViewColor(sc_viewcolor);
    SetHighColor(sc_highcolor);
    SetLowColor(sc_lowcolor);
    BView::AttachedToWindow();
}

void ServerView::DetachedFromWindow()
{
    RemoveAll();
}

BRect ServerView::splitter() const
{
    return divider_beside(FindView("IRCView"));
}

void ServerView::Draw(BRect update)
{
    BView::Draw(update);
    BRect strip = splitter();
    if (!strip.IsValid())
        return;
    strip.top += 1;
    SetHighColor(sc_viewcolor);
    FillRect(strip);
    SetHighColor(sc_highcolor);
    strip.InsetBy(1, 0);
    draw_3Drect(this, strip, false);
}

void ServerView::MouseDown(BPoint where)
{
    BRect strip = splitter();
    IRCView* output = dynamic_cast<IRCView*>(FindView("IRCView"));
    BView* scroller = FindView("sw_channel_list");
    BView* progress = FindView("progress");
    if (strip.Contains(where) && output != nullptr && scroller != nullptr && progress != nullptr) {
        drag_divider(this, strip, where, output, {scroller, progress});
    }
    if (output != nullptr)
        output->set_brodcast(true);
}

void ServerView::FrameResized(float, float)
{
    Invalidate(splitter());
}

void ServerView::AddItem(char* name)
{
    WindowLock lock(this);
    if (auto* list = dynamic_cast<BListView*>(FindView("channel_list")))
        list->AddItem(new chanelItem(name));
}

void ServerView::RemoveAll()
{
    WindowLock lock(this);
    auto* list = dynamic_cast<BListView*>(FindView("channel_list"));
    if (list == nullptr)
        return;
    for (int32 i = list->CountItems() - 1; i >= 0; i--)
        delete list->RemoveItem(i);
}

void ServerView::ActivateProgress(int32 on)
{
    BView* scroller = FindView("sw_channel_list");
    auto* progress = dynamic_cast<BStatusBar*>(FindView("progress"));
    if (scroller != nullptr && progress != nullptr) {
        const BRect bounds = scroller->Bounds();
        if (on >= 1) {
            if (m_progress < 1) {
                scroller->ResizeTo(bounds.Width(), bounds.Height() - 14);
                // A new list starts from an empty bar, not where the last
                // one stopped.
                progress->Reset();
                progress->SetMaxValue(sc_progress_max);
                progress->Show();
                if (Window() != nullptr)
                    Window()->UpdateIfNeeded();
            }
            m_progress = on;
        } else if (m_progress >= 1) {
            progress->Hide();
            scroller->ResizeTo(bounds.Width(), bounds.Height() + 14);
            m_progress = 0;
        }
    }
    m_steps = 0;
}

void ServerView::ProgressStep()
{
    auto* progress = dynamic_cast<BStatusBar*>(FindView("progress"));
    if (progress == nullptr || m_progress < 1)
        return;
    progress->Update(1.0);
    if (++m_steps > sc_progress_max) {
        m_steps = 0;
        progress->Reset();
        progress->SetMaxValue(sc_progress_max);
    }
}

void ServerView::MessageReceived(BMessage* message)
{
    if (message->what != MSG_MDN) {
        BView::MessageReceived(message);
        return;
    }
    auto* list = dynamic_cast<BListView*>(FindView("channel_list"));
    if (list == nullptr)
        return;
    const int32 selected = list->CurrentSelection(0);

    auto* menu = new BPopUpMenu("server_menu", false, true, B_ITEMS_IN_COLUMN);
    menu->SetFont(be_plain_font, B_FONT_ALL);
    BPoint where;
    message->FindPoint("mouse", &where);

    auto* item = selected >= 0 ? dynamic_cast<chanelItem*>(list->ItemAt(selected)) : nullptr;
    if (item != nullptr && item->get_name() != nullptr) {
        // The channel name: the reply's text up to its first blank.
        const char* name = item->get_name();
        char channel[128];
        size_t length = strcspn(name, " ");
        if (length >= sizeof channel)
            length = sizeof channel - 1;
        memcpy(channel, name, length);
        channel[length] = '\0';
        char label[128], command[128];
        fill(label, "Join to %s", channel);
        fill(command, "/JOIN %s", channel);
        BMessage* join = new BMessage(MSG_ITM);
        join->AddString("cmd", command);
        menu->AddItem(new BMenuItem(label, join));
    }
    BMessage* reload = new BMessage(MSG_ITM);
    reload->AddString("cmd", "/LIST");
    menu->AddItem(new BMenuItem("Reload chanels list", reload));

    list->ConvertToScreen(&where);
    menu->SetTargetForItems(Window());
    // The release of the click that opened the menu, if it comes after the
    // menu, keeps it open.
    menu->Go(where, true, true, list->ConvertToScreen(list->Bounds()), false);
    delete menu;
}
