#include <DataIO.h>
#include <Message.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace
{

std::string flatten(const BMessage& m)
{
    std::string out(size_t(m.FlattenedSize()), '\0');
    EXPECT_EQ(m.Flatten(out.data(), ssize_t(out.size())), B_OK);
    return out;
}

void put32(std::string& s, uint32 v)
{
    for (int i = 0; i < 4; i++)
        s.push_back(char(v >> (8 * i)));
}

// Builds the flattened form by hand, so that tests can lie in it.
struct Writer {
    std::string body;
    uint32 fields = 0;
    uint32 what = 0;

    Writer& Field(type_code type, const std::string& name, const std::vector<std::string>& values,
                  uint8 flags = 1, int32 countOverride = -1)
    {
        put32(body, type);
        body.push_back(char(flags));
        body.push_back(char(name.size()));
        body.push_back(char(name.size() >> 8));
        body += name;
        put32(body, countOverride >= 0 ? uint32(countOverride) : uint32(values.size()));
        for (const std::string& v : values) {
            put32(body, uint32(v.size()));
            body += v;
        }
        fields++;
        return *this;
    }
    std::string Bytes(int64 sizeOverride = -1) const
    {
        std::string s;
        put32(s, 0x504C4D31);
        put32(s, sizeOverride >= 0 ? uint32(sizeOverride) : uint32(16 + body.size()));
        put32(s, what);
        put32(s, fields);
        return s + body;
    }
};

std::string int32_bytes(int32 v)
{
    std::string s;
    put32(s, uint32(v));
    return s;
}

status_t unflatten(const std::string& bytes, BMessage* into = nullptr)
{
    BMessage local;
    BMessage* m = into != nullptr ? into : &local;
    return m->Unflatten(bytes.data(), ssize_t(bytes.size()));
}

BMessage sample()
{
    BMessage m('smpl');
    m.AddString("nick", "be_user");
    m.AddString("server", "irc.example.org:6667");
    m.AddString("server", "irc.example.net");
    m.AddInt16("encoding", 17);
    m.AddPoint("IRCAppWindow", BPoint(-1, 5));
    m.AddRect("LastServerSize", BRect(10, 20, 500, 400));
    uint8 color[4] = {152, 203, 255, 255};
    m.AddData("usr", B_ANY_TYPE, color, 4);
    BMessage host;
    host.AddRect("#beos", BRect(1, 2, 3, 4));
    m.AddMessage("irc.example.org", &host);
    return m;
}

} // namespace

TEST(Flatten, RoundTripsEveryTypeTheSettingsUse)
{
    BMessage m = sample();
    std::string bytes = flatten(m);
    EXPECT_EQ(ssize_t(bytes.size()), m.FlattenedSize());
    BMessage back;
    ASSERT_EQ(unflatten(bytes, &back), B_OK);
    EXPECT_EQ(back.what, uint32('smpl'));
    EXPECT_EQ(flatten(back), bytes);
    const char* second;
    ASSERT_EQ(back.FindString("server", 1, &second), B_OK);
    EXPECT_STREQ(second, "irc.example.net");
    BMessage host;
    ASSERT_EQ(back.FindMessage("irc.example.org", &host), B_OK);
    BRect frame;
    ASSERT_EQ(host.FindRect("#beos", &frame), B_OK);
    EXPECT_EQ(frame, BRect(1, 2, 3, 4));
}

TEST(Flatten, StreamsThroughADataIO)
{
    BMessage m = sample();
    BMallocIO io;
    ssize_t size = 0;
    ASSERT_EQ(m.Flatten(&io, &size), B_OK);
    EXPECT_EQ(size, m.FlattenedSize());
    io.Write("trailing", 8); // what follows the message is not read
    io.Seek(0, SEEK_SET);
    BMessage back;
    ASSERT_EQ(back.Unflatten(&io), B_OK);
    EXPECT_EQ(io.Position(), size);
    EXPECT_EQ(flatten(back), flatten(m));
    char small[8];
    EXPECT_EQ(m.Flatten(small, sizeof(small)), B_BAD_VALUE);
}

TEST(Flatten, RefusesEveryTruncation)
{
    std::string bytes = flatten(sample());
    for (size_t cut = 0; cut < bytes.size(); cut++)
        EXPECT_EQ(unflatten(bytes.substr(0, cut)), B_BAD_DATA) << "cut at " << cut;
    EXPECT_EQ(unflatten(bytes + "x"), B_BAD_DATA) << "trailing byte";
}

TEST(Flatten, FailureLeavesTheMessageAsItWas)
{
    BMessage m('keep');
    m.AddString("nick", "bob");
    std::string bad = flatten(sample());
    bad[20] ^= 0x7F;
    EXPECT_NE(unflatten(bad, &m), B_OK);
    EXPECT_EQ(m.what, uint32('keep'));
    EXPECT_STREQ(m.GetString("nick"), "bob");
}

TEST(Flatten, RefusesLyingCountsAndSizes)
{
    // A count of values far beyond the bytes present.
    EXPECT_EQ(unflatten(Writer().Field(B_INT32_TYPE, "n", {int32_bytes(1)}, 1, 0x7FFFFFFF).Bytes()),
              B_BAD_DATA);
    // Zero values is not a field.
    EXPECT_EQ(unflatten(Writer().Field(B_INT32_TYPE, "n", {}, 1).Bytes()), B_BAD_DATA);
    // A value size beyond the message.
    Writer big;
    big.Field(B_RAW_TYPE, "r", {"abc"}, 0);
    std::string bytes = big.Bytes();
    bytes[16 + 4 + 1 + 2 + 1 + 4] = char(0xFF); // the value's size, low byte
    bytes[16 + 4 + 1 + 2 + 1 + 4 + 3] = char(0x7F);
    EXPECT_EQ(unflatten(bytes), B_BAD_DATA);
    // A total size that disagrees with the buffer, either way.
    Writer ok;
    ok.Field(B_INT32_TYPE, "n", {int32_bytes(5)});
    EXPECT_EQ(unflatten(ok.Bytes()), B_OK);
    EXPECT_EQ(unflatten(ok.Bytes(ok.Bytes().size() + 100)), B_BAD_DATA);
    EXPECT_EQ(unflatten(ok.Bytes(12)), B_BAD_DATA);
    // More fields announced than present.
    Writer more = ok;
    more.fields = 5;
    EXPECT_EQ(unflatten(more.Bytes()), B_BAD_DATA);
}

TEST(Flatten, RefusesValuesOfTheWrongShape)
{
    EXPECT_EQ(unflatten(Writer().Field(B_INT32_TYPE, "n", {"abc"}).Bytes()), B_BAD_DATA);
    EXPECT_EQ(unflatten(Writer().Field(B_RECT_TYPE, "r", {std::string(15, 'x')}).Bytes()),
              B_BAD_DATA);
    EXPECT_EQ(unflatten(Writer().Field(B_STRING_TYPE, "s", {"no nul"}, 0).Bytes()), B_BAD_DATA);
    EXPECT_EQ(unflatten(Writer().Field(B_STRING_TYPE, "s", {""}, 0).Bytes()), B_BAD_DATA);
    EXPECT_EQ(unflatten(Writer().Field(B_RAW_TYPE, "r", {"ab", "abc"}, 1).Bytes()), B_BAD_DATA)
        << "fixed-size field with two sizes";
    EXPECT_EQ(unflatten(Writer().Field(B_RAW_TYPE, "r", {"ab"}, 2).Bytes()), B_BAD_DATA)
        << "unknown flag";
    EXPECT_EQ(unflatten(Writer().Field(B_RAW_TYPE, "", {"ab"}).Bytes()), B_BAD_DATA);
    EXPECT_EQ(unflatten(Writer().Field(B_RAW_TYPE, std::string("a\0b", 3), {"ab"}).Bytes()),
              B_BAD_DATA);
    EXPECT_EQ(
        unflatten(
            Writer().Field(B_RAW_TYPE, "dup", {"ab"}).Field(B_RAW_TYPE, "dup", {"cd"}).Bytes()),
        B_BAD_DATA);
    EXPECT_EQ(unflatten(Writer().Field(B_MESSAGE_TYPE, "m", {"not a message"}, 0).Bytes()),
              B_BAD_DATA);
    std::string badMagic = Writer().Bytes();
    badMagic[0] = 'X';
    EXPECT_EQ(unflatten(badMagic), B_BAD_DATA);
    EXPECT_EQ(unflatten(Writer().Bytes()), B_OK) << "an empty message is fine";
}

TEST(Flatten, RefusesNestingTooDeep)
{
    auto nest = [](int depth) {
        BMessage m('leaf');
        m.AddInt32("depth", depth);
        std::string bytes = flatten(m);
        for (int i = 0; i < depth; i++)
            bytes = Writer().Field(B_MESSAGE_TYPE, "m", {bytes}, 0).Bytes();
        return bytes;
    };
    EXPECT_EQ(unflatten(nest(B_MESSAGE_MAX_DEPTH)), B_OK);
    EXPECT_EQ(unflatten(nest(B_MESSAGE_MAX_DEPTH + 1)), B_BAD_DATA);
    EXPECT_EQ(unflatten(nest(500)), B_BAD_DATA);
}

TEST(Flatten, AStreamThatLiesAboutItsSizeFailsWithoutReadingForever)
{
    Writer w;
    w.Field(B_INT32_TYPE, "n", {int32_bytes(1)});
    std::string bytes = w.Bytes(200 * 1024 * 1024); // claims 200 MB, holds a few bytes
    BMemoryIO io(static_cast<const void*>(bytes.data()), bytes.size());
    BMessage m;
    EXPECT_EQ(m.Unflatten(&io), B_BAD_DATA);
    std::string huge = w.Bytes(0xFFFFFFF0u);
    BMemoryIO io2(static_cast<const void*>(huge.data()), huge.size());
    EXPECT_EQ(m.Unflatten(&io2), B_BAD_DATA);
}
