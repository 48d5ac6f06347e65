#include "platform/SocketLibraryApi.h"

bool SocketLibraryApi::SocketInit()
{
    return AfxSocketInit();
}

int SocketLibraryApi::Startup(uint16_t versionRequested, WSADATA* data)
{
    return WSAStartup(versionRequested, data);
}

int SocketLibraryApi::Cleanup()
{
    return WSACleanup();
}
