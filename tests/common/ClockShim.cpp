// An LD_PRELOAD library for tests: the process sees the real-time clock moved by
// HORALINK_CLOCK_SHIFT seconds (clock_gettime, gettimeofday, time and the kernel's arrival times
// of received datagrams), as a machine whose clock is wrong would. It never sets the clock: a
// setting is written, in seconds since 1970, to the file HORALINK_CLOCK_RECORD and reported done
// when that variable is set, and refused with EPERM otherwise.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>

namespace
{

time_t Shift()
{
    static const time_t shift = [] {
        const char* text = std::getenv("HORALINK_CLOCK_SHIFT");
        return text ? static_cast<time_t>(std::atoll(text)) : time_t{0};
    }();
    return shift;
}

template <typename Function> Function Next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool IsRealTime(clockid_t clock)
{
    return clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE;
}

int Record(time_t seconds)
{
    const char* path = std::getenv("HORALINK_CLOCK_RECORD");
    FILE* file = path ? std::fopen(path, "a") : nullptr;
    if (file == nullptr) {
        errno = EPERM;
        return -1;
    }
    std::fprintf(file, "%lld\n", static_cast<long long>(seconds));
    std::fclose(file);
    return 0;
}

} // namespace

extern "C" {

int clock_gettime(clockid_t clock, timespec* now) noexcept
{
    static const auto next = Next<int (*)(clockid_t, timespec*)>("clock_gettime");
    const int rc = next(clock, now);
    if (rc == 0 && IsRealTime(clock)) {
        now->tv_sec += Shift();
    }
    return rc;
}

int gettimeofday(timeval* now, void* zone) noexcept
{
    static const auto next = Next<int (*)(timeval*, void*)>("gettimeofday");
    const int rc = next(now, zone);
    if (rc == 0) {
        now->tv_sec += Shift();
    }
    return rc;
}

time_t time(time_t* out) noexcept
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (out != nullptr) {
        *out = now.tv_sec;
    }
    return now.tv_sec;
}

ssize_t recvmsg(int socket, msghdr* message, int flags)
{
    static const auto next = Next<ssize_t (*)(int, msghdr*, int)>("recvmsg");
    const ssize_t rc = next(socket, message, flags);
    if (rc < 0) {
        return rc;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(message); c != nullptr; c = CMSG_NXTHDR(message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec arrival{};
            std::memcpy(&arrival, CMSG_DATA(c), sizeof arrival);
            arrival.tv_sec += Shift();
            std::memcpy(CMSG_DATA(c), &arrival, sizeof arrival);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMP) {
            timeval arrival{};
            std::memcpy(&arrival, CMSG_DATA(c), sizeof arrival);
            arrival.tv_sec += Shift();
            std::memcpy(CMSG_DATA(c), &arrival, sizeof arrival);
        }
    }
    return rc;
}

int clock_settime(clockid_t, const timespec* time) noexcept
{
    return Record(time->tv_sec);
}

int settimeofday(const timeval* time, const struct timezone*) noexcept
{
    return Record(time->tv_sec);
}

} // extern "C"
