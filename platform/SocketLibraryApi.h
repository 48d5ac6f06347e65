#pragma once

#include "platform/SocketLibrary.h"

#include <cstdint>

// The socket-library start and stop: once by the application before its window, and by the
// workers around each exchange. Tests derive from it to reach the start-up failures; the
// default calls the functions of SocketLibrary.h.
class SocketLibraryApi
{
public:
    virtual ~SocketLibraryApi() = default;

    // True when the process can use sockets at all.
    virtual bool SocketInit();
    // 0 on success; fills data with the version granted.
    virtual int Startup(uint16_t versionRequested, WSADATA* data);
    virtual int Cleanup();
};
