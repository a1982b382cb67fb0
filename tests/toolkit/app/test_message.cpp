#include <Message.h>

#include <cstring>

#include <gtest/gtest.h>

TEST(Message, EveryTypeComesBackAsAdded)
{
    BMessage m('test');
    ASSERT_EQ(m.AddString("s", "text"), B_OK);
    ASSERT_EQ(m.AddInt8("i8", -8), B_OK);
    ASSERT_EQ(m.AddInt16("i16", -1600), B_OK);
    ASSERT_EQ(m.AddInt32("i32", -320000), B_OK);
    ASSERT_EQ(m.AddInt64("i64", -(int64(1) << 40)), B_OK);
    ASSERT_EQ(m.AddBool("b", true), B_OK);
    ASSERT_EQ(m.AddFloat("f", 1.5f), B_OK);
    ASSERT_EQ(m.AddPointer("p", &m), B_OK);
    ASSERT_EQ(m.AddPoint("pt", BPoint(3, -4)), B_OK);
    ASSERT_EQ(m.AddRect("r", BRect(1, 2, 3, 4)), B_OK);
    uint8 raw[4] = {1, 2, 3, 4};
    ASSERT_EQ(m.AddData("raw", B_ANY_TYPE, raw, 4), B_OK);
    BMessage inner('innr');
    inner.AddString("deep", "value");
    ASSERT_EQ(m.AddMessage("msg", &inner), B_OK);

    const char* s;
    int8 i8;
    int16 i16;
    int32 i32;
    int64 i64;
    bool b;
    float f;
    void* p;
    BPoint pt;
    BRect r;
    const void* data;
    ssize_t size;
    BMessage found;
    ASSERT_EQ(m.FindString("s", &s), B_OK);
    EXPECT_STREQ(s, "text");
    ASSERT_EQ(m.FindInt8("i8", &i8), B_OK);
    EXPECT_EQ(i8, -8);
    ASSERT_EQ(m.FindInt16("i16", &i16), B_OK);
    EXPECT_EQ(i16, -1600);
    ASSERT_EQ(m.FindInt32("i32", &i32), B_OK);
    EXPECT_EQ(i32, -320000);
    ASSERT_EQ(m.FindInt64("i64", &i64), B_OK);
    EXPECT_EQ(i64, -(int64(1) << 40));
    ASSERT_EQ(m.FindBool("b", &b), B_OK);
    EXPECT_TRUE(b);
    ASSERT_EQ(m.FindFloat("f", &f), B_OK);
    EXPECT_EQ(f, 1.5f);
    ASSERT_EQ(m.FindPointer("p", &p), B_OK);
    EXPECT_EQ(p, &m);
    ASSERT_EQ(m.FindPoint("pt", &pt), B_OK);
    EXPECT_EQ(pt, BPoint(3, -4));
    ASSERT_EQ(m.FindRect("r", &r), B_OK);
    EXPECT_EQ(r, BRect(1, 2, 3, 4));
    ASSERT_EQ(m.FindData("raw", B_ANY_TYPE, &data, &size), B_OK);
    ASSERT_EQ(size, 4);
    EXPECT_EQ(memcmp(data, raw, 4), 0);
    ASSERT_EQ(m.FindMessage("msg", &found), B_OK);
    EXPECT_EQ(found.what, uint32('innr'));
    EXPECT_STREQ(found.GetString("deep"), "value");
    EXPECT_EQ(m.CountNames(B_ANY_TYPE), 12);
}

TEST(Message, SeveralValuesUnderOneNameKeepTheirOrder)
{
    BMessage m;
    m.AddString("server", "first:6667");
    m.AddString("server", "second");
    m.AddString("server", "third");
    type_code type;
    int32 count;
    ASSERT_EQ(m.GetInfo("server", &type, &count), B_OK);
    EXPECT_EQ(type, type_code(B_STRING_TYPE));
    EXPECT_EQ(count, 3);
    const char* text;
    ASSERT_EQ(m.FindString("server", 1, &text), B_OK);
    EXPECT_STREQ(text, "second");
    EXPECT_EQ(m.FindString("server", 3, &text), B_BAD_INDEX);
    ASSERT_EQ(m.RemoveData("server", 0), B_OK);
    ASSERT_EQ(m.FindString("server", 0, &text), B_OK);
    EXPECT_STREQ(text, "second");
    // A name holds one type only.
    EXPECT_EQ(m.AddInt32("server", 1), B_BAD_TYPE);
}

TEST(Message, FindFailsWhenAbsentOrOfAnotherTypeAndLeavesTheOutputAlone)
{
    BMessage m;
    m.AddInt16("encoding", 17);
    int32 wide = 99;
    EXPECT_EQ(m.FindInt32("encoding", &wide), B_BAD_TYPE);
    EXPECT_EQ(wide, 99);
    EXPECT_EQ(m.FindInt32("missing", &wide), B_NAME_NOT_FOUND);
    EXPECT_EQ(wide, 99);
    int16 narrow = 0;
    EXPECT_EQ(m.FindInt16("encoding", 1, &narrow), B_BAD_INDEX);
    EXPECT_EQ(narrow, 0);
    EXPECT_EQ(m.FindInt16(nullptr, &narrow), B_NAME_NOT_FOUND);
    EXPECT_TRUE(m.HasInt16("encoding"));
    EXPECT_FALSE(m.HasInt32("encoding"));
    EXPECT_FALSE(m.HasInt16("encoding", 1));
    EXPECT_TRUE(m.HasData("encoding", B_ANY_TYPE));
    EXPECT_EQ(m.GetInt32("encoding", -1), -1);
}

TEST(Message, ReplaceChangesOnlyWhatExists)
{
    BMessage m;
    EXPECT_EQ(m.ReplacePoint("IRCAppWindow", BPoint(1, 2)), B_NAME_NOT_FOUND);
    EXPECT_TRUE(m.IsEmpty()) << "Replace must never add";
    m.AddPoint("IRCAppWindow", BPoint(-1, -1));
    EXPECT_EQ(m.ReplacePoint("IRCAppWindow", BPoint(100, 200)), B_OK);
    BPoint where;
    m.FindPoint("IRCAppWindow", &where);
    EXPECT_EQ(where, BPoint(100, 200));
    EXPECT_EQ(m.ReplaceRect("IRCAppWindow", BRect()), B_BAD_TYPE);
    EXPECT_EQ(m.ReplacePoint("IRCAppWindow", 1, BPoint()), B_BAD_INDEX);

    m.AddString("nick", "bob");
    EXPECT_EQ(m.ReplaceString("nick", "a much longer nickname"), B_OK);
    EXPECT_STREQ(m.GetString("nick"), "a much longer nickname");

    BMessage server;
    server.AddRect("#beos", BRect(0, 0, 10, 10));
    m.AddMessage("irc.example.org", &server);
    server.AddRect("#haiku", BRect(1, 1, 5, 5));
    EXPECT_EQ(m.ReplaceMessage("irc.example.org", &server), B_OK);
    BMessage back;
    m.FindMessage("irc.example.org", &back);
    EXPECT_TRUE(back.HasRect("#haiku"));
}

TEST(Message, FixedSizeFieldsRefuseOtherSizes)
{
    BMessage m;
    uint8 four[4] = {1, 2, 3, 4}, three[3] = {1, 2, 3};
    ASSERT_EQ(m.AddData("txt", B_ANY_TYPE, four, 4, true), B_OK);
    EXPECT_EQ(m.AddData("txt", B_ANY_TYPE, three, 3, true), B_BAD_VALUE);
    EXPECT_EQ(m.ReplaceData("txt", B_ANY_TYPE, three, 3), B_BAD_VALUE);
    ASSERT_EQ(m.AddData("var", B_RAW_TYPE, four, 4, false), B_OK);
    EXPECT_EQ(m.AddData("var", B_RAW_TYPE, three, 3, false), B_OK);
    // Known types have known sizes.
    EXPECT_EQ(m.AddData("n", B_INT32_TYPE, three, 3), B_BAD_VALUE);
    EXPECT_EQ(m.AddData("s", B_STRING_TYPE, "abc", 3), B_BAD_VALUE) << "string without its NUL";
    EXPECT_EQ(m.AddString("s", static_cast<const char*>(nullptr)), B_BAD_VALUE);
    EXPECT_EQ(m.AddInt32("", 1), B_BAD_VALUE);
    EXPECT_EQ(m.AddInt32(std::string(256, 'n').c_str(), 1), B_BAD_VALUE);
}

TEST(Message, RemoveNameMakeEmptyAndCopies)
{
    BMessage m('abcd');
    m.AddString("a", "1");
    m.AddString("b", "2");
    BMessage copy(m);
    EXPECT_EQ(m.RemoveName("a"), B_OK);
    EXPECT_EQ(m.RemoveName("a"), B_NAME_NOT_FOUND);
    EXPECT_FALSE(m.HasString("a"));
    EXPECT_TRUE(copy.HasString("a")) << "a copy is independent";
    m.MakeEmpty();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.what, uint32('abcd'));
    EXPECT_EQ(copy.Rename("b", "c"), B_OK);
    EXPECT_EQ(copy.Rename("a", "c"), B_NAME_IN_USE);
    const char* name;
    type_code type;
    ASSERT_EQ(copy.GetInfo(B_STRING_TYPE, 1, &name, &type), B_OK);
    EXPECT_STREQ(name, "c");
    EXPECT_EQ(copy.GetInfo(B_STRING_TYPE, 2, &name, &type), B_BAD_INDEX);
    EXPECT_EQ(copy.GetInfo(B_INT32_TYPE, 0, &name, &type), B_BAD_TYPE);
}

TEST(Message, PrintsEveryField)
{
    BMessage m('irc');
    m.AddString("command", "PRIVMSG");
    m.AddInt16("code", 433);
    m.AddPoint("where", BPoint(6, 25));
    BMessage nested('cfg');
    nested.AddBool("flag", true);
    m.AddMessage("nested", &nested);
    testing::internal::CaptureStdout();
    m.PrintToStream();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("'irc' (0x00697263)"), std::string::npos) << out;
    EXPECT_NE(out.find("command[0] = string(\"PRIVMSG\")"), std::string::npos) << out;
    EXPECT_NE(out.find("code[0] = int16(433)"), std::string::npos) << out;
    EXPECT_NE(out.find("point(x:6.0, y:25.0)"), std::string::npos) << out;
    EXPECT_NE(out.find("flag[0] = bool(true)"), std::string::npos) << out;
}
