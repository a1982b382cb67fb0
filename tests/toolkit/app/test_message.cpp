#include <Message.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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

namespace
{

// What a message should hold: names in the order added, each with its
// values, all strings here so every size differs.
struct ModelField {
    std::string name;
    std::vector<std::string> values;
};

void expect_matches(const BMessage& m, const std::vector<ModelField>& model, int step)
{
    ASSERT_EQ(m.CountNames(B_ANY_TYPE), int32(model.size())) << "step " << step;
    for (size_t i = 0; i < model.size(); i++) {
        const char* name;
        type_code type;
        int32 count;
        ASSERT_EQ(m.GetInfo(B_ANY_TYPE, int32(i), &name, &type, &count), B_OK) << "step " << step;
        EXPECT_EQ(name, model[i].name) << "step " << step;
        ASSERT_EQ(count, int32(model[i].values.size())) << "step " << step;
        for (int32 v = 0; v < count; v++) {
            const char* text = nullptr;
            ASSERT_EQ(m.FindString(name, v, &text), B_OK) << "step " << step;
            EXPECT_EQ(text, model[i].values[size_t(v)]) << "step " << step;
        }
    }
    // The flattened form reads back as the same message.
    std::string flat(size_t(m.FlattenedSize()), '\0');
    ASSERT_EQ(m.Flatten(flat.data(), ssize_t(flat.size())), B_OK);
    BMessage back;
    ASSERT_EQ(back.Unflatten(flat.data(), ssize_t(flat.size())), B_OK) << "step " << step;
    ASSERT_EQ(back.FlattenedSize(), m.FlattenedSize());
    std::string again(flat.size(), '\0');
    back.Flatten(again.data(), ssize_t(again.size()));
    EXPECT_EQ(again, flat) << "step " << step;
}

} // namespace

// Fields share one block that grows, shrinks and moves; a long run of
// mixed edits must leave every field where a plain model says it is.
TEST(Message, MixedEditsMatchAModel)
{
    BMessage m('mdl');
    std::vector<ModelField> model;
    uint32 seed = 12345;
    auto next = [&seed](uint32 range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int step = 0; step < 3000; step++) {
        std::string name = "f" + std::to_string(next(12));
        // Sizes from empty to well past the inline block.
        std::string value(next(4) == 0 ? next(600) : next(24), char('a' + next(26)));
        auto found = std::find_if(model.begin(), model.end(),
                                  [&name](const ModelField& f) { return f.name == name; });
        switch (next(7)) {
        case 0:
        case 1:
            ASSERT_EQ(m.AddString(name.c_str(), value.c_str()), B_OK);
            if (found == model.end())
                model.push_back({name, {value}});
            else
                found->values.push_back(value);
            break;
        case 2: {
            int32 index = found == model.end() ? 0 : int32(next(uint32(found->values.size())));
            status_t status = m.ReplaceString(name.c_str(), index, value.c_str());
            ASSERT_EQ(status, found == model.end() ? B_NAME_NOT_FOUND : B_OK);
            if (found != model.end())
                found->values[size_t(index)] = value;
            break;
        }
        case 3: {
            int32 index = found == model.end() ? 0 : int32(next(uint32(found->values.size())));
            ASSERT_EQ(m.RemoveData(name.c_str(), index),
                      found == model.end() ? B_NAME_NOT_FOUND : B_OK);
            if (found != model.end()) {
                found->values.erase(found->values.begin() + index);
                if (found->values.empty())
                    model.erase(found);
            }
            break;
        }
        case 4: {
            std::string to = "renamed_to_a_longer_name_" + std::to_string(next(4));
            if (next(2) == 0)
                to = "r" + std::to_string(next(4));
            bool taken = std::any_of(model.begin(), model.end(),
                                     [&to](const ModelField& f) { return f.name == to; });
            status_t status = m.Rename(name.c_str(), to.c_str());
            if (found == model.end())
                ASSERT_EQ(status, B_NAME_NOT_FOUND);
            else if (taken && to != name)
                ASSERT_EQ(status, B_NAME_IN_USE);
            else {
                ASSERT_EQ(status, B_OK);
                found->name = to;
            }
            break;
        }
        case 5: {
            BMessage copy(m);
            m.MakeEmpty();
            m = next(2) == 0 ? copy : std::move(copy);
            break;
        }
        default:
            if (next(40) == 0) {
                m.MakeEmpty();
                model.clear();
            }
            break;
        }
        expect_matches(m, model, step);
        if (HasFatalFailure())
            return;
    }
}

// A value or name taken from the message itself stays valid while the
// block grows under it.
TEST(Message, AddingItsOwnValuesWhileGrowing)
{
    BMessage m;
    std::string big(200, 'x');
    m.AddString("big", big.c_str());
    for (int i = 0; i < 8; i++) {
        // (A pointer into the message is good until the message changes.)
        ASSERT_EQ(m.AddString(("copy" + std::to_string(i)).c_str(), m.GetString("big")), B_OK);
        ASSERT_EQ(m.AddString("big", m.GetString("big")), B_OK);
    }
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(std::string(m.GetString(("copy" + std::to_string(i)).c_str())), big);
    int32 count = 0;
    m.GetInfo("big", nullptr, &count);
    EXPECT_EQ(count, 9);

    const char* name;
    ASSERT_EQ(m.GetInfo(B_STRING_TYPE, 1, &name, nullptr), B_OK);
    EXPECT_EQ(m.AddInt32(name, 1), B_BAD_TYPE) << "the name exists with strings";
    ASSERT_EQ(m.ReplaceString("copy1", m.GetString("copy2")), B_OK);
    ASSERT_EQ(m.Rename("copy3", name), B_NAME_IN_USE);
    EXPECT_EQ(std::string(m.GetString("copy1")), big);
}

// Readers that keep a value from a message watch this count instead of
// locking each time: every change of a field must move it.
TEST(Message, EveryChangeMovesTheChangeCount)
{
    BMessage m;
    BMessage other;
    other.AddInt32("x", 1);
    uint32 seen = m.ChangeCount();
    auto moved = [&m, &seen] {
        bool changed = m.ChangeCount() != seen;
        seen = m.ChangeCount();
        return changed;
    };
    m.AddInt16("encoding", 14);
    EXPECT_TRUE(moved()) << "add";
    m.AddInt16("encoding", 15);
    EXPECT_TRUE(moved()) << "add a second value";
    int16 value;
    m.FindInt16("encoding", &value);
    m.HasInt16("encoding");
    m.FlattenedSize();
    EXPECT_FALSE(moved()) << "reading";
    m.ReplaceInt16("encoding", 1, 17);
    EXPECT_TRUE(moved()) << "replace";
    m.RemoveData("encoding", 0);
    EXPECT_TRUE(moved()) << "remove a value";
    m.Rename("encoding", "code");
    EXPECT_TRUE(moved()) << "rename";
    m.RemoveName("code");
    EXPECT_TRUE(moved()) << "remove a name";
    m = other;
    EXPECT_TRUE(moved()) << "assign";
    m.MakeEmpty();
    EXPECT_TRUE(moved()) << "empty";
    m = std::move(other);
    EXPECT_TRUE(moved()) << "move";
    std::string flat(size_t(m.FlattenedSize()), '\0');
    m.Flatten(flat.data(), ssize_t(flat.size()));
    m.Unflatten(flat.data(), ssize_t(flat.size()));
    EXPECT_TRUE(moved()) << "unflatten";
}

// Literal names take the inline path: names alike in length and first
// letter stay apart, a second value joins its field, and a refused value
// leaves the message as it was.
TEST(Message, LiteralNamesAlikeInLengthAndFirstLetter)
{
    BMessage m;
    ASSERT_EQ(m.AddData("code", B_STRING_TYPE, "a", 2, false), B_OK);
    ASSERT_EQ(m.AddData("cope", B_STRING_TYPE, "b", 2, false), B_OK);
    ASSERT_EQ(m.AddData("code", B_STRING_TYPE, "c", 2, false), B_OK);
    EXPECT_EQ(m.CountNames(B_ANY_TYPE), 2);
    const char* text;
    ASSERT_EQ(m.FindString("code", 1, &text), B_OK);
    EXPECT_STREQ(text, "c");
    ASSERT_EQ(m.FindString("cope", &text), B_OK);
    EXPECT_STREQ(text, "b");

    const uint32 changes = m.ChangeCount();
    EXPECT_EQ(m.AddData("open", B_STRING_TYPE, "no end", 6, false), B_BAD_VALUE);
    EXPECT_EQ(m.AddData("", B_STRING_TYPE, "x", 2, false), B_BAD_VALUE);
    EXPECT_EQ(m.AddData("code", B_STRING_TYPE, nullptr, 2, false), B_BAD_VALUE);
    EXPECT_EQ(m.ChangeCount(), changes);
    EXPECT_EQ(m.CountNames(B_ANY_TYPE), 2);

    // Numbers of a fixed size take the same path.
    const int16 first = 433, second = -1;
    ASSERT_EQ(m.AddData("cide", B_INT16_TYPE, &first, sizeof(first)), B_OK);
    ASSERT_EQ(m.AddData("cide", B_INT16_TYPE, &second, sizeof(second)), B_OK);
    EXPECT_EQ(m.AddData("cide", B_INT16_TYPE, &first, 4), B_BAD_VALUE);
    int16 number;
    ASSERT_EQ(m.FindInt16("cide", 1, &number), B_OK);
    EXPECT_EQ(number, -1);
    EXPECT_EQ(m.CountNames(B_ANY_TYPE), 3);
}
