#include "tests/dbus/PrivateSystemBus.h"
#include "tests/common/ProcessCapabilities.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace
{

constexpr const char* kPython = "/usr/bin/python3"; // Debian's, with its dbusmock
constexpr const char* kTimedated = "/usr/lib/systemd/systemd-timedated";
constexpr int kCapSysTime = 25;
constexpr int kStartWaitMs = 15000;

// Allows everything: the bus is the test's alone.
constexpr const char* kConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/> <allow own="*"/>
    <allow send_type="method_call"/> <allow send_type="signal"/>
    <allow send_type="method_return"/> <allow send_type="error"/>
    <allow receive_type="method_call"/> <allow receive_type="signal"/>
    <allow receive_type="method_return"/> <allow receive_type="error"/>
  </policy>
</busconfig>
)";

bool Installed(const QString& program)
{
    return QFileInfo(program).isExecutable() || !QStandardPaths::findExecutable(program).isEmpty();
}

} // namespace

PrivateSystemBus::~PrivateSystemBus()
{
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        (*it)->terminate();
        if (!(*it)->waitForFinished(3000)) {
            (*it)->kill();
            (*it)->waitForFinished(3000);
        }
    }
}

QString PrivateSystemBus::Missing()
{
    if (::geteuid() != 0) {
        return "not root: the real timedated and the unprivileged caller need it";
    }
    if (HasCapability(kCapSysTime, "CapBnd")) {
        return "CAP_SYS_TIME is in the bounding set: run under capsh --drop=cap_sys_time";
    }
    for (const QString program : {"dbus-daemon", "gdbus", "setpriv", kPython, kTimedated}) {
        if (!Installed(program)) {
            return program + " is not installed";
        }
    }
    QProcess probe;
    probe.start(kPython, {"-c", "import dbusmock"});
    if (!probe.waitForFinished(10000) || probe.exitCode() != 0) {
        return "python3-dbusmock is not installed";
    }
    return {};
}

QString PrivateSystemBus::Address() const
{
    return "unix:path=" + m_dir.filePath("bus");
}

QProcessEnvironment PrivateSystemBus::Environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", Address());
    return environment;
}

bool PrivateSystemBus::Fail(QString reason)
{
    m_error = std::move(reason);
    return false;
}

bool PrivateSystemBus::Launch(const QString& program, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(Environment());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->start(program, arguments);
    if (!process->waitForStarted()) {
        return Fail(program + " did not start: " + process->errorString());
    }
    m_processes.push_back(std::move(process));
    return true;
}

bool PrivateSystemBus::Start()
{
    if (!m_dir.isValid()) {
        return Fail("no temporary folder");
    }
    // The unprivileged caller must reach the socket.
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                            QFile::ExeGroup);
    QFile config(m_dir.filePath("bus.conf"));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QString(kConfig).arg(m_dir.filePath("bus")).toUtf8()) < 0 || !config.flush()) {
        return Fail("cannot write the bus configuration");
    }
    return Launch("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork"}) &&
           WaitForName("org.freedesktop.DBus");
}

bool PrivateSystemBus::StartMock(const QString& name, const QString& busName,
                                 const QString& parameters)
{
    QStringList arguments = {"-m", "dbusmock", "--system", "--template", name};
    if (!parameters.isEmpty()) {
        arguments << "-p" << parameters;
    }
    return Launch(kPython, arguments) && WaitForName(busName);
}

bool PrivateSystemBus::StartTimedated()
{
    return Launch(kTimedated, {}) && WaitForName("org.freedesktop.timedate1");
}

bool PrivateSystemBus::WaitForName(const QString& busName)
{
    const QDeadlineTimer deadline(kStartWaitMs);
    while (!deadline.hasExpired()) {
        const Output owned = Call({"org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus.NameHasOwner", busName});
        if (owned.out.contains("true")) {
            return true;
        }
        QThread::msleep(50);
    }
    return Fail(busName + " did not appear on the bus");
}

PrivateSystemBus::Output PrivateSystemBus::Call(const QStringList& arguments) const
{
    QStringList gdbus = {"call", "--system",         "-d", arguments.value(0),
                         "-o",   arguments.value(1), "-m", arguments.value(2)};
    return Run("gdbus", gdbus + arguments.mid(3), false);
}

PrivateSystemBus::Output PrivateSystemBus::Run(const QString& program, const QStringList& arguments,
                                               bool unprivileged) const
{
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.setStandardInputFile(QProcess::nullDevice());
    if (unprivileged) {
        process.start("setpriv",
                      QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} +
                          arguments);
    } else {
        process.start(program, arguments);
    }
    Output output;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
        output.exitCode = process.exitCode();
    }
    output.out = QString::fromUtf8(process.readAllStandardOutput());
    output.err = QString::fromUtf8(process.readAllStandardError());
    return output;
}
