#include "ListItem.h"

#include <algorithm>
#include <cmath>

#include "ControlLook.h"
#include "Font.h"
#include "View.h"

using namespace BPrivate;

namespace
{

// Room around the line of text in a row, and before the text.
const float kRowPadding = 2;
const float kTextInset = 4;

} // namespace

BListItem::BListItem(uint32 outlineLevel, bool expanded)
    : fHeight(0), fWidth(0), fOutlineLevel(outlineLevel), fSelected(false), fEnabled(true),
      fExpanded(expanded)
{
}

BListItem::~BListItem() {}

void BListItem::DrawItem(BView*, BRect, bool) {}

void BListItem::Update(BView* owner, const BFont* font)
{
    font_height metrics;
    if (font != nullptr)
        font->GetHeight(&metrics);
    else if (owner != nullptr)
        owner->GetFontHeight(&metrics);
    else
        be_plain_font->GetHeight(&metrics);
    SetHeight(std::ceil(metrics.ascent + metrics.descent + metrics.leading) + kRowPadding);
    if (owner != nullptr)
        SetWidth(owner->Bounds().Width());
}

void BListItem::SetHeight(float height)
{
    // Rows are whole pixels; nonsense heights become empty rows.
    fHeight = std::isfinite(height) ? std::clamp(std::round(height), 0.0f, 100000.0f) : 0;
}

void BListItem::SetWidth(float width)
{
    fWidth = std::isfinite(width) ? std::max(width, 0.0f) : 0;
}

// -- BStringItem -------------------------------------------------------------------

BStringItem::BStringItem(const char* text, uint32 outlineLevel, bool expanded)
    : BListItem(outlineLevel, expanded), fText(text != nullptr ? text : ""),
      fHasText(text != nullptr)
{
}

BStringItem::~BStringItem() {}

void BStringItem::SetText(const char* text)
{
    fText = text != nullptr ? text : "";
    fHasText = text != nullptr;
}

void BStringItem::DrawItem(BView* owner, BRect frame, bool complete)
{
    if (owner == nullptr)
        return;
    rgb_color high = owner->HighColor();
    rgb_color selection = selection_color(owner);
    if (IsSelected() || complete) {
        rgb_color back = owner->ViewColor();
        if (back == B_TRANSPARENT_COLOR)
            back = owner->LowColor();
        owner->SetHighColor(IsSelected() ? selection : back);
        owner->FillRect(frame);
    }
    if (!fText.empty()) {
        font_height metrics;
        owner->GetFontHeight(&metrics);
        // The line centred in the row.
        float room = frame.Height() + 1 - std::ceil(metrics.ascent + metrics.descent);
        float baseline =
            frame.top + std::floor(std::max(room, 0.0f) / 2) + std::ceil(metrics.ascent);
        rgb_color text = IsEnabled() ? high : kDisabledText;
        owner->SetHighColor(IsSelected() ? readable_on(text, selection) : text);
        owner->DrawString(fText.c_str(), BPoint(frame.left + kTextInset, baseline));
    }
    owner->SetHighColor(high);
}
