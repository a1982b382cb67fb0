// The desktop's settings as an XSETTINGS manager publishes them: what the
// toolkit reads (double-click time and distance, resolution, scale) out of
// bytes that another program wrote.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <XSettings.h>

namespace
{

using BPrivate::parse_xsettings;
using BPrivate::XSettingsValues;

// Builds the property in either byte order.
class Property
{
public:
    explicit Property(bool bigEndian) : fBig(bigEndian)
    {
        fBytes = {uint8(bigEndian ? 1 : 0), 0, 0, 0};
        Put32(7); // serial
        Put32(0); // count, set as settings are added
    }
    Property& Integer(const std::string& name, int32 value)
    {
        Header(0, name);
        Put32(uint32(value));
        return Counted();
    }
    Property& String(const std::string& name, const std::string& value)
    {
        Header(1, name);
        Put32(uint32(value.size()));
        Padded(value);
        return Counted();
    }
    Property& Color(const std::string& name)
    {
        Header(2, name);
        for (int i = 0; i < 4; i++)
            Put16(0x8000);
        return Counted();
    }
    std::vector<uint8> Bytes() const { return fBytes; }

private:
    void Header(uint8 type, const std::string& name)
    {
        fBytes.push_back(type);
        fBytes.push_back(0);
        Put16(uint16(name.size()));
        Padded(name);
        Put32(3); // last change
    }
    Property& Counted()
    {
        fCount++;
        for (int i = 0; i < 4; i++) {
            int shift = fBig ? 24 - 8 * i : 8 * i;
            fBytes[8 + size_t(i)] = uint8(fCount >> shift);
        }
        return *this;
    }
    void Padded(const std::string& text)
    {
        fBytes.insert(fBytes.end(), text.begin(), text.end());
        while (fBytes.size() % 4 != 0)
            fBytes.push_back(0);
    }
    void Put16(uint16 value)
    {
        for (int i = 0; i < 2; i++)
            fBytes.push_back(uint8(value >> (fBig ? 8 - 8 * i : 8 * i)));
    }
    void Put32(uint32 value)
    {
        for (int i = 0; i < 4; i++)
            fBytes.push_back(uint8(value >> (fBig ? 24 - 8 * i : 8 * i)));
    }

    bool fBig;
    uint32 fCount = 0;
    std::vector<uint8> fBytes;
};

XSettingsValues Parse(const std::vector<uint8>& bytes, bool* ok = nullptr)
{
    XSettingsValues values;
    bool parsed = parse_xsettings(bytes.data(), bytes.size(), &values);
    if (ok != nullptr)
        *ok = parsed;
    return values;
}

} // namespace

TEST(XSettings, TheValuesAmongOthersInBothByteOrders)
{
    for (bool big : {false, true}) {
        Property property(big);
        property.String("Net/ThemeName", "Adwaita")
            .Integer("Net/DoubleClickTime", 250)
            .Color("Gtk/Colour")
            .Integer("Net/DoubleClickDistance", 9)
            .Integer("Xft/DPI", 192 * 1024)
            .Integer("Gdk/WindowScalingFactor", 2)
            .Integer("Net/DoubleClickTimeout", 1);
        bool ok = false;
        XSettingsValues values = Parse(property.Bytes(), &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(values.doubleClickTime, 250) << (big ? "big" : "little");
        EXPECT_EQ(values.doubleClickDistance, 9);
        EXPECT_EQ(values.dpi, 192 * 1024);
        EXPECT_EQ(values.windowScale, 2);
    }
}

TEST(XSettings, BadBytesGiveWhatWasReadAndNoMore)
{
    bool ok = true;
    Parse({}, &ok);
    EXPECT_FALSE(ok) << "nothing";
    Parse({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, &ok);
    EXPECT_FALSE(ok) << "no such byte order";

    // Cut anywhere, the settings before the cut are kept and nothing is
    // read past the end (the sanitizers watch the reads).
    std::vector<uint8> whole = Property(false)
                                   .Integer("Net/DoubleClickTime", 300)
                                   .Integer("Net/DoubleClickDistance", 6)
                                   .Bytes();
    for (size_t cut = 12; cut < whole.size(); cut++) {
        std::vector<uint8> part(whole.begin(), whole.begin() + long(cut));
        XSettingsValues values = Parse(part, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(values.doubleClickDistance, -1) << cut;
        if (values.doubleClickTime != -1) {
            EXPECT_EQ(values.doubleClickTime, 300);
        }
    }
    EXPECT_EQ(Parse(whole).doubleClickDistance, 6);

    // A count far beyond the settings there, a name or string longer than
    // the property, an unknown type: the parse stops there.
    std::vector<uint8> lying = whole;
    lying[8] = 0xff;
    lying[9] = 0xff;
    EXPECT_EQ(Parse(lying).doubleClickDistance, 6);
    std::vector<uint8> longName = whole;
    longName[14] = 0xff; // the first name's length, high byte
    EXPECT_EQ(Parse(longName).doubleClickTime, -1);
    std::vector<uint8> unknown = Property(true).Integer("Xft/DPI", 98304).Bytes();
    unknown[12] = 7;
    EXPECT_EQ(Parse(unknown).dpi, -1);
    std::vector<uint8> longString =
        Property(false).String("A", "text").Integer("Xft/DPI", 1).Bytes();
    longString[24] = 0xf0; // the string's length
    longString[27] = 0x7f;
    EXPECT_EQ(Parse(longString).dpi, -1);
}
