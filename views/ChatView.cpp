#include "ChatView.h"
#include "Divider.h"
#include "ViewColors.h"

#include <cstdio>
#include <cstring>

#include <IrcCodes.h>
#include <Menu.h>
#include <MenuItem.h>
#include <OS.h>
#include <PopUpMenu.h>
#include <ScrollView.h>
#include <String.h>
#include <TextView.h>
#include <Window.h>

#include <draw_3Drect.h>

#include "IRCView.h"
#include "myText.h"
#include "newListView.h"
#include "nickitem.h"
#include "textFilter.h"

namespace
{

const rgb_color sc_topic_color = {192, 192, 192, 255};
const rgb_color sc_topic_editable = {128, 0, 0, 255};
const rgb_color sc_topic_locked = {0, 0, 0, 255};

const char sc_ctcp[][16] = {"PING",   "USERINFO", "VERSION",   "TIME",
                            "FINGER", "SOURCE",   "CLIENTINFO"};

// Locks the view's window, if it is in one, for the scope.
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

// A label or command with a nickname, cut to its buffer at a character
// boundary when the nickname is long.
BString format_with(const char* format, const char* a, const char* b = nullptr)
{
    char text[128];
    int length = snprintf(text, sizeof text, format, a, b);
    if (length >= int(sizeof text)) {
        int end = int(sizeof text) - 1;
        while (end > 0 && (uint8(text[end]) & 0xC0) == 0x80)
            end--;
        text[end] = '\0';
    }
    return BString(text);
}

} // namespace

ChatView::ChatView(BWindow* window, BRect frame)
    : BView(frame, "ChatView", B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_FRAME_EVENTS), m_topic(nullptr),
      m_users(nullptr)
{
    const float R = frame.Width(), B = frame.Height();

    AddChild(new IRCView(window, BRect(0, 16, R - 120, B)));

    auto* list =
        new newListView(BRect(R - 114, 16, R - 14, B), "users_list", B_SINGLE_SELECTION_LIST,
                        B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE);
    list->SetViewColor(sc_viewcolor);
    list->SetHighColor(sc_highcolor);
    list->SetLowColor(sc_lowcolor);
    m_users = list;
    AddChild(new BScrollView("sw_users_list", list, B_FOLLOW_RIGHT | B_FOLLOW_TOP_BOTTOM,
                             B_WILL_DRAW, false, true, B_NO_BORDER));

    m_topic = new myText(new textFilter(false), BRect(45, 0, R, 14), "_n_topic_edit", nullptr,
                         nullptr, new BMessage(MSG_TPC), B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP,
                         B_WILL_DRAW | B_NAVIGABLE);
    m_topic->set_draw(false);
    m_topic->ResizeTo(R - 45, 14);
    BTextView* field = m_topic->TextView();
    field->MoveTo(0, 1);
    field->ResizeBy(8, 0);
    field->SetFontAndColor(be_plain_font);

    if (window != nullptr)
        window->AddChild(this);
}

ChatView::~ChatView()
{
    if (m_topic != nullptr && m_topic->Parent() == nullptr)
        delete m_topic; // never shown: not a child yet
}

void ChatView::AttachedToWindow()
{
    SetViewColor(sc_viewcolor);
    SetHighColor(sc_highcolor);
    SetLowColor(sc_lowcolor);
    if (m_topic->Parent() == nullptr)
        AddChild(m_topic);
    m_topic->SetViewColor(sc_topic_color);
    m_topic->TextView()->SetViewColor(sc_topic_color);
    BView::AttachedToWindow();
}

void ChatView::DetachedFromWindow()
{
    RemoveAll();
}

BRect ChatView::divider() const
{
    return divider_beside(FindView("IRCView"));
}

void ChatView::Draw(BRect update)
{
    BView::Draw(update);

    BRect strip = divider();
    if (strip.IsValid()) {
        SetHighColor(sc_viewcolor);
        FillRect(strip);
        SetHighColor(sc_highcolor);
        strip.InsetBy(1, 0);
        draw_3Drect(this, strip, false);
    }

    BRect band(-1, -1, Bounds().right + 1, 15);
    SetHighColor(sc_topic_color);
    FillRect(band);
    draw_3Drect(this, band, false);

    const rgb_color high = HighColor();
    SetFont(be_bold_font);
    font_height height;
    GetFontHeight(&height);
    SetHighColor(m_topic->TextView()->IsEditable() ? sc_topic_editable : sc_topic_locked);
    DrawString("Topic :", BPoint(6, -1 + height.ascent + height.leading + 2));
    SetHighColor(high);
    SetFont(be_plain_font);
}

void ChatView::MouseDown(BPoint where)
{
    BRect strip = divider();
    IRCView* output = dynamic_cast<IRCView*>(FindView("IRCView"));
    BView* scroller = FindView("sw_users_list");
    if (strip.Contains(where) && output != nullptr && scroller != nullptr) {
        drag_divider(this, strip, where, output, {scroller});
    }
    if (output != nullptr)
        output->set_brodcast(true);
}

void ChatView::FrameResized(float, float)
{
    Invalidate(divider());
}

void ChatView::AddItem(const char* name)
{
    WindowLock lock(this);
    if (name == nullptr || FaindItem(name) != nullptr)
        return;
    auto* item = new nickitem(name, 0);
    m_users->AddItem(item);
    m_rows[item->get_name()] = item;
}

bool ChatView::RemoveItem(const char* name)
{
    WindowLock lock(this);
    nickitem* item = FaindItem(name);
    if (item == nullptr)
        return false;
    m_rows.erase(item->get_name());
    m_users->RemoveItem(item);
    delete item;
    return true;
}

bool ChatView::RenameItem(const char* oldName, const char* newName)
{
    WindowLock lock(this);
    nickitem* item = FaindItem(oldName);
    if (item == nullptr || newName == nullptr)
        return false;
    m_rows.erase(item->get_name());
    item->rename(newName);
    // A server renaming onto a name already listed: that row is stale, and
    // the list shows every name once.
    auto [row, added] = m_rows.try_emplace(item->get_name(), item);
    if (!added && row->second != item) {
        m_users->RemoveItem(row->second);
        delete row->second;
        row->second = item;
    }
    m_users->InvalidateItem(m_users->IndexOf(item));
    return true;
}

void ChatView::SetOP(const char* name, bool op)
{
    WindowLock lock(this);
    nickitem* item = FaindItem(name);
    if (item == nullptr)
        return;
    item->set_type(op ? 1 : 0);
    m_users->InvalidateItem(m_users->IndexOf(item));
}

void ChatView::RemoveAll()
{
    WindowLock lock(this);
    m_rows.clear();
    for (int32 i = m_users->CountItems() - 1; i >= 0; i--)
        delete m_users->RemoveItem(i);
}

nickitem* ChatView::FaindItem(const char* name)
{
    if (name == nullptr)
        return nullptr;
    WindowLock lock(this);
    // Marks are not part of the name, here as in the rows.
    char bare[64];
    bool op;
    nickitem::strip_marks(name, bare, &op);
    auto row = m_rows.find(bare);
    return row != m_rows.end() ? row->second : nullptr;
}

void ChatView::SetTopic(char* text)
{
    m_topic->SetText(text);
}

void ChatView::enable_topic(const char* nick)
{
    nickitem* item = FaindItem(nick);
    if (item == nullptr)
        return;
    m_topic->TextView()->MakeEditable(item->get_type() != 0);
    Invalidate(BRect(0, 0, 45, 14));
}

void ChatView::make_ctcp_menu(BPopUpMenu* menu, const char* nick)
{
    BMenu* ctcp = new BMenu("CTCP", B_ITEMS_IN_COLUMN);
    ctcp->SetFont(be_plain_font);
    for (const char* command : sc_ctcp) {
        BString label(command);
        label.ToLower().CapitalizeEachWord();
        BMessage* message = new BMessage(MSG_ITM);
        message->AddString("cmd", format_with("/CTCP %s %s", command, nick).String());
        BMenuItem* item = new BMenuItem(label.String(), message);
        item->SetTrigger(0);
        ctcp->AddItem(item);
    }
    ctcp->SetTargetForItems(Window());
    menu->AddItem(ctcp);
}

void ChatView::MessageReceived(BMessage* message)
{
    if (message->what == MSG_MDN) {
        auto* list = dynamic_cast<BListView*>(FindView("users_list"));
        const int32 selected = list != nullptr ? list->CurrentSelection(0) : -1;
        auto* item = selected >= 0 ? dynamic_cast<nickitem*>(list->ItemAt(selected)) : nullptr;
        if (item != nullptr) {
            // A copy: the row may go while the menu is open.
            char nick[64];
            strcpy(nick, item->get_name());
            BRect frame = list->ItemFrame(selected);

            BPopUpMenu* menu = new BPopUpMenu("user_menu", false, true, B_ITEMS_IN_COLUMN);
            menu->SetFont(be_plain_font, B_FONT_ALL);
            BMessage* privat = new BMessage(MSG_PRV);
            privat->AddString("user_name", nick);
            menu->AddItem(
                new BMenuItem(format_with("Private chat whith %s", nick).String(), privat));
            menu->AddSeparatorItem();
            struct {
                const char* label;
                const char* command;
            } const commands[] = {{"Who %s", "/WHO %s"}, {"WhoIs %s", "/WHOIS %s"}};
            for (const auto& c : commands) {
                BMessage* m = new BMessage(MSG_ITM);
                m->AddString("cmd", format_with(c.command, nick).String());
                menu->AddItem(new BMenuItem(format_with(c.label, nick).String(), m));
            }
            menu->AddSeparatorItem();
            BMessage* userhost = new BMessage(MSG_ITM);
            userhost->AddString("cmd", format_with("/USERHOST %s", nick).String());
            menu->AddItem(new BMenuItem(format_with("UserHost %s", nick).String(), userhost));
            menu->AddSeparatorItem();
            make_ctcp_menu(menu, nick);
            menu->SetTargetForItems(Window());

            BPoint where = list->ConvertToScreen(frame.LeftBottom());
            // The release of the click that opened the menu, if it comes
            // after the menu, keeps it open.
            menu->Go(where, true, true, list->ConvertToScreen(list->Bounds()), false);
            delete menu;
        }
    }
    BView::MessageReceived(message);
}
