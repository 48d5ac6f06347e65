// horalink-query [-4|-6] [--timeout SECONDS] SERVER [PORT]: one SNTP exchange with the time
// engine to the nanosecond, printed. Never sets the clock. Exit status 0 on success, 1 when the
// exchange failed, 2 on a usage error.
#include "sntp/SntpClient.h"
#include "sntp/SntpPacket.h"
#include "sntp/TimestampText.h"
#include "sntp/nts/NtsAuthentication.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

constexpr double kShortestTimeout = 0.1; // seconds
constexpr double kLongestTimeout = 60.0; // seconds

bool ParsePort(const char* text, unsigned& port)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<unsigned>(value);
    return true;
}

bool ParseTimeout(const char* text, uint32_t& timeoutMs)
{
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds >= kShortestTimeout) ||
        !(seconds <= kLongestTimeout)) {
        return false;
    }
    timeoutMs = static_cast<uint32_t>(std::lround(seconds * 1000));
    return true;
}

QueryOptions Precise()
{
    QueryOptions options;
    options.precision = TimestampPrecision::Nanoseconds;
    return options;
}

struct Arguments {
    QueryOptions options = Precise();
    std::string server;
    unsigned port = kNtpPort;
};

bool Parse(int argc, char** argv, Arguments& args)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string option = argv[i];
        if (option == "-4") {
            args.options.family = AddressFamily::IPv4;
        } else if (option == "-6") {
            args.options.family = AddressFamily::IPv6;
        } else if (option != "--timeout" || ++i == argc ||
                   !ParseTimeout(argv[i], args.options.timeoutMs)) {
            return false;
        }
    }
    if (i == argc || argc - i > 2 || (argc - i == 2 && !ParsePort(argv[i + 1], args.port))) {
        return false;
    }
    args.server = argv[i];
    return true;
}

void Print(const Arguments& args, const SntpReply& reply)
{
    std::printf("Server:           %s\n", args.server.c_str());
    std::printf("Address:          %s port %u\n", reply.address.c_str(), reply.port);
    std::printf("Version:          %d\n", reply.version);
    std::printf("Leap indicator:   %d\n", reply.leapIndicator);
    std::printf("Stratum:          %u\n", reply.stratum);
    std::printf("Reference id:     %s\n",
                ReferenceIdText(reply.stratum, reply.referenceId).c_str());
    std::printf("Root delay:       %.9f s\n", reply.rootDelay);
    std::printf("Root dispersion:  %.9f s\n", reply.rootDispersion);
    std::printf("Originate (T1):   %s\n", Rfc3339(reply.originate).c_str());
    std::printf("Receive (T2):     %s\n", Rfc3339(reply.receive).c_str());
    std::printf("Transmit (T3):    %s\n", Rfc3339(reply.transmit).c_str());
    std::printf("Destination (T4): %s\n", Rfc3339(reply.destination).c_str());
    std::printf("Delay:            %.9f s\n", reply.roundTripDelay);
    std::printf("Offset:           %+.9f s\n", reply.clockOffset);
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    if (!Parse(argc, argv, args)) {
        std::fprintf(stderr, "usage: horalink-query [-4|-6] [--timeout SECONDS] SERVER [PORT]\n");
        return 2;
    }
    CSntpClient client;
    // The tool carries NTS itself rather than looking for the program's module.
    args.options.nts = &CNtsAuthentication::Create;
    client.SetOptions(args.options);
    SntpReply reply;
    const bool ok = client.QueryServer(args.server, reply, args.port);

    if (!ok) {
        if (!client.KissCode().empty()) {
            std::printf("Kiss code:        %s\n", client.KissCode().c_str());
        }
        std::fprintf(stderr, "horalink-query: no time from %s port %u: %s\n", args.server.c_str(),
                     args.port, client.FailureReason().c_str());
        return 1;
    }
    Print(args, reply);
    return 0;
}
