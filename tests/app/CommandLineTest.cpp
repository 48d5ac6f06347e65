#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "app/SyncDlg.h"
#include "app/SyncSteps.h"

#include <QComboBox>

#include <gtest/gtest.h>

#include <cstring>

namespace
{

using Mode = CommandLine::Mode;

struct ArgvCase {
    const char* name;
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
    testing::Values(
        ArgvCase{"Nothing", {}, Mode::Window, "", "", false},
        ArgvCase{"FlagY", {"time.example", "y"}, Mode::Window, "time.example", "Y", true},
        ArgvCase{"FlagYes", {"time.example", "yes"}, Mode::Window, "time.example", "YES", true},
        ArgvCase{"FlagN", {"time.example", "n"}, Mode::Window, "time.example", "N", false},
        ArgvCase{"FlagX", {"time.example", "x"}, Mode::Window, "time.example", "X", false},
        ArgvCase{"NoFlagQueries", {"time.example"}, Mode::Window, "time.example", "N", false},
        ArgvCase{
            "RestIsTheFlag", {"time.example", "n", "y"}, Mode::Window, "time.example", "N Y", true},
        ArgvCase{"LongestServer", {kLongest}, Mode::Window, kLongest, "N", false},
        ArgvCase{"OverlongServer", {kLongest + "s", "y"}, Mode::Invalid, "", "", false},
        ArgvCase{"Console",
                 {"--console", "time.example", "Yes"},
                 Mode::Console,
                 "time.example",
                 "YES",
                 true},
        ArgvCase{"ConsoleNoFlag",
                 {"--console", "time.example"},
                 Mode::Console,
                 "time.example",
                 "N",
                 false},
        ArgvCase{"ConsoleNoServer", {"--console"}, Mode::Invalid, "", "", false},
        ArgvCase{"ConsoleOverlong", {"--console", kLongest + "s"}, Mode::Invalid, "", "", false},
        ArgvCase{"Help", {"--help"}, Mode::Help, "", "", false},
        ArgvCase{"Version", {"--version"}, Mode::Version, "", "", false},
        ArgvCase{"UnknownOption", {"--fast"}, Mode::Invalid, "", "", false}),
    [](const testing::TestParamInfo<ArgvCase>& test) { return test.param.name; });

// The window's set-up with a command line, its worker's body kept from running.
class CommandLineStartTest : public testing::Test
{
protected:
    void SetUp() override { std::memset(g_szServerArg, 0, sizeof g_szServerArg); }

    void Start(const std::vector<std::string>& args, bool threadsStart)
    {
        m_dlg.SetExeDir(m_folder.Path());
        m_dlg.SetCommandLine(CommandLine::Parse(args));
        m_dlg.SetThreadStarter([this, threadsStart](std::function<void()>) {
            ++m_starts;
            return threadsStart;
        });
        m_dlg.OnInitDialog();
    }

    TempExeDir m_folder;
    CSyncDlg m_dlg;
    int m_starts = 0;
};

TEST_F(CommandLineStartTest, ServerAndFlagStartTheWorker)
{
    Start({"time.example", "yes"}, true);
    EXPECT_STREQ(g_szServerArg, "time.example");
    EXPECT_EQ(m_dlg.m_strAdjustFlag, "YES");
    EXPECT_EQ(m_starts, 1);
    EXPECT_TRUE(m_dlg.IsBusy());
}

TEST_F(CommandLineStartTest, NoServerStartsNothing)
{
    Start({}, true);
    EXPECT_EQ(m_starts, 0);
    EXPECT_FALSE(m_dlg.IsBusy());
    EXPECT_EQ(m_dlg.m_strAdjustFlag, "");
}

TEST_F(CommandLineStartTest, OverlongServerStartsNothing)
{
    Start({std::string(300, 's'), "y"}, true);
    EXPECT_EQ(m_starts, 0);
    EXPECT_STREQ(g_szServerArg, "");
}

// The rest of the set-up runs when the worker cannot be created, and "OK" can try again.
TEST_F(CommandLineStartTest, SetUpGoesOnWhenTheWorkerCannotStart)
{
    Start({"time.example", "y"}, false);
    EXPECT_EQ(m_starts, 1);
    EXPECT_FALSE(m_dlg.IsBusy());
    EXPECT_EQ(m_dlg.m_comboServer->count(), 3);
    EXPECT_EQ(m_dlg.size(), QSize(270, 240));
    m_dlg.OnOK();
    EXPECT_EQ(m_starts, 2);
}

} // namespace
