// The stand-in's event loop: steps ordered by (time, posting sequence) on the virtual clock.
//
// Everything the stand-in delivers runs as one step, one at a time. The loop
// never runs a step from inside another: a Run call made by a step returns 0
// at once, so no delivery can interleave with another.
#include <map>
#include <unordered_map>
#include <utility>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {
namespace {

struct Step {
    STANDIN_StepFn fn;
    void *arg;
};

using StepKey = std::pair<uint64_t, StepId>;  // (time, sequence)

std::map<StepKey, Step> g_steps;
std::unordered_map<StepId, uint64_t> g_timeOf;
StepId g_nextId = 1;
bool g_running = false;

// Runs the first step if it is due at or before `limit`.
bool RunOne(uint64_t limit)
{
    auto it = g_steps.begin();
    if (it == g_steps.end() || it->first.first > limit) {
        return false;
    }
    const uint64_t at = it->first.first;
    const Step step = it->second;
    g_timeOf.erase(it->first.second);
    g_steps.erase(it);
    if (at > ClockNow()) {
        ClockSet(at);
    }
    step.fn(step.arg);
    return true;
}

}  // namespace

// Host steps are dropped with the rest; parts that own step arguments cancel theirs first.
void ResetLoop()
{
    g_steps.clear();
    g_timeOf.clear();
    g_nextId = 1;
    g_running = false;
}

StepId LoopPostAt(uint64_t atMs, STANDIN_StepFn fn, void *arg)
{
    const uint64_t now = ClockNow();
    const uint64_t at = atMs < now ? now : atMs;
    const StepId id = g_nextId++;
    g_steps.emplace(StepKey{at, id}, Step{fn, arg});
    g_timeOf.emplace(id, at);
    return id;
}

bool LoopCancel(StepId id)
{
    auto it = g_timeOf.find(id);
    if (it == g_timeOf.end()) {
        return false;
    }
    g_steps.erase(StepKey{it->second, id});
    g_timeOf.erase(it);
    return true;
}

}  // namespace standin

extern "C" void STANDIN_Post(uint64_t delayMs, STANDIN_StepFn fn, void *arg)
{
    if (fn == nullptr) {
        return;
    }
    const uint64_t now = standin::ClockNow();
    const uint64_t at = delayMs > UINT64_MAX - now ? UINT64_MAX : now + delayMs;
    (void)standin::LoopPostAt(at, fn, arg);
}

extern "C" uint64_t STANDIN_RunUntil(uint64_t timeMs)
{
    if (standin::g_running) {
        return 0;
    }
    standin::g_running = true;
    uint64_t run = 0;
    while (standin::RunOne(timeMs)) {
        ++run;
    }
    if (timeMs > standin::ClockNow()) {
        standin::ClockSet(timeMs);
    }
    standin::g_running = false;
    return run;
}

extern "C" uint64_t STANDIN_RunFor(uint64_t durationMs)
{
    const uint64_t now = standin::ClockNow();
    return STANDIN_RunUntil(durationMs > UINT64_MAX - now ? UINT64_MAX : now + durationMs);
}

extern "C" uint64_t STANDIN_RunDue(void)
{
    return STANDIN_RunUntil(standin::ClockNow());
}

extern "C" uint64_t STANDIN_RunUntilIdle(uint64_t maxSteps)
{
    if (standin::g_running) {
        return 0;
    }
    standin::g_running = true;
    uint64_t run = 0;
    while (run < maxSteps && standin::RunOne(UINT64_MAX)) {
        ++run;
    }
    standin::g_running = false;
    return run;
}

extern "C" size_t STANDIN_PendingSteps(void)
{
    return standin::g_steps.size();
}

extern "C" uint64_t STANDIN_NextStepTime(void)
{
    return standin::g_steps.empty() ? UINT64_MAX : standin::g_steps.begin()->first.first;
}
