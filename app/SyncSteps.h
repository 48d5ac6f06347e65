#pragma once

#include "app/WorkerHost.h"
#include "sntp/Query.h"
#include "sntp/SntpPacket.h"
#include "sntp/SntpReply.h"

#include <QtGlobal>

#include <string>
#include <vector>

// The steps the retrieve and command-line workers run, the console mode with them, and the
// texts they write. Written against WorkerHost, so the window and the console share them.
class SyncSteps
{
public:
    enum class Outcome {
        SocketsFailed, // the socket library did not start or has the wrong version
        QueryFailed,   // no answer, or an unusable one
        Retrieved,     // the report was written
        Adjusted,      // retrieved, then the clock was set
        AdjustFailed,  // retrieved, but the clock could not be set
    };

    // The texts are marked for translation: the window shows them in the user's language (see
    // LogText), the console always as they are here.
    static constexpr const char* kRetrieveFailed =
        QT_TRANSLATE_NOOP("SyncSteps", "Failed to retreive time from server");
    static constexpr const char* kAdjusted =
        QT_TRANSLATE_NOOP("SyncSteps", "Time was successfully synchronised");
    static constexpr const char* kAdjustFailed =
        QT_TRANSLATE_NOOP("SyncSteps", "Failed to set the local time");
    static constexpr const char* kSocketsFailed =
        QT_TRANSLATE_NOOP("SyncSteps", "Failed to load winsock stack\r\n");
    static constexpr const char* kSocketsVersion = QT_TRANSLATE_NOOP(
        "SyncSteps", "Winsock stack does not support version which this program requires\r\n");
    static constexpr const char* kAuthenticated =
        QT_TRANSLATE_NOOP("SyncSteps", "The time came authenticated (NTS)");
    static constexpr const char* kRetrieved =
        QT_TRANSLATE_NOOP("SyncSteps", "Time was successfully retreived");
    static constexpr const char* kDestinationDate =
        QT_TRANSLATE_NOOP("SyncSteps", "CLIENT DESTINATION DATE:");
    static constexpr const char* kClockOffset =
        QT_TRANSLATE_NOOP("SyncSteps", "LOCAL CLOCK OFFSET:");
    // Lines with a value: the marker stands for it.
    static constexpr const char* kLookup =
        QT_TRANSLATE_NOOP("SyncSteps", "Looking up   --- %1 ---");
    static constexpr const char* kOffsetSeconds =
        QT_TRANSLATE_NOOP("SyncSteps", "         %f seconds");

    static std::string LookupLine(const std::string& server);
    // The five lines that follow a successful exchange, and a sixth when it was authenticated.
    static std::vector<std::string> ReportLines(const SntpReply& reply);
    static const char* AdjustLine(bool adjusted) { return adjusted ? kAdjusted : kAdjustFailed; }

    // One retrieve: reads the server from the host, queries it and reports.
    static Outcome Retrieve(WorkerHost& host, const QueryOptions& options);
    // The command-line run: look-up line, retrieve, and with a Y in flag also set the clock.
    static Outcome CommandLine(WorkerHost& host, const QueryOptions& options,
                               const std::string& server, const std::string& flag);

    // A worker's exit code for an outcome.
    static unsigned ExitCode(Outcome outcome) { return outcome == Outcome::SocketsFailed ? 1 : 0; }

    // Starts the socket library; on failure writes the reason into the log and returns false.
    static bool StartSockets(WorkerHost& host);

private:
    static bool QueryAndReport(WorkerHost& host, const QueryOptions& options,
                               const std::string& server, SntpReply& reply);
};
