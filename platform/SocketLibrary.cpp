#include "platform/SocketLibrary.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

int WSAStartup(uint16_t /*versionRequested*/, WSADATA* data)
{
    if (!data) {
        return EFAULT;
    }
    // POSIX sockets need no start; they offer what the callers ask of version 1.1.
    data->wVersion = MAKEWORD(1, 1);
    return 0;
}

int WSACleanup()
{
    return 0;
}

bool AfxSocketInit()
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}
