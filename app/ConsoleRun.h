#pragma once

#include "app/SocketLibraryApi.h"
#include "app/WorkerHost.h"
#include "sntp/SntpClient.h"

#include <memory>
#include <ostream>
#include <string>

// The command-line run without a window: the lines the log pane would get are printed at once,
// one per line, and the exit code says whether it worked.
class ConsoleRun : private WorkerHost
{
public:
    explicit ConsoleRun(std::ostream& out);
    // Sets the clock through clockApi instead of the operating system (tests).
    ConsoleRun(std::ostream& out, SystemClockApi& clockApi);

    void SetSocketLibrary(std::shared_ptr<SocketLibraryApi> sockets)
    {
        m_sockets = std::move(sockets);
    }

    // 0 when the time was retrieved and, with a Y in flag, the clock set; 1 otherwise.
    int Run(const std::string& server, const std::string& flag);

private:
    std::string ServerText() override { return m_server; }
    void AppendLog(const std::string& line) override;
    void SetLogText(const std::string& text) override;
    void StoreReply(const SntpReply&) override {}
    bool AdjustClock(double offset) override;

    std::ostream& m_out;
    CSntpClient m_client;
    std::shared_ptr<SocketLibraryApi> m_sockets;
    std::string m_server;
};
