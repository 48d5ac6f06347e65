#pragma once

#include <cerrno>
#include <cstdint>

// The calling thread's last-error value: the engine's way of saying why an operation failed.
// Values are errno codes; the two named codes below stand where the engine's design names others.
uint32_t GetLastError();
void SetLastError(uint32_t error);

// No answer in time (the socket layer's time-out code).
constexpr uint32_t kErrorTimedOut = ETIMEDOUT;
// The system has no per-process privileges (no capability support in the kernel).
constexpr uint32_t kErrorCallNotImplemented = ENOSYS;
