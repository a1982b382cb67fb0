#include "newComboBox.h"

#include <cmath>

#include <MenuItem.h>
#include <PopUpMenu.h>
#include <TextView.h>
#include <Window.h>

#include "draw_3Drect.h"
#include "myText.h"
#include "textFilter.h"

namespace
{
const rgb_color sc_outline = {64, 64, 64, 255};
const rgb_color sc_outline_disabled = {128, 128, 128, 255};
// The right part that holds the arrow.
const float sc_arrow_width = 20;
} // namespace

newComboBox::newComboBox(BRect frame, char* name, BMessage* message)
    : BView(frame, name, B_FOLLOW_LEFT | B_FOLLOW_TOP,
            B_WILL_DRAW | B_NAVIGABLE_JUMP | B_FRAME_EVENTS),
      m_edit(nullptr), m_menu(nullptr), m_pressed(false), m_enabled(true)
{
    const float W = frame.Width(), H = frame.Height();
    m_edit = new myText(new textFilter(false), BRect(-3, 0, W - sc_arrow_width, H), "_n_combo_edit",
                        nullptr, nullptr, message, B_FOLLOW_LEFT | B_FOLLOW_TOP,
                        B_WILL_DRAW | B_NAVIGABLE);
    m_edit->set_draw(false);
    BRect text = m_edit->TextView()->Bounds();
    m_edit->ResizeTo(text.Width() + 2, text.Height() + 2);
    m_edit->TextView()->MoveTo(1, 1);

    m_menu = new BPopUpMenu("_n_combo_menu", false, false, B_ITEMS_IN_COLUMN);
    m_menu->SetFont(be_plain_font, B_FONT_ALL);

    BRect field = m_edit->Bounds();
    ResizeTo(field.Width() + sc_arrow_width, field.Height() + 4);
    m_edit->MoveTo(2, 2);
}

newComboBox::~newComboBox()
{
    delete m_menu;
    if (m_edit->Parent() == nullptr)
        delete m_edit; // never attached: not our child yet
}

void newComboBox::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}

void newComboBox::AttachedToWindow()
{
    if (m_edit->Parent() == nullptr)
        AddChild(m_edit);
    if (BView* parent = Parent()) {
        m_edit->TextView()->SetViewColor(parent->LowColor());
        m_edit->SetViewColor(parent->LowColor());
        SetHighColor(parent->HighColor());
        SetLowColor(parent->LowColor());
        SetViewColor(parent->ViewColor());
    }
}

BRect newComboBox::arrow_area() const
{
    BRect area = Bounds();
    area.left = area.right - sc_arrow_width;
    return area;
}

void newComboBox::Draw(BRect)
{
    BRect r = Bounds();
    draw_3Drect(this, r, true);
    r.InsetBy(1, 1);
    SetHighColor(m_enabled ? sc_outline : sc_outline_disabled);
    StrokeRect(r);

    BRect a(r.right - 16, r.top, r.right, r.bottom);
    draw_frame(this, a, m_pressed);

    // A downward triangle of five lines, 9 to 1 pixels long, in the
    // outline's colour; pressed, it moves a pixel right and down.
    const float p = m_pressed ? 1 : 0;
    float x0 = std::floor((a.left + a.right) / 2) - 4 + p, x1 = x0 + 8;
    float y = std::floor((a.top + a.bottom) / 2) - 2 + p;
    for (int line = 0; line < 5; line++, x0++, x1--, y++)
        StrokeLine(BPoint(x0, y), BPoint(x1, y));
}

void newComboBox::MouseDown(BPoint)
{
    if (!m_enabled)
        return;
    BPoint where = ConvertToScreen(Bounds().LeftBottom() + BPoint(2, 2));
    const BRect arrow = arrow_area();
    m_pressed = true;
    Invalidate(arrow);
    // The menu holds this thread until it closes: show the press first.
    if (Window() != nullptr)
        Window()->UpdateIfNeeded();

    BMenuItem* chosen = m_menu->Go(where, true, true, ConvertToScreen(arrow));
    if (chosen != nullptr)
        m_edit->SetText(chosen->Label());

    m_pressed = false;
    Invalidate(arrow);
}

void newComboBox::AddString(const char* s)
{
    m_menu->AddItem(new BMenuItem(s, nullptr));
}

const char* newComboBox::GetString()
{
    return m_edit->Text();
}

void newComboBox::SetString(const char* s)
{
    m_edit->SetText(s);
}

void newComboBox::Enable(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    m_edit->TextView()->MakeEditable(on);
    Invalidate();
}
