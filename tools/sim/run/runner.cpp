// The run loop: declaring the cluster, posting the timeline as loop steps, starting and stopping the library.
//
// Events run one per loop step, in time order. Each step posts the next event only after it has done its
// own work, so a report it raised (posted for now) reaches the library before the next event of the same
// time: the timeline reads in file order.
#include "run/runner.h"

#include <fmt/format.h>

#include <algorithm>

#include "zelm.h"
#include "zelm_standin.h"

namespace zsim {

namespace {

constexpr size_t kReplayAtomsPerMessage = 1000;

bool RaisesReports(EventKind kind)
{
    return kind == EventKind::Link || kind == EventKind::LocationStatus || kind == EventKind::LibraryStart ||
           kind == EventKind::LibraryRestart;
}

}  // namespace

Simulation::Simulation(const Scenario &scenario, const RunOptions &options)
    : sc_(scenario), opt_(options), state_(scenario), trace_(options.trace), observer_(state_, trace_), cost_(state_)
{
    STANDIN_Reset();
    // The recorder would keep every event of a long run; the sim only writes or counts them.
    STANDIN_LogSetSink(opt_.log != nullptr ? STANDIN_LOG_TEXT : STANDIN_LOG_COUNT, opt_.log);
    for (size_t i = 0; i < sc_.nodes.size(); ++i) {
        const NodeDecl &d = sc_.nodes[i];
        const uint32_t id = STANDIN_KormAddOsNode(d.chassis, d.slot, d.cpu, d.agent ? 1 : 0);
        state_.nodes[i].handle = STANDIN_KormServerHandle(id);
        state_.byId.emplace(id, i);
        if (state_.nodes[i].handle != 0) {
            state_.byHandle.emplace(state_.nodes[i].handle, i);
        }
    }
    if (opt_.history) {
        history_.nodes.resize(sc_.nodes.size());
        state_.history = &history_;
    }
    state_.haRole = sc_.haRole;
    STANDIN_MirlSetHaRole(sc_.haRole);
    observer_.Install();
    cost_.Install();
    trace_.SetCatchUp([this] { observer_.DrainTimers(); });
    if (opt_.progress) {
        observer_.SetHeartbeat([this] { opt_.progress(state_, STANDIN_Now()); });
    }
}

Simulation::~Simulation()
{
    // Leave the stand-in as a fresh process would find it: no observer pointing at this object.
    STANDIN_RpcSetObserver(nullptr, nullptr);
    STANDIN_EntrySetObserver(nullptr, nullptr);
}

void Simulation::Run()
{
    StartLibrary(false);
    if (!sc_.events.empty()) {
        STANDIN_Post(sc_.events.front().at, &Simulation::CursorThunk, this);
    }
    const Ms lastEvent = sc_.events.empty() ? 0 : sc_.events.back().at;
    const std::optional<Ms> until = opt_.until ? opt_.until : sc_.until;
    const Ms deadline = until ? *until : lastEvent + sc_.settle;
    // Step by step in time, so that the recorders can be emptied and progress shown between.
    while (STANDIN_PendingSteps() > 0) {
        const Ms t = STANDIN_NextStepTime();
        if (t > deadline) {
            break;
        }
        STANDIN_RunUntil(t);
        Housekeeping();
    }
    NoteEnd(until.has_value());
    // A fixed report time, or a run that never settled (a timer still retrying), ends at the deadline.
    if (until || STANDIN_PendingSteps() > 0) {
        STANDIN_RunUntil(deadline);
    }
    Housekeeping();
}

void Simulation::NoteEnd(bool fixedTime)
{
    RunEnd &end = state_.end;
    if (fixedTime) {
        end.reason = EndReason::Until;
    } else if (STANDIN_PendingSteps() > 0) {
        end.reason = EndReason::SettleLimit;
        end.timersRunning = observer_.RunningTimers();
        end.callsInFlight = STANDIN_RpcPendingCount();
    } else {
        end.reason = EndReason::Settled;
    }
}

void Simulation::Housekeeping()
{
    observer_.DrainTimers();
    observer_.AfterSteps(STANDIN_Now());
    // The call recorder would grow with every request; the observer has already seen each one.
    STANDIN_RpcCallClear();
    if (opt_.progress) {
        opt_.progress(state_, STANDIN_Now());
    }
}

void Simulation::CursorThunk(void *self)
{
    static_cast<Simulation *>(self)->CursorStep();
}

void Simulation::MarkerThunk(void *self)
{
    auto *sim = static_cast<Simulation *>(self);
    sim->observer_.EventStarts(sim->next_ - 1);
}

void Simulation::CursorStep()
{
    const Event &ev = sc_.events[next_++];
    observer_.EventStarts(next_ - 1);
    if (state_.history != nullptr && RaisesReports(ev.kind)) {
        // The reports this event raises run as steps of their own; whatever ran between (a timer's tick)
        // must not be taken for their cause.
        STANDIN_Post(0, &Simulation::MarkerThunk, this);
    }
    Apply(ev);
    state_.lastEventAt = ev.at;
    state_.eventsDone = next_;
    if (next_ < sc_.events.size()) {
        STANDIN_Post(sc_.events[next_].at - STANDIN_Now(), &Simulation::CursorThunk, this);
    }
    STANDIN_RpcCallClear();
}

void Simulation::Apply(const Event &ev)
{
    const Ms now = STANDIN_Now();
    switch (ev.kind) {
    case EventKind::Config:
        ApplyConfig(ev);
        break;
    case EventKind::Link:
        trace_.Line(now, "EVENT", "link " + sc_.nodes[ev.node].name + (ev.up ? " up" : " down"));
        RaiseLink(ev.node, ev.up);
        break;
    case EventKind::LocationStatus:
        ApplyLocationStatus(ev);
        break;
    case EventKind::Agent:
        ApplyAgent(ev);
        break;
    case EventKind::HaRole:
        trace_.Line(now, "EVENT", fmt::format("HA role {}", ev.haRole));
        state_.haRole = ev.haRole;
        STANDIN_MirlSetHaRole(ev.haRole);
        break;
    case EventKind::LibraryStop:
    case EventKind::LibraryStart:
    case EventKind::LibraryRestart:
        ApplyLibrary(ev);
        break;
    }
}

void Simulation::StartLibrary(bool replay)
{
    if (state_.libraryRunning) {
        return;
    }
    trace_.Line(STANDIN_Now(), "HOST", "ZELM_Init");
    cost_.hostWhat = "ZELM_Init";
    STANDIN_EntryBegin();
    state_.libraryRunning = ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree) == 0;
    STANDIN_EntryEnd();
    if (!state_.libraryRunning) {
        trace_.Line(STANDIN_Now(), "HOST", "ZELM_Init failed; the library is stopped again");
        // A half-started library is stopped again, so that nothing reaches released modules.
        STANDIN_RpcFailPending(0);
        FInit();
        return;
    }
    if (!replay) {
        return;
    }
    // What a real platform does for a fresh subscriber: the configuration server hands over the whole
    // configuration, the node-status service reports the current status.
    cost_.configWhat = "replayed to the library's start";
    for (const AtomList &message : state_.config.ReplayMessages(kReplayAtomsPerMessage)) {
        Deliver(message, true);
    }
    for (size_t n = 0; n < state_.nodes.size(); ++n) {
        if (state_.nodes[n].linkUp) {
            RaiseLink(n, true);
        }
    }
    std::vector<std::pair<uint64_t, std::pair<size_t, std::string>>> order;
    for (const auto &[where, what] : state_.available) {
        order.push_back({what.second, where});
    }
    std::sort(order.begin(), order.end());
    for (const auto &[o, where] : order) {
        const uint32_t index = state_.available[where].first;
        STANDIN_KormRaiseLocationStatus(sc_.nodes[where.first].osNodeId, where.second.c_str(), index, 1);
    }
}

void Simulation::StopLibrary(const char *why)
{
    if (!state_.libraryRunning) {
        return;
    }
    // The host contract: no completion may reach the library after it stopped.
    trace_.Line(STANDIN_Now(), "HOST", why);
    STANDIN_RpcFailPending(0);
    FInit();
    state_.libraryRunning = false;
    observer_.DrainTimers();
}

void Simulation::FInit()
{
    cost_.hostWhat = "ZELM_FInit";
    STANDIN_EntryBegin();
    ZELM_FInit();
    STANDIN_EntryEnd();
}

size_t Simulation::Shutdown()
{
    StopLibrary("end of the run: pending calls fail, then ZELM_FInit");
    return STANDIN_HostLiveBlocks();
}

}  // namespace zsim
