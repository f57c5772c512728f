// What the agents hold, walked in key order through the stand-in, each entry handed to a callable.
#ifndef ZELM_SIM_AGENT_VIEW_H
#define ZELM_SIM_AGENT_VIEW_H

#include "zelm_standin.h"

namespace zsim {

// f(const STANDIN_LocEntry &) for every location the agent holds, by LocId.
template <typename F>
void ForEachHeldLocation(QOF_ConnHandle agent, F f)
{
    STANDIN_AgentLocForEach(
        agent, [](const STANDIN_LocEntry *e, void *arg) { (*static_cast<F *>(arg))(*e); }, &f);
}

// f(uint32_t locIndex, const STANDIN_CompEntry &) for every component the agent holds, by index and compInst.
template <typename F>
void ForEachHeldComponent(QOF_ConnHandle agent, F f)
{
    STANDIN_AgentCompForEach(
        agent, [](uint32_t locIndex, const STANDIN_CompEntry *e, void *arg) { (*static_cast<F *>(arg))(locIndex, *e); },
        &f);
}

}  // namespace zsim

#endif
