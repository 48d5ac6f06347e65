#include "platform/SystemClockApi.h"

#include "platform/LinuxSystemClockApi.h"

SystemClockApi& SystemClockApi::Default()
{
    static LinuxSystemClockApi api;
    return api;
}
