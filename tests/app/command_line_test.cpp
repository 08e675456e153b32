#include "app/gui/command_line.h"

#include <gtest/gtest.h>
#include <string>

using vanthe::BuildCommandLine;
using vanthe::FindCommandTail;

namespace {

TEST(CommandTail, FollowsTheProgramNameAndItsBlanks) {
    struct Case {
        const char* line;
        const char* tail;
    } cases[] = {
        {"\"/opt/v a/vanthe\" /data/a.txt", "/data/a.txt"},
        {"vanthe    /data/a.txt", "/data/a.txt"},
        {"\"/opt/vanthe\"/data/a.txt", "/data/a.txt"},
        {"\"vanthe\" \"/data/my file.txt\"", "\"/data/my file.txt\""},
        {"vanthe /data/my file.txt", "/data/my file.txt"},
        {"\"/opt/vanthe /data/a.txt", ""},
        {"vanthe", ""},
        {"vanthe \t\x01 x", "x"},
        {"vanthe /data/a.txt  ", "/data/a.txt  "},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(FindCommandTail(c.line), c.tail) << c.line;
    }
}

TEST(CommandTail, BytesAboveAsciiAreNotBlanks) {
    EXPECT_STREQ(FindCommandTail("vanthe \xC3\xA9t\xC3\xA9.txt"), "\xC3\xA9t\xC3\xA9.txt");
    EXPECT_STREQ(FindCommandTail("v\xC3\xA9 x"), "x");
}

TEST(CommandLine, QuotesAProgramNameWithABlankAndJoinsTheArguments) {
    const char* quoted[] = {"/opt/my apps/vanthe", "/data/a b.txt"};
    EXPECT_EQ(BuildCommandLine(2, quoted), "\"/opt/my apps/vanthe\" /data/a b.txt");
    const char* plain[] = {"vanthe", "one", "two"};
    EXPECT_EQ(BuildCommandLine(3, plain), "vanthe one two");
    EXPECT_STREQ(FindCommandTail(BuildCommandLine(2, quoted).c_str()), "/data/a b.txt");
}

} // namespace
