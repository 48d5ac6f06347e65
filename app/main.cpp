#include "app/CommandLine.h"
#include "app/console/ConsoleRun.h"
#include "app/console/PluginOutput.h"
#include "app/window/FontConfigWarmUp.h"
#include "app/window/SyncApp.h"
#include "app/window/SyncDlg.h"
#include "app/window/Translation.h"
#include "platform/EffectiveCapability.h"
#include "res/Version.h"

#include <QApplication>
#include <QLocale>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sys/stat.h>

namespace
{

// Qt aborts where it finds no display. A platform that needs none (offscreen, for the tests),
// named by -platform or QT_QPA_PLATFORM, counts as one.
bool HasDisplay(int argc, char** argv)
{
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) {
            platform = argv[i + 1];
        }
    }
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) {
        return true;
    }
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

// Without a session bus, libdbus would start one for Qt's accessibility bridge (dbus-launch)
// and leave its address under ~/.dbus: the address then names no bus, so none is started. A bus
// in the runtime folder, where libdbus looks before starting one, is the session's own.
void NeverStartASessionBus()
{
    // An empty address counts as none: libdbus would start a bus for it too.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return;
    }
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat bus;
    if (!runtime.isEmpty() && stat(runtime + "/bus", &bus) == 0 && S_ISSOCK(bus.st_mode)) {
        return;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}

int RunWindow(int argc, char** argv, const CommandLine& commandLine)
{
    if (!HasDisplay(argc, argv)) {
        std::cerr << "no display: set DISPLAY or WAYLAND_DISPLAY, or use --console SERVER\n";
        return 2;
    }
    NeverStartASessionBus();
    FontConfigWarmUp fonts;
    QApplication app(argc, argv);
    // Wayland compositors match the window to its desktop entry, and so to its icon, by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.horalink.horalink"));
    Translation::Install(QLocale());
    fonts.Wait();
    CSyncApp sync([&commandLine] {
        auto dlg = std::make_unique<CSyncDlg>();
        dlg->SetCommandLine(commandLine);
        return dlg;
    });
    // The program's whole life is the window's: InitInstance returns when it closes.
    sync.InitInstance();
    return 0;
}

int Run(int argc, char** argv)
{
    // Before any thread exists, so that none inherits the right to set the clock: the clock
    // setter raises it for its own call only.
    DropEffectiveSystemTimeCapability();
    const CommandLine commandLine = CommandLine::Parse(CommandLine::Arguments(argc, argv));
    switch (commandLine.mode) {
    case CommandLine::Mode::Help:
        std::cout << CommandLine::Usage();
        return 0;
    case CommandLine::Mode::Version:
        std::cout << Version::kProductName << ' ' << Version::kVersion << '\n';
        return 0;
    case CommandLine::Mode::Invalid:
        if (commandLine.check) {
            const PluginOutput::Status status = PluginOutput::Usage(commandLine.error);
            std::cout << status.line << '\n';
            return status.exitCode;
        }
        std::cerr << "horalink: " << commandLine.error << " (see horalink --help)\n";
        return ConsoleRun::kExitUsage;
    case CommandLine::Mode::Console: {
        // A run that will not set the clock gives the right up before the server says a word.
        if (!CommandLine::FlagSetsClock(commandLine.flag) && !DropSystemTimeCapabilityForGood()) {
            std::cerr << "horalink: cannot give up CAP_SYS_TIME\n";
            return ConsoleRun::kExitNotRetrieved;
        }
        // The route through systemd-timedated makes the application object its event loop needs;
        // a run that only reports makes none.
        return ConsoleRun(std::cout, std::cerr).Run(commandLine);
    }
    case CommandLine::Mode::Window:
        break;
    }
    return RunWindow(argc, argv, commandLine);
}

} // namespace

int main(int argc, char** argv)
{
    const int status = Run(argc, argv);
    // Everything of ours is gone. Static destructors are skipped: they take Qt's type registry
    // away while Qt's D-Bus thread may still be reading the bus's last messages, and its
    // warnings would follow the reason that a failed run leaves alone on stderr.
    std::fflush(nullptr); // std::cout writes through C's stdout
    std::_Exit(status);
}
