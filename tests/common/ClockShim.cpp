// An LD_PRELOAD library for tests: the process sees the real-time clock moved by
// HORALINK_CLOCK_SHIFT seconds (clock_gettime and time, which openssl, GnuTLS and the program
// read, and the kernel's arrival times of received datagrams), as a machine whose clock is wrong
// would. It never sets the clock: a setting is written, in seconds since 1970, to the file
// HORALINK_CLOCK_RECORD and reported done when that variable is set, and refused with EPERM
// otherwise.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>
#include <time.h>

namespace
{

time_t Shift()
{
    static const char* text = std::getenv("HORALINK_CLOCK_SHIFT");
    return text ? static_cast<time_t>(std::atoll(text)) : time_t{0};
}

template <typename Function> Function Next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int clock_gettime(clockid_t clock, timespec* now) noexcept
{
    static const auto next = Next<int (*)(clockid_t, timespec*)>("clock_gettime");
    const int rc = next(clock, now);
    if (rc == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
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

// The engine asks for nanosecond arrival times (SO_TIMESTAMPNS) only.
ssize_t recvmsg(int socket, msghdr* message, int flags)
{
    static const auto next = Next<ssize_t (*)(int, msghdr*, int)>("recvmsg");
    const ssize_t rc = next(socket, message, flags);
    for (cmsghdr* c = rc < 0 ? nullptr : CMSG_FIRSTHDR(message); c; c = CMSG_NXTHDR(message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec arrival{};
            std::memcpy(&arrival, CMSG_DATA(c), sizeof arrival);
            arrival.tv_sec += Shift();
            std::memcpy(CMSG_DATA(c), &arrival, sizeof arrival);
        }
    }
    return rc;
}

// The program sets the clock with clock_settime only.
int clock_settime(clockid_t, const timespec* time) noexcept
{
    const char* path = std::getenv("HORALINK_CLOCK_RECORD");
    FILE* file = path ? std::fopen(path, "a") : nullptr;
    if (file == nullptr) {
        errno = EPERM;
        return -1;
    }
    std::fprintf(file, "%lld\n", static_cast<long long>(time->tv_sec));
    std::fclose(file);
    return 0;
}

} // extern "C"
