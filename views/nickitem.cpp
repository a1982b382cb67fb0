#include "nickitem.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include <Bitmap.h>
#include <Font.h>
#include <View.h>

#include <RetrieveBitmap.h>
#include <draw_3Drect.h>

namespace
{

// The operator mark, shared by every row and kept for the whole run.
BBitmap* s_op_bmp = nullptr;
std::once_flag s_op_loaded;

const BBitmap* op_bitmap()
{
    std::call_once(s_op_loaded, [] { s_op_bmp = RetrieveBitmap("op.trg_bitmap"); });
    return s_op_bmp;
}

} // namespace

void nickitem::strip_marks(const char* name, char* out, bool* op)
{
    *op = false;
    if (name == nullptr)
        name = "";
    for (; *name != '\0' && strchr("@+~&%", *name) != nullptr; name++) {
        if (*name == '@' || *name == '~' || *name == '&')
            *op = true;
    }
    size_t length = strnlen(name, 63);
    // Never end inside a character.
    if (name[length] != '\0') {
        while (length > 0 && (uint8(name[length]) & 0xC0) == 0x80)
            length--;
    }
    memcpy(out, name, length);
    out[length] = '\0';
}

nickitem::nickitem(const char* name, int type) : BListItem(0, true), m_type(type)
{
    op_bitmap();
    bool op;
    strip_marks(name, m_name, &op);
    if (op)
        m_type = 1;
}

nickitem::~nickitem() = default;

void nickitem::rename(const char* name)
{
    bool op;
    strip_marks(name, m_name, &op);
    if (op)
        m_type = 1;
}

void nickitem::DrawItem(BView* owner, BRect frame, bool)
{
    const rgb_color high = owner->HighColor();
    owner->SetHighColor(owner->ViewColor());
    owner->FillRect(frame);

    BFont font(be_fixed_font);
    font.SetFlags(B_DISABLE_ANTIALIASING);
    owner->SetFont(&font, B_FONT_ALL);

    if (m_type != 0 && op_bitmap() != nullptr) {
        owner->DrawBitmap(op_bitmap(),
                          BPoint(frame.left + 1, std::floor((frame.top + frame.bottom) / 2) - 4));
    }
    font_height height;
    owner->GetFontHeight(&height);
    owner->SetHighColor(0, 0, 0);
    owner->DrawString(m_name, BPoint(12, frame.top + height.ascent + height.leading + 1));
    owner->SetHighColor(high);

    if (IsSelected()) {
        frame.right += 1;
        draw_3Drect(owner, frame, false);
        owner->SetDrawingMode(B_OP_SUBTRACT);
        owner->SetHighColor(30, 30, 30, 255);
        owner->FillRect(frame);
        owner->SetDrawingMode(B_OP_COPY);
        owner->SetHighColor(high);
    }
}
