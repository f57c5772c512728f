// Private to the stand-in: hooks that tie its parts together.
#ifndef ZELM_PLATFORM_STANDIN_INTERNAL_H
#define ZELM_PLATFORM_STANDIN_INTERNAL_H

#include <cstdint>

namespace standin {

// Each part of the stand-in registers how it returns to its initial state.
// STANDIN_Reset runs the hooks in ascending `order`; parts that hold pending
// work on others' behalf (RPC calls) reset first.
using ResetHook = void (*)();
void RegisterReset(int order, ResetHook hook);

// Registers a reset hook at load time: `static standin::ResetRegistration r{10, &MyReset};`
struct ResetRegistration {
    ResetRegistration(int order, ResetHook hook) { RegisterReset(order, hook); }
};

// The virtual clock, in milliseconds. Only the event loop moves it.
uint64_t ClockNow();
void ClockSet(uint64_t nowMs);

}  // namespace standin

#endif
