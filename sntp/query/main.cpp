// horalink-query [-4|-6] [--timeout SECONDS] [--nts-ca FILE] SERVER [PORT]: one SNTP exchange
// with the time engine to the nanosecond, printed; SERVER nts://HOST[:PORT] asks with Network
// Time Security (PORT of the key exchange inside the name). Never sets the clock. Exit status 0
// on success, 1 when the exchange failed, 2 on a usage error.
#include "platform/EffectiveCapability.h"
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
constexpr const char* kUsage =
    "usage: horalink-query [-4|-6] [--timeout SECONDS] [--nts-ca FILE] SERVER [PORT]\n"
    "       (SERVER nts://HOST[:KE-PORT] for Network Time Security; no PORT then)\n";

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
    std::string keHost; // of an nts:// server
    uint16_t kePort = 0;
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
        } else if (option == "--nts-ca" && i + 1 < argc) {
            args.options.ntsCaFile = argv[++i];
        } else if (option != "--timeout" || ++i == argc ||
                   !ParseTimeout(argv[i], args.options.timeoutMs)) {
            return false;
        }
    }
    if (i == argc || argc - i > 2 || (argc - i == 2 && !ParsePort(argv[i + 1], args.port))) {
        return false;
    }
    args.server = argv[i];
    // An NTS server carries its key-exchange port in its name; a time port is the server's to say.
    if (!IsNtsServer(args.server)) {
        return true;
    }
    const std::optional<ServerName> name = ParseServerName(args.server, args.port);
    if (argc - i != 1 || !name) {
        return false;
    }
    args.keHost = name->host;
    args.kePort = name->port;
    return true;
}

// Where the query went, as the failure line names it.
std::string Destination(const Arguments& args)
{
    if (IsNtsServer(args.server)) {
        return args.keHost + " key-exchange port " + std::to_string(args.kePort);
    }
    return args.server + " port " + std::to_string(args.port);
}

void Print(const Arguments& args, const SntpReply& reply)
{
    std::printf("Server:           %s\n", args.server.c_str());
    if (reply.nts) {
        std::printf("Key exchange:     %s port %u\n", args.keHost.c_str(), args.kePort);
    }
    std::printf("Address:          %s port %u\n", reply.address.c_str(), reply.port);
    std::printf("Authenticated:    %s\n", reply.nts ? "NTS" : "no");
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
    // The tool never sets the clock: the right goes before the server says a word.
    if (!DropSystemTimeCapabilityForGood()) {
        std::fputs("horalink-query: cannot give up CAP_SYS_TIME\n", stderr);
        return 1;
    }
    Arguments args;
    if (!Parse(argc, argv, args)) {
        std::fputs(kUsage, stderr);
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
        std::fprintf(stderr, "horalink-query: no time from %s: %s\n", Destination(args).c_str(),
                     client.FailureReason().c_str());
        return 1;
    }
    Print(args, reply);
    return 0;
}
