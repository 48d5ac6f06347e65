// The socket's arrival times and the exchange's one deadline, with signals arriving meanwhile.
#include "sntp/UdpSocket.h"
#include "sntp/NameLookup.h"
#include "sntp/SntpClient.h"
#include "tests/common/UdpResponder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <thread>

using namespace std::chrono_literals;

namespace
{

// How long the handler of SIGUSR1 keeps the interrupted thread busy, in milliseconds.
std::atomic<int> g_handlerBusyMs{0};

void BusyHandler(int)
{
    timespec start{}, now{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    do {
        clock_gettime(CLOCK_MONOTONIC, &now);
    } while ((now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000 <
             g_handlerBusyMs.load());
}

// SIGUSR1 handled, without SA_RESTART, so that a waiting call is interrupted, while it lives.
struct SignalHandler {
    explicit SignalHandler(int busyMs)
    {
        g_handlerBusyMs = busyMs;
        struct sigaction action {
        };
        action.sa_handler = BusyHandler;
        sigemptyset(&action.sa_mask);
        sigaction(SIGUSR1, &action, &m_previous);
    }
    ~SignalHandler() { sigaction(SIGUSR1, &m_previous, nullptr); }
    struct sigaction m_previous {
    };
};

double Seconds(const timespec& t)
{
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

} // namespace

// With arrival times asked for, each datagram comes with the kernel's reading, to the
// nanosecond: between the send and the return of the receive, and not always in whole
// microseconds as a microsecond reading would be.
TEST(UdpSocket, GivesTheKernelsArrivalTimeInNanoseconds)
{
    UdpResponder echo([](const UdpResponder::Bytes& request) {
        return std::vector<UdpResponder::Bytes>{request};
    });
    std::vector<SocketAddress> addresses;
    QueryFailure failure;
    ASSERT_TRUE(LookUpAddresses("127.0.0.1", echo.Port(), SocketFamily(AddressFamily::Any),
                                std::chrono::steady_clock::now() + 1s, addresses, failure));
    CUdpSocket socket;
    ASSERT_TRUE(socket.Create(addresses[0].Family()) && socket.Connect(addresses[0]));
    ASSERT_TRUE(socket.EnableArrivalTimes());
    int finerThanMicroseconds = 0;
    for (int i = 0; i < 8; ++i) {
        timespec before{}, after{}, arrival{};
        uint8_t byte = 1;
        bool readable = false;
        clock_gettime(CLOCK_REALTIME, &before);
        ASSERT_TRUE(socket.Send(&byte, 1));
        ASSERT_TRUE(socket.WaitReadable(2000, readable) && readable);
        ASSERT_EQ(socket.Receive(&byte, 1, &arrival), 1);
        clock_gettime(CLOCK_REALTIME, &after);
        EXPECT_LE(Seconds(before), Seconds(arrival));
        EXPECT_LE(Seconds(arrival), Seconds(after));
        finerThanMicroseconds += arrival.tv_nsec % 1000 != 0;
    }
    EXPECT_GT(finerThanMicroseconds, 0);
}

// T4 is the kernel's arrival time, not the reading after the wait: here a signal handler keeps
// the client busy for 400 ms while the answer arrives, and the delay stays that of the network.
TEST(UdpSocket, TheExchangeTakesTheArrivalTime)
{
    const SignalHandler handler(400);
    const pthread_t client = pthread_self();
    UdpResponder server([client](const UdpResponder::Bytes& request) {
        pthread_kill(client, SIGUSR1);
        std::this_thread::sleep_for(20ms);
        return UdpResponder::NtpServer({})(request);
    });
    CSntpClient sntp;
    sntp.SetOptions({.precision = TimestampPrecision::Nanoseconds, .ntsCaFile = {}});
    SntpReply reply;
    ASSERT_TRUE(sntp.QueryServer("127.0.0.1", reply, server.Port())) << sntp.FailureReason();
    EXPECT_LT(reply.roundTripDelay, 0.2);
}

// Signals every few milliseconds interrupt the wait on a silent server again and again; the
// query still ends at its one deadline instead of starting the wait over.
TEST(UdpSocket, TheDeadlineHoldsUnderRepeatedSignals)
{
    const SignalHandler handler(0);
    const pthread_t client = pthread_self();
    std::atomic<bool> done{false};
    std::thread signaller([&] {
        for (int i = 0; i < 1000 && !done; ++i) {
            pthread_kill(client, SIGUSR1);
            std::this_thread::sleep_for(3ms);
        }
    });
    UdpResponder silent;
    CSntpClient sntp;
    sntp.SetOptions({.timeoutMs = 300, .ntsCaFile = {}});
    SntpReply reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sntp.QueryServer("127.0.0.1", reply, silent.Port()));
    const auto waited = std::chrono::steady_clock::now() - start;
    done = true;
    signaller.join();
    EXPECT_EQ(sntp.FailureReason(), "no answer within 0.3 s");
    EXPECT_GT(waited, 250ms);
    EXPECT_LT(waited, 1000ms);
}
