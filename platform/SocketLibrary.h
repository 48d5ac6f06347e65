#pragma once

#include <cstdint>

// The socket-library start and stop that callers of the engine make around each exchange.
// POSIX sockets need no start: WSAStartup always grants version 1.1, and AfxSocketInit checks
// that a UDP socket can be created at all.
struct WSADATA {
    uint16_t wVersion = 0; // low byte major, high byte minor
};

constexpr uint16_t MAKEWORD(uint8_t low, uint8_t high)
{
    return static_cast<uint16_t>(low | (high << 8));
}
constexpr uint8_t LOBYTE(uint16_t w)
{
    return static_cast<uint8_t>(w & 0xFF);
}
constexpr uint8_t HIBYTE(uint16_t w)
{
    return static_cast<uint8_t>(w >> 8);
}

// 0 on success, an error code otherwise; fills data with the version granted.
int WSAStartup(uint16_t versionRequested, WSADATA* data);
int WSACleanup();

// True when the process can open a UDP socket.
bool AfxSocketInit();
