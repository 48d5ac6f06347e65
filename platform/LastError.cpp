#include "platform/LastError.h"

namespace
{

// Each thread has its own, so a worker's failure never reaches another thread's caller.
thread_local uint32_t t_lastError = 0;

} // namespace

uint32_t GetLastError()
{
    return t_lastError;
}

void SetLastError(uint32_t error)
{
    t_lastError = error;
}
