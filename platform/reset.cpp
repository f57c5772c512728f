// STANDIN_Reset: every part of the stand-in back to its initial state, in one fixed order.
#include "standin_internal.h"
#include "zelm_standin.h"

namespace {

// Nobody is told of the entries a reset makes. Pending RPC calls go next: failing them hands their requests back to their
// owners while timers, registrations and the loop still exist. The clock goes
// back to 0 last, after everything that was scheduled on it is gone.
constexpr void (*kResetOrder[])() = {
    standin::ResetEntries, standin::ResetRpc,       standin::ResetAgents, standin::ResetFailures,
    standin::ResetKorm,    standin::ResetMirl,      standin::ResetServer, standin::ResetTimers,
    standin::ResetLoop,    standin::ResetHostAlloc, standin::ResetLorn,   standin::ResetClock,
};

}  // namespace

extern "C" void STANDIN_Reset(void)
{
    for (void (*reset)() : kResetOrder) {
        reset();
    }
}
