#include "ServersViewTab.h"

#include <cstdio>
#include <string>

#include <AppPrefs.h>
#include <IrcCodes.h>
#include <ListItem.h>
#include <ListView.h>
#include <Menu.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <Prefs.h>
#include <ScrollView.h>
#include <TextControl.h>
#include <TextView.h>
#include <UTF8.h>

#include "NoteView.h"
#include "ServerText.h"
#include "SettingsCheck.h"
#include "ViewColors.h"
#include "newButton.h"

const encoding_entry sc_en[ENCODING_COUNT] = {
    {B_ISO1_CONVERSION, "Western / ISO 8859-1"},
    {B_ISO2_CONVERSION, "Central European / ISO 8859-2"},
    {B_ISO5_CONVERSION, "Cyrillic / ISO 8859-5"},
    {B_ISO7_CONVERSION, "Greek / ISO 8859-7"},
    {B_MAC_ROMAN_CONVERSION, "Western / Macintosh Roman"},
    {B_SJIS_CONVERSION, "Japanese / Shift-JIS"},
    {B_EUC_CONVERSION, "EUC Packed Japanese"},
    {B_MS_WINDOWS_CONVERSION, "Western / MS-Windows Codepage 1252"},
    {B_KOI8R_CONVERSION, "Cyrillic /KOI8-R"},
    {B_MS_WINDOWS_1251_CONVERSION, "Cyrillic / MS-Windows Codepage 1251"},
    {B_UTF8_CONVERSION, "Unicode / UTF-8"},
};

namespace
{
// Windows code page 1252, when the store has no "encoding".
const int16 kDefaultEncoding = B_MS_WINDOWS_CONVERSION;
// The login fields' edits.
const uint32 kLoginEdited = 'lged';
} // namespace

ServersViewTab::ServersViewTab(BView* parent, BRect frame)
    : BView(frame, "Servers", B_FOLLOW_ALL_SIDES, B_WILL_DRAW), m_add_button(nullptr),
      m_remove_button(nullptr), m_server_list(nullptr), m_server_text(nullptr)
{
    if (parent != nullptr)
        parent->AddChild(this);

    Prefs* prefs = app_prefs();
    if (prefs != nullptr)
        prefs->Lock();
    BMessage* settings = prefs != nullptr ? prefs->GetMsg() : nullptr;

    const uint32 mode = B_FOLLOW_LEFT | B_FOLLOW_TOP;
    BRect r = Bounds();
    r.right = frame.Width() / 2.5f;
    r.InsetBy(5, 10);

    m_server_list = new BListView(r, "list", B_SINGLE_SELECTION_LIST, mode,
                                  B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE);
    const char* server;
    for (int32 i = 0; settings != nullptr && settings->FindString("server", i, &server) == B_OK;
         i++)
        m_server_list->AddItem(new BStringItem(server));
    m_server_list->SetSelectionMessage(new BMessage(MSG_LVCH));
    AddChild(new BScrollView("scroll_list", m_server_list, mode, 0, false, true, B_FANCY_BORDER));

    m_server_text =
        new BTextControl(BRect(r.right + 20, r.top, frame.right - 5, r.top + 14), "Server", nullptr,
                         nullptr, nullptr, mode, B_WILL_DRAW | B_NAVIGABLE);
    AddChild(m_server_text);

    BRect a = m_server_text->Frame();
    a.top = a.bottom + 5;
    a.InsetBy(4, 0);
    a.right = a.left + a.Width() / 2 - 2;
    a.bottom = a.top + 18;
    m_add_button = new newButton(a, "Add", "Add", new BMessage(MSG_MAD1));
    AddChild(m_add_button);

    BRect remove = a;
    remove.left = a.right + 2;
    remove.right = m_server_text->Frame().right;
    m_remove_button = new newButton(remove, "Remove", "Remove", new BMessage(MSG_MREV));
    AddChild(m_remove_button);

    int16 encoding = kDefaultEncoding;
    if (settings != nullptr && settings->FindInt16("encoding", &encoding) != B_OK) {
        encoding = kDefaultEncoding;
        settings->AddInt16("encoding", encoding);
    }

    auto* menu = new BMenu("en", B_ITEMS_IN_COLUMN);
    for (const encoding_entry& entry : sc_en) {
        auto* item = new BMenuItem(entry.name, nullptr);
        menu->AddItem(item);
        if (entry.code == encoding)
            item->SetMarked(true);
    }
    menu->SetTriggersEnabled(false);
    menu->SetLabelFromMarked(true);

    BRect field(a.left, a.bottom + 15, remove.right, a.bottom + 15 + 12);
    auto* encodingField =
        new BMenuField(field, "Encoding", "Encoding", menu, mode, B_WILL_DRAW | B_NAVIGABLE);
    encodingField->SetDivider(StringWidth("Encoding") + 4);
    AddChild(encodingField);
    menu->SetTargetForItems(this);

    // The selected server's SASL login.
    BRect login(a.left, field.bottom + 8, remove.right, field.bottom + 22);
    m_account = new BTextControl(login, "Account", "Account", nullptr, new BMessage(kLoginEdited),
                                 mode, B_WILL_DRAW | B_NAVIGABLE);
    AddChild(m_account);
    login.OffsetBy(0, 18);
    m_password = new BTextControl(login, "Password", "Password", nullptr,
                                  new BMessage(kLoginEdited), mode, B_WILL_DRAW | B_NAVIGABLE);
    m_password->TextView()->HideTyping(true);
    AddChild(m_password);
    const float divider = StringWidth("Password") + 6;
    m_account->SetDivider(divider);
    m_password->SetDivider(divider);
    m_account->SetModificationMessage(new BMessage(kLoginEdited));
    m_password->SetModificationMessage(new BMessage(kLoginEdited));
    for (int32 i = 0; i < m_server_list->CountItems(); i++) {
        auto* item = dynamic_cast<BStringItem*>(m_server_list->ItemAt(i));
        std::string host, port;
        if (item != nullptr && settings != nullptr &&
            split_server_text(item->Text(), &host, &port) && m_logins.count(host) == 0)
            m_logins[host] = find_server_login(*settings, host);
    }
    show_login();

    // What "Add" refused, and why, under the login.
    BRect noteFrame = m_password->Frame();
    noteFrame.top = noteFrame.bottom + 10;
    noteFrame.bottom = r.bottom;
    AddChild(new NoteView(noteFrame, "note"));

    if (prefs != nullptr)
        prefs->Unlock();
    SetViewColor(sc_viewcolor);
    SetHighColor(sc_highcolor);
    SetLowColor(sc_lowcolor);
}

ServersViewTab::~ServersViewTab()
{
    // The list does not own its items.
    for (int32 i = m_server_list->CountItems() - 1; i >= 0; i--)
        delete m_server_list->RemoveItem(i);
}

void ServersViewTab::set_note(const char* text)
{
    if (auto* note = dynamic_cast<NoteView*>(FindView("note")))
        note->SetText(text);
}

void ServersViewTab::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case MSG_LVCH: {
        int32 index = m_server_list->CurrentSelection();
        if (index < 0) {
            m_server_text->SetText(nullptr);
        } else if (auto* item = dynamic_cast<BStringItem*>(m_server_list->ItemAt(index))) {
            m_server_text->SetText(item->Text());
        }
        show_login();
        break;
    }
    case kLoginEdited: {
        std::string host = selected_host();
        if (m_showing_login || host.empty())
            break;
        m_logins[host] = ServerLogin{m_account->Text(), m_password->Text()};
        m_logins_changed.insert(host);
        break;
    }
    case MSG_MAD1: {
        // A server window could not connect to it: tell why, add nothing.
        if (const char* problem = server_problem(m_server_text->Text())) {
            char note[160];
            snprintf(note, sizeof(note), "Not added. %s: type host, host:port or host:+port (TLS).",
                     problem);
            set_note(note);
            break;
        }
        set_note(nullptr);
        m_server_list->AddItem(new BStringItem(trim_blanks(m_server_text->Text()).c_str()));
        m_server_list->Select(m_server_list->CountItems() - 1, false);
        break;
    }
    case MSG_MREV: {
        int32 index = m_server_list->CurrentSelection();
        if (index >= 0)
            delete m_server_list->RemoveItem(index);
        if (index == m_server_list->CountItems())
            m_server_list->Select(index - 1, false);
        else
            m_server_list->Select(index + 1, false);
        break;
    }
    default:
        BView::MessageReceived(message);
    }
}

std::string ServersViewTab::selected_host() const
{
    int32 index = m_server_list->CurrentSelection();
    auto* item = index >= 0 ? dynamic_cast<BStringItem*>(m_server_list->ItemAt(index)) : nullptr;
    std::string host, port;
    if (item == nullptr || !split_server_text(item->Text(), &host, &port))
        return std::string();
    return host;
}

void ServersViewTab::show_login()
{
    std::string host = selected_host();
    ServerLogin login;
    if (!host.empty()) {
        auto found = m_logins.find(host);
        if (found != m_logins.end()) {
            login = found->second;
        } else if (Prefs* prefs = app_prefs()) {
            // An entry added here: its host may have a stored login.
            prefs->Lock();
            login = find_server_login(*prefs->GetMsg(), host);
            prefs->Unlock();
            m_logins[host] = login;
        }
    }
    // Filling the fields is not an edit.
    m_showing_login = true;
    m_account->SetText(login.account.c_str());
    m_password->SetText(login.password.c_str());
    m_showing_login = false;
    m_account->SetEnabled(!host.empty());
    m_password->SetEnabled(!host.empty());
}

void ServersViewTab::AllAttached()
{
    m_add_button->SetTarget(this);
    m_remove_button->SetTarget(this);
    m_server_list->SetTarget(this);
    m_account->SetTarget(this);
    m_password->SetTarget(this);
    BView::AllAttached();
}

void ServersViewTab::DetachedFromWindow()
{
    Prefs* prefs = app_prefs();
    if (prefs != nullptr && prefs->Lock()) {
        BMessage* settings = prefs->GetMsg();
        settings->RemoveName("server");
        for (int32 i = 0; i < m_server_list->CountItems(); i++)
            if (auto* item = dynamic_cast<BStringItem*>(m_server_list->ItemAt(i)))
                settings->AddString("server", item->Text());
        auto* field = dynamic_cast<BMenuField*>(FindView("Encoding"));
        BMenuItem* marked = field != nullptr ? field->Menu()->FindMarked() : nullptr;
        int32 index = marked != nullptr ? field->Menu()->IndexOf(marked) : -1;
        if (index >= 0 && index < ENCODING_COUNT)
            settings->ReplaceInt16("encoding", int16(sc_en[index].code));
        for (const std::string& host : m_logins_changed)
            store_server_login(settings, host, m_logins[host]);
        prefs->Unlock();
    }
    BView::DetachedFromWindow();
}
