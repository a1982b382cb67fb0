#include "chanelItem.h"

#include <cstdlib>
#include <cstring>

#include <Font.h>
#include <View.h>

#include <draw_3Drect.h>

chanelItem::chanelItem(const char* name)
    : BListItem(0, true), m_name(name != nullptr ? strdup(name) : nullptr)
{
}

chanelItem::~chanelItem()
{
    free(m_name);
}

void chanelItem::rename(const char* name)
{
    free(m_name);
    m_name = name != nullptr ? strdup(name) : nullptr;
}

void chanelItem::DrawItem(BView* owner, BRect frame, bool)
{
    const rgb_color high = owner->HighColor();
    owner->SetHighColor(owner->ViewColor());
    owner->FillRect(frame);

    BFont font(be_fixed_font);
    font.SetFlags(B_DISABLE_ANTIALIASING);
    owner->SetFont(&font, B_FONT_ALL);
    font_height height;
    owner->GetFontHeight(&height);
    owner->MovePenTo(2, frame.top + height.ascent + height.leading);
    owner->SetHighColor(0, 0, 0);
    if (m_name != nullptr)
        owner->DrawString(m_name);
    owner->SetHighColor(high);

    if (IsSelected()) {
        frame.right += 1;
        draw_3Drect(owner, frame, false);
    }
}
