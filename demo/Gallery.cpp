#include "Gallery.h"

#include <cstring>

#include <AppDefs.h>
#include <Application.h>
#include <Box.h>
#include <Button.h>
#include <CheckBox.h>
#include <ListItem.h>
#include <ListView.h>
#include <MenuBar.h>
#include <MenuField.h>
#include <MenuItem.h>
#include <PopUpMenu.h>
#include <ScrollView.h>
#include <StatusBar.h>
#include <TabView.h>
#include <TextControl.h>
#include <TextView.h>
#include <Window.h>

namespace
{

const rgb_color kPanel = {220, 220, 220, 255};
const uint32 kGrow = 'grow';
const uint32 kPopUp = 'popu';

class GalleryWindow : public BWindow
{
public:
    explicit GalleryWindow(BRect frame) : BWindow(frame, "Gallery", B_DOCUMENT_WINDOW, 0)
    {
        BView* back = new BView(Bounds(), "back", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
        back->SetViewColor(kPanel);
        AddChild(back);

        BMenuBar* bar = new BMenuBar(BRect(), "MenuBar");
        BMenu* file = new BMenu("File");
        file->AddItem(new BMenuItem("Settings", new BMessage('mfst')));
        file->AddSeparatorItem();
        file->AddItem(new BMenuItem("About", new BMessage(B_ABOUT_REQUESTED)));
        file->AddSeparatorItem();
        file->AddItem(new BMenuItem("Exit", new BMessage(B_QUIT_REQUESTED), 'Q'));
        bar->AddItem(file);
        BMenu* windowMenu = new BMenu("Window");
        windowMenu->AddItem(new BMenuItem("Debug", new BMessage('3000')));
        bar->AddItem(windowMenu);
        back->AddChild(bar);
        float top = bar->Frame().bottom + 8;

        // Left column: a box with text controls, check box and buttons.
        BBox* box = new BBox(BRect(8, top, 250, top + 140), "info");
        box->SetLabel("Default user info");
        back->AddChild(box);
        auto* nick =
            new BTextControl(BRect(10, 18, 230, 36), "nick", "Nicknames:", "be_user", nullptr);
        nick->SetDivider(70);
        box->AddChild(nick);
        auto* name =
            new BTextControl(BRect(10, 44, 230, 62), "name", "Full name:", "my name", nullptr);
        name->SetDivider(70);
        box->AddChild(name);
        box->AddChild(new BCheckBox(BRect(10, 72, 120, 88), "invisible", "Invisible", nullptr));
        box->AddChild(
            new BButton(BRect(10, 100, 110, 124), "connect", "Connect", new BMessage(kGrow)));
        box->AddChild(
            new BButton(BRect(120, 100, 230, 124), "popup", "Pop-up...", new BMessage(kPopUp)));

        // A list of servers in a scroll view.
        BListView* list = new BListView(BRect(10, top + 150, 150 - 14, top + 300), "list");
        const char* servers[] = {"irc.libera.chat:6667", "irc.oftc.net",     "irc.example.org",
                                 "irc.example.net:6697", "chat.example.com", "irc.test"};
        for (const char* server : servers)
            list->AddItem(new BStringItem(server));
        list->Select(1);
        back->AddChild(new BScrollView("scroll_list", list, B_FOLLOW_LEFT | B_FOLLOW_TOP, 0, false,
                                       true, B_FANCY_BORDER));

        BMenu* encodings = new BMenu("en");
        const char* names[] = {"Western / ISO 8859-1", "Cyrillic / ISO 8859-5",
                               "Western / MS-Windows Codepage 1252", "Cyrillic /KOI8-R"};
        for (const char* label : names)
            encodings->AddItem(new BMenuItem(label, nullptr));
        encodings->SetLabelFromMarked(true);
        encodings->ItemAt(2)->SetMarked(true);
        auto* field = new BMenuField(BRect(160, top + 150, 510, top + 170), "Encoding", "Encoding",
                                     encodings);
        field->SetDivider(60);
        back->AddChild(field);

        fStatus = new BStatusBar(BRect(160, top + 180, 510, top + 200), "progress");
        fStatus->SetMaxValue(100);
        fStatus->Update(40);
        back->AddChild(fStatus);

        // Right: tabs with a text view.
        BTabView* tabs = new BTabView(BRect(260, top, 510, top + 140), "tabs");
        BRect page = tabs->ContainerView()->Bounds();
        BView* chat = new BView(page, "Chat", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
        chat->SetViewColor(kPanel);
        BRect textFrame = page.InsetByCopy(4, 4);
        textFrame.right -= 14;
        BTextView* text = new BTextView(textFrame, "srv_txt", textFrame.OffsetToCopy(0, 0),
                                        B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
        text->SetViewColor(224, 224, 224);
        text->MakeEditable(false);
        struct Piece {
            const char* text;
            rgb_color color;
        } pieces[] = {
            {"ann", {152, 203, 255, 255}},
            {" PRIVMSG ", {0, 0, 179, 255}},
            {"#beos :hello there\n", {0, 0, 0, 255}},
            {"<me> hi ann\n", {178, 0, 0, 255}},
            {"<<<  starting connection >>>\n", {255, 0, 0, 255}},
        };
        for (const Piece& piece : pieces) {
            text_run_array* runs = BTextView::AllocRunArray(1);
            runs->runs[0].offset = 0;
            runs->runs[0].font = *be_plain_font;
            runs->runs[0].color = piece.color;
            text->Insert(text->TextLength(), piece.text, int32(strlen(piece.text)), runs);
            BTextView::FreeRunArray(runs);
        }
        chat->AddChild(
            new BScrollView("TextScroller", text, B_FOLLOW_ALL_SIDES, 0, false, true, B_NO_BORDER));
        tabs->AddTab(chat);
        // What to try by hand, as selectable text.
        BView* other = new BView(page, "Try", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
        other->SetViewColor(kPanel);
        BRect hintFrame = page.InsetByCopy(4, 4);
        BTextView* hints = new BTextView(hintFrame, "hints", hintFrame.OffsetToCopy(0, 0),
                                         B_FOLLOW_ALL_SIDES, B_WILL_DRAW | B_NAVIGABLE);
        hints->SetViewColor(240, 240, 240);
        hints->SetText("Tab and Shift+Tab move the focus; F10 opens the menus.\n"
                       "Select text, then middle-click a field to paste it.\n"
                       "Ctrl+Backspace deletes a word.");
        hints->MakeEditable(false);
        other->AddChild(hints);
        tabs->AddTab(other);
        back->AddChild(tabs);
    }

    void MessageReceived(BMessage* message) override
    {
        switch (message->what) {
        case kGrow:
            fStatus->Update(10);
            break;
        case kPopUp: {
            BPopUpMenu menu("user_menu", false, true);
            menu.AddItem(new BMenuItem("Private chat", nullptr));
            menu.AddSeparatorItem();
            menu.AddItem(new BMenuItem("Who", nullptr));
            menu.AddItem(new BMenuItem("WhoIs", nullptr));
            BMenu* ctcp = new BMenu("CTCP");
            for (const char* word : {"Ping", "Version", "Time"})
                ctcp->AddItem(new BMenuItem(word, nullptr));
            menu.AddItem(ctcp);
            BPoint where;
            uint32 buttons;
            ChildAt(0)->GetMouse(&where, &buttons);
            menu.Go(ChildAt(0)->ConvertToScreen(where), false, true);
            break;
        }
        default:
            BWindow::MessageReceived(message);
        }
    }

    bool QuitRequested() override
    {
        be_app->PostMessage(B_QUIT_REQUESTED);
        return true;
    }

private:
    BStatusBar* fStatus;
};

} // namespace

BWindow* make_gallery(BRect frame)
{
    return new GalleryWindow(frame);
}
