// The server window's record of who each channel window may list: a QUIT
// or NICK goes only where it may matter, so every name a window lists must
// be in its set, whatever marks, replies and removals came before.

#include <gtest/gtest.h>

#include <ChannelMembers.h>

namespace
{

const int a = 0, b = 0;
const void* const chanA = &a;
const void* const chanB = &b;

TEST(ChannelMembers, NamesAndJoinsAreFoundWhateverTheirMarks)
{
    ChannelMembers members;
    members.reset(chanA);
    members.names(chanA, "me = #a :@+ann ~bob %cid +dee &eve @");
    members.channel_line(chanA, "JOIN", "fay", ":#a");
    for (const char* name : {"ann", "@ann", "bob", "cid", "dee", "eve", "fay", "+fay"})
        EXPECT_TRUE(members.may_list(chanA, name)) << name;
    EXPECT_FALSE(members.may_list(chanA, "Ann")) << "the list matches case exactly";
    EXPECT_FALSE(members.may_list(chanA, "")) << "an entry of marks only is no name";
    EXPECT_FALSE(members.may_list(chanB, "ann")) << "a window with no set lists nobody";
    members.names(chanB, "me = #b no-colon-no-names");
    EXPECT_FALSE(members.may_list(chanB, "no-colon-no-names"));
}

TEST(ChannelMembers, RemovalsFollowTheWindowsOwnRules)
{
    ChannelMembers members;
    members.names(chanA, "me = #a :ann bob cid dee");
    members.names(chanB, "me = #b :ann bob");
    members.channel_line(chanA, "PART", "ann", "#a :bye");
    EXPECT_FALSE(members.may_list(chanA, "ann"));
    EXPECT_TRUE(members.may_list(chanB, "ann")) << "a PART leaves one channel";

    // The window removes a kicked user only when the KICK has a reason.
    members.channel_line(chanA, "KICK", "op", "#a bob :out");
    members.channel_line(chanA, "KICK", "op", "#a cid");
    EXPECT_FALSE(members.may_list(chanA, "bob"));
    EXPECT_TRUE(members.may_list(chanA, "cid"));

    members.channel_line(chanA, "PRIVMSG", "dee", "#a :hi");
    EXPECT_TRUE(members.may_list(chanA, "dee")) << "other lines change nothing";

    members.quit("bob");
    EXPECT_FALSE(members.may_list(chanB, "bob"));
    members.quit(nullptr); // a QUIT without a sender
}

TEST(ChannelMembers, ARenameMovesTheNameOnlyWhereItWasListed)
{
    ChannelMembers members;
    members.names(chanA, "me = #a :@ann bob");
    members.names(chanB, "me = #b :bob");
    members.rename("ann", "anna");
    EXPECT_FALSE(members.may_list(chanA, "ann"));
    EXPECT_TRUE(members.may_list(chanA, "anna"));
    EXPECT_FALSE(members.may_list(chanB, "anna"));
    members.rename("ann", "annie");
    EXPECT_FALSE(members.may_list(chanA, "annie")) << "ann was gone already";

    members.rename("bob", "rob");
    EXPECT_TRUE(members.may_list(chanA, "rob"));
    EXPECT_TRUE(members.may_list(chanB, "rob"));
    EXPECT_FALSE(members.may_list(chanB, "bob"));
    members.rename("nobody", "bob");
    EXPECT_FALSE(members.may_list(chanA, "bob")) << "an unknown sender adds no name";
}

TEST(ChannelMembers, ClosedWindowsAreForgottenAndANewWindowStartsEmpty)
{
    ChannelMembers members;
    members.names(chanA, "me = #a :ann");
    members.names(chanB, "me = #b :bob");
    EXPECT_EQ(members.windows(), 2u);
    members.keep_only({chanB});
    EXPECT_EQ(members.windows(), 1u);
    EXPECT_FALSE(members.may_list(chanA, "ann"));
    EXPECT_TRUE(members.may_list(chanB, "bob"));
    // A window opened where a closed one was must not inherit its names.
    members.reset(chanB);
    EXPECT_FALSE(members.may_list(chanB, "bob"));

    // Long names are cut as the list cuts them, so they still match.
    std::string longName(80, 'x');
    members.channel_line(chanA, "JOIN", longName.c_str(), "#a");
    EXPECT_TRUE(members.may_list(chanA, (longName + "tail").c_str()));
}

} // namespace
