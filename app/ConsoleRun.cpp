#include "app/ConsoleRun.h"

#include "app/SyncSteps.h"

ConsoleRun::ConsoleRun(std::ostream& out)
    : m_out(out), m_sockets(std::make_shared<SocketLibraryApi>())
{
}

ConsoleRun::ConsoleRun(std::ostream& out, SystemClockApi& clockApi)
    : m_out(out), m_client(clockApi), m_sockets(std::make_shared<SocketLibraryApi>())
{
}

int ConsoleRun::Run(const std::string& server, const std::string& flag)
{
    m_server = server;
    const SyncSteps::Outcome outcome =
        SyncSteps::CommandLine(*this, m_client, *m_sockets, server, flag);
    // With a Y the run ends in Adjusted or AdjustFailed, never in Retrieved.
    const bool worked =
        outcome == SyncSteps::Outcome::Retrieved || outcome == SyncSteps::Outcome::Adjusted;
    return worked ? 0 : 1;
}

void ConsoleRun::AppendLog(const std::string& line)
{
    m_out << line << '\n' << std::flush;
}

// The pane's text ends its lines with CR LF; a terminal wants LF alone.
void ConsoleRun::SetLogText(const std::string& text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            plain += text[i];
        }
    }
    m_out << plain << std::flush;
}

bool ConsoleRun::AdjustClock(double offset)
{
    return SyncSteps::SetClockByOffset(m_client, offset);
}
