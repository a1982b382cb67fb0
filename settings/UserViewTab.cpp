#include "UserViewTab.h"

#include <cmath>
#include <cstdio>

#include <AppPrefs.h>
#include <Box.h>
#include <CheckBox.h>
#include <Prefs.h>
#include <TextControl.h>
#include <Window.h>

#include "NoteView.h"
#include "SettingsCheck.h"
#include "ViewColors.h"

namespace
{

// Sent by the nickname fields on every edit, to the page.
const uint32 kNickEdited = 'unck';

// The fields written back, by the key each one holds.
const char* const sc_user_keys[] = {"nick", "nick2", "name", "userinfo"};

const char* stored_text(BMessage* settings, const char* key)
{
    const char* text = nullptr;
    if (settings == nullptr || settings->FindString(key, &text) != B_OK)
        return "";
    return text;
}

BTextControl* text_control(BView* page, const char* name)
{
    return dynamic_cast<BTextControl*>(page->FindView(name));
}

} // namespace

UserViewTab::UserViewTab(BWindow* window, BRect frame)
    : BView(frame, "User", B_FOLLOW_ALL_SIDES, B_WILL_DRAW)
{
    if (window != nullptr)
        window->AddChild(this);

    BRect r = frame.InsetByCopy(5, 5);
    r.bottom -= 60;
    float w = r.Width();

    auto* info = new BBox(r, "info", B_FOLLOW_LEFT | B_FOLLOW_TOP,
                          B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS, B_FANCY_BORDER);
    info->SetLabel("Default user info");
    AddChild(info);

    Prefs* prefs = app_prefs();
    if (prefs != nullptr)
        prefs->Lock();
    BMessage* settings = prefs != nullptr ? prefs->GetMsg() : nullptr;

    const uint32 mode = B_FOLLOW_LEFT | B_FOLLOW_TOP;
    const uint32 flags = B_WILL_DRAW | B_NAVIGABLE;
    auto* nick =
        new BTextControl(BRect(10, 15, w / 1.5f - 1, 25), "nick",
                         "Nicknames:", stored_text(settings, "nick"), nullptr, mode, flags);
    nick->SetDivider(70);
    info->AddChild(nick);
    auto* nick2 = new BTextControl(BRect(w / 1.5f + 1, 15, w - 10, 25), "nick2", nullptr,
                                   stored_text(settings, "nick2"), nullptr, mode, flags);
    info->AddChild(nick2);
    float b = nick2->Frame().bottom;
    auto* name =
        new BTextControl(BRect(10, b + 3, w - 10, 25), "name",
                         "Full name:", stored_text(settings, "name"), nullptr, mode, flags);
    name->SetDivider(70);
    info->AddChild(name);
    b = name->Frame().bottom;
    auto* userinfo =
        new BTextControl(BRect(10, b + 3, w - 10, 25), "userinfo",
                         "User info:", stored_text(settings, "userinfo"), nullptr, mode, flags);
    userinfo->SetDivider(70);
    info->AddChild(userinfo);
    nick->SetModificationMessage(new BMessage(kNickEdited));
    nick2->SetModificationMessage(new BMessage(kNickEdited));

    // Two lines under the fields say why a nickname would not be stored.
    b = userinfo->Frame().bottom;
    font_height metrics;
    GetFontHeight(&metrics);
    float line = std::ceil(metrics.ascent + metrics.descent + metrics.leading);
    info->AddChild(new NoteView(BRect(12, b + 4, w - 10, b + 4 + 2 * line - 1), "note"));

    info->ResizeTo(w, b + 4 + 2 * line - r.top + 6);

    BRect infoFrame = info->Frame();
    BRect modesFrame(infoFrame.left, infoFrame.bottom + 10, infoFrame.right, frame.bottom - 10);
    auto* modes = new BBox(modesFrame, "modes", B_FOLLOW_LEFT | B_FOLLOW_TOP,
                           B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS, B_FANCY_BORDER);
    modes->SetLabel("Default user modes");
    AddChild(modes);
    modes->AddChild(new BCheckBox(BRect(10, 15, 100, 25), "invisible", "Invisible", nullptr));

    if (prefs != nullptr)
        prefs->Unlock();
}

UserViewTab::~UserViewTab() {}

void UserViewTab::MessageReceived(BMessage* message)
{
    if (message->what == kNickEdited) {
        check_nicks();
        return;
    }
    BView::MessageReceived(message);
}

void UserViewTab::AttachedToWindow()
{
    SetViewColor(sc_viewcolor);
    SetHighColor(sc_highcolor);
    SetLowColor(sc_lowcolor);
    BView::AttachedToWindow();
    for (const char* key : {"nick", "nick2"})
        if (BTextControl* field = text_control(this, key))
            field->SetTarget(this);
    check_nicks();
}

void UserViewTab::check_nicks()
{
    auto* note = dynamic_cast<NoteView*>(FindView("note"));
    if (note == nullptr)
        return;
    std::string text;
    const char* labels[] = {"First nickname", "Second nickname"};
    const char* keys[] = {"nick", "nick2"};
    for (int i = 0; i < 2; i++) {
        BTextControl* field = text_control(this, keys[i]);
        const char* problem = field != nullptr ? nick_problem(field->Text()) : nullptr;
        if (problem == nullptr)
            continue;
        char line[128];
        snprintf(line, sizeof(line), "%s%s %s: not stored.", text.empty() ? "" : "\n", labels[i],
                 problem);
        text += line;
    }
    note->SetText(text.c_str());
}

void UserViewTab::DetachedFromWindow()
{
    Prefs* prefs = app_prefs();
    if (prefs != nullptr && prefs->Lock()) {
        BMessage* settings = prefs->GetMsg();
        for (const char* key : sc_user_keys) {
            BTextControl* field = text_control(this, key);
            if (field == nullptr)
                continue;
            bool nick = key == sc_user_keys[0] || key == sc_user_keys[1];
            if (!nick) {
                settings->ReplaceString(key, field->Text());
                continue;
            }
            // The old nickname stays rather than one "/NICK" cannot send.
            if (nick_problem(field->Text()) == nullptr)
                settings->ReplaceString(key, trim_blanks(field->Text()).c_str());
        }
        prefs->Unlock();
    }
    BView::DetachedFromWindow();
}
