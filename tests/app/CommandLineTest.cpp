#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "app/SyncDlg.h"
#include "app/SyncSteps.h"
#include "controls/IComboBox.h"

#include <gtest/gtest.h>

namespace
{

using Mode = CommandLine::Mode;

struct ArgvCase {
    std::vector<std::string> args;
    Mode mode;
    std::string server;
    std::string flag;
    bool setsClock;
};

class CommandLineTest : public testing::TestWithParam<ArgvCase>
{
};

TEST_P(CommandLineTest, ParsesTheArguments)
{
    const ArgvCase& c = GetParam();
    const CommandLine line = CommandLine::Parse(c.args);
    EXPECT_EQ(line.mode, c.mode);
    EXPECT_EQ(line.server, c.server);
    EXPECT_EQ(line.flag, c.flag);
    EXPECT_EQ(SyncSteps::FlagSetsClock(line.flag), c.setsClock);
    EXPECT_EQ(line.error.empty(), c.mode != Mode::Invalid);
}

const std::string kLongest(CommandLine::kMaxServerBytes, 's');

INSTANTIATE_TEST_SUITE_P(
    Argv, CommandLineTest,
    testing::Values(ArgvCase{{}, Mode::Window, "", "", false},
                    ArgvCase{{"t.example", "y"}, Mode::Window, "t.example", "Y", true},
                    ArgvCase{{"t.example", "yes"}, Mode::Window, "t.example", "YES", true},
                    ArgvCase{{"t.example", "n"}, Mode::Window, "t.example", "N", false},
                    ArgvCase{{"t.example", "x"}, Mode::Window, "t.example", "X", false},
                    ArgvCase{{"t.example"}, Mode::Window, "t.example", "N", false},
                    ArgvCase{{kLongest}, Mode::Window, kLongest, "N", false},
                    ArgvCase{{kLongest + "s", "y"}, Mode::Invalid, "", "", false},
                    ArgvCase{
                        {"--console", "t.example", "Yes"}, Mode::Console, "t.example", "YES", true},
                    ArgvCase{{"--console"}, Mode::Invalid, "", "", false},
                    ArgvCase{{"--version"}, Mode::Version, "", "", false},
                    ArgvCase{{"--fast"}, Mode::Invalid, "", "", false}));

// When the command-line worker cannot be created, the rest of the set-up still runs and the
// next "OK" tries again.
TEST(CommandLineStart, SetUpGoesOnWhenTheWorkerCannotStart)
{
    TempExeDir folder;
    CSyncDlg dlg;
    dlg.SetExeDir(folder.Path());
    dlg.SetCommandLine(CommandLine::Parse({"t.example", "yes"}));
    int starts = 0;
    dlg.SetThreadStarter([&starts](std::function<void()>) { return ++starts, false; });
    dlg.OnInitDialog();
    EXPECT_STREQ(g_szServerArg, "t.example");
    EXPECT_EQ(dlg.m_strAdjustFlag, "YES");
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(dlg.IsBusy());
    EXPECT_EQ(dlg.m_comboServer->count(), 3);
    EXPECT_EQ(dlg.size(), QSize(270, 240));
    dlg.OnOK();
    EXPECT_EQ(starts, 2);
}

} // namespace
