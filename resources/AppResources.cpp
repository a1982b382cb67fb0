#include "AppResources.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <GraphicsDefs.h>
#include <Message.h>
#include <Rect.h>

namespace
{

// A picture as rows of characters, one a pixel, and what each stands for.
struct swatch {
    char key;
    uint8 red, green, blue;
};

// The three lamps: discs lit from the upper left. 'L' light, 'M' the
// lamp's colour, 'D' dark, '.' the grey corners. The light and dark shades
// lie 30 and 21 above and below the lamp's colour on each channel (less
// where a channel is near its end): 14 light and 20 dark pixels balance,
// so the disc's average is the lamp's colour.
const char* const sc_lamp[] = {
    ".LLLLMM.", //
    "LLLLMMMM", //
    "LLLMMMMD", //
    "LLMMMMDD", //
    "LMMMMDDD", //
    "MMMMDDDD", //
    "MMMDDDDD", //
    ".MMDDDD.", //
};

// The operator mark: a dark red diamond with a near-black edge and a grey
// glint, on white.
const char* const sc_op[] = {
    "....K....", //
    "...KRK...", //
    "..KRGRK..", //
    ".KRGRRRK.", //
    "KRRRRRRRK", //
    ".KRRRRRK.", //
    "..KRRRK..", //
    "...KRK...", //
    "....K....", //
};
const swatch sc_op_swatches[] = {
    {'.', 255, 255, 255}, {'K', 14, 14, 14}, {'R', 122, 0, 0}, {'G', 196, 196, 196}};

// The application's icon, 16 × 16: a speech bubble. Colour-map indices:
// 255 is transparent, 0 black, 63 white, 43 blue, 18 grey.
const char* const sc_icon[] = {
    "................", //
    "...KKKKKKKKKK...", //
    "..KWWWWWWWWWWK..", //
    ".KWWWWWWWWWWWWK.", //
    ".KWWBBWWBBWWBWK.", //
    ".KWWBBWWBBWWBWK.", //
    ".KWWWWWWWWWWWWK.", //
    ".KWWWWWWWWWWWGK.", //
    "..KWWWWWWWWWGK..", //
    "...KKWWKKKKKK...", //
    ".....KWK........", //
    "......KWK.......", //
    ".......KK.......", //
    "................", //
    "................", //
    "................", //
};

uint8 icon_index(char key)
{
    switch (key) {
    case 'K':
        return 0;
    case 'W':
        return 63;
    case 'B':
        return 43;
    case 'G':
        return 18;
    default:
        return 255;
    }
}

uint8 lamp_channel(char key, uint8 value)
{
    // Dark by 0.7 of the light step, so that the two balance.
    int up = std::min(30, 255 - value), down = up * 7 / 10;
    if (down > value) {
        down = value;
        up = down * 10 / 7;
    }
    switch (key) {
    case 'L':
        return uint8(value + up);
    case 'D':
        return uint8(value - down);
    default:
        return value;
    }
}

// The archived form of a B_RGB32 bitmap of the picture.
std::string archive(const char* const* rows, int32 width, int32 height,
                    const std::function<void(char, uint8*)>& pixel)
{
    std::vector<uint8> bits(size_t(width) * size_t(height) * 4);
    for (int32 y = 0; y < height; y++) {
        for (int32 x = 0; x < width; x++) {
            uint8* p = &bits[(size_t(y) * size_t(width) + size_t(x)) * 4];
            pixel(rows[y][x], p); // blue, green, red
            p[3] = 255;
        }
    }
    BMessage message('ARCV');
    message.AddString("class", "BBitmap");
    message.AddRect("_frame", BRect(0, 0, float(width - 1), float(height - 1)));
    message.AddInt32("_cspace", int32(B_RGB32));
    message.AddData("_data", B_RAW_TYPE, bits.data(), ssize_t(bits.size()), false);
    message.AddBool("_contiguous", false);
    std::string flat(size_t(message.FlattenedSize()), '\0');
    message.Flatten(flat.data(), ssize_t(flat.size()));
    return flat;
}

std::string lamp(uint8 red, uint8 green, uint8 blue)
{
    return archive(sc_lamp, 8, 8, [&](char key, uint8* p) {
        if (key == '.') {
            p[0] = p[1] = p[2] = 196;
            return;
        }
        p[0] = lamp_channel(key, blue);
        p[1] = lamp_channel(key, green);
        p[2] = lamp_channel(key, red);
    });
}

std::string op_mark()
{
    return archive(sc_op, 9, 9, [](char key, uint8* p) {
        for (const swatch& s : sc_op_swatches) {
            if (s.key == key) {
                p[0] = s.blue;
                p[1] = s.green;
                p[2] = s.red;
            }
        }
    });
}

std::string icon(int32 scale)
{
    std::string bytes;
    for (int32 y = 0; y < 16 * scale; y++)
        for (int32 x = 0; x < 16 * scale; x++)
            bytes += char(icon_index(sc_icon[y / scale][x / scale]));
    return bytes;
}

// The platform's version record: five numbers, a short and a long text.
std::string version_record()
{
    struct record {
        uint32 major, middle, minor, variety, internal;
        char short_info[64];
        char long_info[256];
    } app = {}, system = {};
    app.minor = 1;
    app.variety = 2; // beta
    strcpy(app.long_info, "IRC client.\nWritten by the Pelmor developers.");
    std::string bytes(reinterpret_cast<const char*>(&app), sizeof app);
    bytes.append(reinterpret_cast<const char*>(&system), sizeof system);
    return bytes;
}

std::string with_nul(const char* text)
{
    return std::string(text, strlen(text) + 1);
}

struct table {
    std::vector<std::string> blocks;
    std::vector<app_resource> entries;

    void add(type_code type, int32 id, const char* name, std::string bytes)
    {
        blocks.push_back(std::move(bytes));
        entries.push_back(app_resource{type, id, name, nullptr, 0});
    }
    table()
    {
        add('RAWT', 6, "green.trg_bitmap", lamp(125, 160, 8));
        add('RAWT', 5, "red.trg_bitmap", lamp(222, 128, 40));
        add('RAWT', 4, "blue.trg_bitmap", lamp(104, 104, 154));
        add('RAWT', 3, "op.trg_bitmap", op_mark());
        add('ICON', 101, "BEOS:L:STD_ICON", icon(2));
        add('MICN', 101, "BEOS:M:STD_ICON", icon(1));
        add('MIMS', 1, "BEOS:APP_SIG", with_nul("application/x-Pelmor"));
        add('MIMS', 2, "BEOS:TYPE", with_nul("application/x-vnd.Be-elfexecutable"));
        add('APPV', 1, "BEOS:APP_VERSION", version_record());
        add('APPF', 1, "BEOS:APP_FLAGS", std::string(4, '\0'));
        add('CSTR', 23, "string1", with_nul("xxxxxxxxxxxxxxxxxxx"));
        add('LONG', 0, "new long", std::string(4, '\0'));
        // The blocks no longer move: point the entries at them.
        for (size_t i = 0; i < entries.size(); i++) {
            entries[i].data = blocks[i].data();
            entries[i].size = blocks[i].size();
        }
    }
};

} // namespace

const app_resource* find_app_resource(type_code type, const char* name)
{
    // Made once, on first use, by any thread; never destroyed, since window
    // threads may still look a bitmap up while the process ends.
    static const table& resources = *new table;
    if (name == nullptr)
        return nullptr;
    for (const app_resource& entry : resources.entries) {
        if (entry.type == type && strcmp(entry.name, name) == 0)
            return &entry;
    }
    return nullptr;
}

std::vector<uint32> app_icon_argb(int32 size)
{
    std::vector<uint32> pixels;
    if (size < 16 || size % 16 != 0)
        return pixels;
    const int32 scale = size / 16;
    pixels.reserve(size_t(size) * size_t(size));
    for (int32 y = 0; y < size; y++) {
        for (int32 x = 0; x < size; x++) {
            // The colours the colour-map indices of the resource stand for.
            switch (sc_icon[y / scale][x / scale]) {
            case 'K':
                pixels.push_back(0xFF000000);
                break;
            case 'W':
                pixels.push_back(0xFFFFFFFF);
                break;
            case 'B':
                pixels.push_back(0xFF0000E5);
                break;
            case 'G':
                pixels.push_back(0xFF989898);
                break;
            default:
                pixels.push_back(0);
            }
        }
    }
    return pixels;
}
