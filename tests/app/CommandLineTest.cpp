#include "app/CommandLine.h"
#include "app/SyncSteps.h"

#include <gtest/gtest.h>

namespace
{

TEST(CommandLine, ParsesTheArguments)
{
    using Mode = CommandLine::Mode;
    const std::string longest(CommandLine::kMaxServerBytes, 's');
    const struct {
        std::vector<std::string> args;
        Mode mode;
        std::string server;
        std::string flag; // upper-cased; "N" when a server comes without one
        bool setsClock;
    } cases[] = {
        {{}, Mode::Window, "", "", false},
        {{"t.example", "yes"}, Mode::Window, "t.example", "YES", true},
        {{"t.example", "x"}, Mode::Window, "t.example", "X", false},
        {{"t.example"}, Mode::Window, "t.example", "N", false},
        {{longest}, Mode::Window, longest, "N", false},
        {{longest + "s", "y"}, Mode::Invalid, "", "", false},
        {{"--console", "t.example", "Yes"}, Mode::Console, "t.example", "YES", true},
        {{"--console"}, Mode::Invalid, "", "", false},
        {{"--version"}, Mode::Version, "", "", false},
        {{"--fast"}, Mode::Invalid, "", "", false},
    };
    for (const auto& c : cases) {
        const CommandLine line = CommandLine::Parse(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args));
        EXPECT_EQ(line.mode, c.mode);
        EXPECT_EQ(line.server, c.server);
        EXPECT_EQ(line.flag, c.flag);
        EXPECT_EQ(SyncSteps::FlagSetsClock(line.flag), c.setsClock);
        EXPECT_EQ(line.error.empty(), c.mode != Mode::Invalid);
    }
}

} // namespace
