#pragma once

#include "platform/SocketLibrary.h"

#include <cstdint>

// The socket-library start and stop that the workers make around each exchange. Tests derive
// from it to reach the two start-up failures; the default goes to the platform layer.
class SocketLibraryApi
{
public:
    virtual ~SocketLibraryApi() = default;

    // 0 on success; fills data with the version granted.
    virtual int Startup(uint16_t versionRequested, WSADATA* data)
    {
        return WSAStartup(versionRequested, data);
    }
    virtual int Cleanup() { return WSACleanup(); }
};
