#include "app/CommandLine.h"
#include "app/ConsoleRun.h"
#include "app/SyncApp.h"
#include "app/SyncDlg.h"
#include "res/Version.h"

#include <QApplication>

#include <iostream>
#include <memory>

namespace
{

int RunWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Parsed again now that QApplication has taken out its own options (-platform and such).
    const CommandLine commandLine = CommandLine::Parse(CommandLine::Arguments(argc, argv));
    CSyncApp sync([&commandLine] {
        auto dlg = std::make_unique<CSyncDlg>();
        if (commandLine.mode == CommandLine::Mode::Window) {
            dlg->SetCommandLine(commandLine);
        }
        return dlg;
    });
    // The program's whole life is the window's: InitInstance returns when it closes.
    sync.InitInstance();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const CommandLine commandLine = CommandLine::Parse(CommandLine::Arguments(argc, argv));
    switch (commandLine.mode) {
    case CommandLine::Mode::Help:
        std::cout << CommandLine::Usage();
        return 0;
    case CommandLine::Mode::Version:
        std::cout << Version::kProductName << ' ' << Version::kVersion << '\n';
        return 0;
    case CommandLine::Mode::Invalid:
        std::cerr << "horalink: " << commandLine.error << '\n';
        return 2;
    case CommandLine::Mode::Console:
        return ConsoleRun(std::cout).Run(commandLine.server, commandLine.flag);
    case CommandLine::Mode::Window:
        break;
    }
    return RunWindow(argc, argv);
}
