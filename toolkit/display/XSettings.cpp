#include "XSettings.h"

#include <cstring>

namespace BPrivate
{

namespace
{

class Reader
{
public:
    Reader(const uint8* data, size_t size, bool bigEndian)
        : fData(data), fSize(size), fBig(bigEndian)
    {
    }

    bool Skip(size_t bytes)
    {
        if (bytes > fSize - fAt)
            return false;
        fAt += bytes;
        return true;
    }
    bool Read8(uint32* value) { return ReadN(1, value); }
    bool Read16(uint32* value) { return ReadN(2, value); }
    bool Read32(uint32* value) { return ReadN(4, value); }
    // A string of `length` bytes padded to four; `text` points into the data.
    bool ReadPadded(size_t length, const char** text)
    {
        size_t padded = (length + 3) & ~size_t(3);
        if (length > fSize - fAt || padded > fSize - fAt)
            return false;
        *text = reinterpret_cast<const char*>(fData + fAt);
        fAt += padded;
        return true;
    }

private:
    bool ReadN(size_t bytes, uint32* value)
    {
        if (bytes > fSize - fAt)
            return false;
        uint32 result = 0;
        for (size_t i = 0; i < bytes; i++) {
            uint32 byte = fData[fAt + (fBig ? i : bytes - 1 - i)];
            result = result << 8 | byte;
        }
        fAt += bytes;
        *value = result;
        return true;
    }

    const uint8* fData;
    size_t fSize;
    size_t fAt = 0;
    bool fBig;
};

bool named(const char* name, size_t length, const char* wanted)
{
    return length == strlen(wanted) && memcmp(name, wanted, length) == 0;
}

} // namespace

bool parse_xsettings(const uint8* data, size_t size, XSettingsValues* values)
{
    if (data == nullptr || values == nullptr || size < 12 || data[0] > 1)
        return false;
    Reader reader(data, size, data[0] == 1);
    uint32 serial = 0, count = 0;
    reader.Skip(4);
    reader.Read32(&serial);
    reader.Read32(&count);
    for (uint32 i = 0; i < count; i++) {
        uint32 type = 0, nameLength = 0, changed = 0;
        const char* name = nullptr;
        if (!reader.Read8(&type) || !reader.Skip(1) || !reader.Read16(&nameLength) ||
            !reader.ReadPadded(nameLength, &name) || !reader.Read32(&changed))
            break;
        if (type == 0) {
            uint32 raw = 0;
            if (!reader.Read32(&raw))
                break;
            int32 value = int32(raw);
            if (named(name, nameLength, "Net/DoubleClickTime"))
                values->doubleClickTime = value;
            else if (named(name, nameLength, "Net/DoubleClickDistance"))
                values->doubleClickDistance = value;
            else if (named(name, nameLength, "Xft/DPI"))
                values->dpi = value;
            else if (named(name, nameLength, "Gdk/WindowScalingFactor"))
                values->windowScale = value;
        } else if (type == 1) {
            uint32 length = 0;
            const char* text = nullptr;
            if (!reader.Read32(&length) || !reader.ReadPadded(length, &text))
                break;
        } else if (type == 2) {
            if (!reader.Skip(8))
                break;
        } else {
            break; // a type we cannot step over
        }
    }
    return true;
}

} // namespace BPrivate
