// The stand-in's virtual clock, in milliseconds since the last reset.
#include "standin_internal.h"
#include "zelm_standin.h"

namespace standin {

static uint64_t g_nowMs = 0;

uint64_t ClockNow()
{
    return g_nowMs;
}
void ClockSet(uint64_t nowMs)
{
    g_nowMs = nowMs;
}

void ResetClock()
{
    g_nowMs = 0;
}

}  // namespace standin

extern "C" uint64_t STANDIN_Now(void)
{
    return standin::ClockNow();
}
