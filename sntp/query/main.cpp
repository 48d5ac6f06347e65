// horalink-query SERVER [PORT]: one SNTP exchange with the time engine, printed. Never sets the
// clock. Exit status 0 on success, 1 when the exchange failed, 2 on a usage error.
#include "platform/LastError.h"
#include "platform/SocketLibrary.h"
#include "sntp/SntpClient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{

constexpr unsigned kNtpPort = 123;

std::string Format(const CNtpTimestamp& t)
{
    const SYSTEMTIME st = t.ToSystemTime();
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u UTC", st.wYear, st.wMonth,
                  st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return text;
}

bool ParsePort(const char* text, unsigned& port)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value == 0 || value > 65535)
        return false;
    port = static_cast<unsigned>(value);
    return true;
}

void Print(const SntpReply& reply)
{
    std::printf("Leap indicator:   %d\n", reply.leapIndicator);
    std::printf("Stratum:          %u\n", reply.stratum);
    std::printf("Originate (T1):   %s\n", Format(reply.originate).c_str());
    std::printf("Receive (T2):     %s\n", Format(reply.receive).c_str());
    std::printf("Transmit (T3):    %s\n", Format(reply.transmit).c_str());
    std::printf("Destination (T4): %s\n", Format(reply.destination).c_str());
    std::printf("Delay:            %.6f s\n", reply.roundTripDelay);
    std::printf("Offset:           %.6f s\n", reply.clockOffset);
}

} // namespace

int main(int argc, char** argv)
{
    unsigned port = kNtpPort;
    if (argc < 2 || argc > 3 || (argc == 3 && !ParsePort(argv[2], port))) {
        std::fprintf(stderr, "usage: horalink-query SERVER [PORT]\n");
        return 2;
    }
    const std::string server = argv[1];

    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        std::fprintf(stderr, "horalink-query: the socket library did not start\n");
        return 1;
    }
    CSntpClient client;
    SntpReply reply;
    const bool ok = client.QueryServer(server, reply, port);
    const uint32_t error = GetLastError();
    WSACleanup();

    if (!ok) {
        std::fprintf(stderr, "horalink-query: no time from %s port %u: %s\n", server.c_str(), port,
                     std::strerror(static_cast<int>(error)));
        return 1;
    }
    std::printf("Server:           %s port %u\n", server.c_str(), port);
    Print(reply);
    return 0;
}
