// Private to the stand-in: hooks that tie its parts together.
#ifndef ZELM_PLATFORM_STANDIN_INTERNAL_H
#define ZELM_PLATFORM_STANDIN_INTERNAL_H

#include <cstdint>

namespace standin {

// How each part of the stand-in returns to its initial state; STANDIN_Reset
// calls them in one fixed order (reset.cpp).
void ResetEntries();
void ResetRpc();
void ResetAgents();
void ResetFailures();
void ResetKorm();
void ResetMirl();
void ResetServer();
void ResetTimers();
void ResetLoop();
void ResetHostAlloc();
void ResetLorn();
void ResetClock();

// The virtual clock, in milliseconds. Only the event loop moves it.
uint64_t ClockNow();
void ClockSet(uint64_t nowMs);

}  // namespace standin

#endif
