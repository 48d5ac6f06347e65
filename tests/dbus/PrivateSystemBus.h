#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A system bus of the test's own: dbus-daemon on a Unix socket in a temporary folder that any
// user may reach, and services started on it (python3-dbusmock templates, the real
// systemd-timedated). Everything it starts is stopped by its pid when it goes. The machine's
// own system bus is never touched.
class PrivateSystemBus
{
public:
    struct Output {
        int exitCode = -1;
        QString out, err;
    };

    PrivateSystemBus() = default;
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // What keeps these tests from running here (not root, a tool missing, CAP_SYS_TIME still
    // in the bounding set so that timedated could set the clock); empty when nothing does.
    static QString Missing();

    bool Start();
    // python3 -m dbusmock --system --template NAME [-p PARAMETERS]; waits for its bus name.
    bool StartMock(const QString& name, const QString& busName, const QString& parameters = {});
    bool StartTimedated();
    QString Address() const;
    const QString& Error() const { return m_error; }

    // gdbus call on this bus: DESTINATION OBJECT METHOD ARGS...
    Output Call(const QStringList& arguments) const;
    // A program with this bus as the system bus, optionally as the unprivileged user 65534.
    Output Run(const QString& program, const QStringList& arguments, bool unprivileged) const;

private:
    bool Launch(const QString& program, const QStringList& arguments);
    bool WaitForName(const QString& busName);
    QProcessEnvironment Environment() const;
    bool Fail(QString reason);

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QString m_error;
};
