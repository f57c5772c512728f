// Timeline events other than configuration: links, location status, agent behaviour, library stop and start.
#include "run/runner.h"

#include "zelm_standin.h"

#include <fmt/format.h>

namespace zsim {

RunHistory Simulation::TakeHistory()
{
    state_.history = nullptr;
    return std::move(history_);
}

void Simulation::RaiseLink(size_t node, bool up)
{
    NodeState &n = state_.nodes[node];
    n.linkUp = up;
    if (up) {
        n.linkEverUp = true;
        n.upAt = STANDIN_Now();
        n.upWhileForbidden = state_.libraryRunning && state_.haRole != 0;
    }
    if (state_.history != nullptr) {
        MarkSpan(state_.history->nodes[node].linkUp, up, STANDIN_Now());
    }
    (void)STANDIN_KormRaiseOsNodeLink(sc_.nodes[node].osNodeId, up ? 1 : 0);
}

void Simulation::ApplyLocationStatus(const Event &ev)
{
    const Ms now = STANDIN_Now();
    const std::string &node = sc_.nodes[ev.node].name;
    trace_.Line(now, "EVENT",
                "location " + ev.service + " on " + node +
                    (ev.up ? " available, index " + IndexText(ev.locIndex) : std::string(" not available")));
    const std::optional<uint32_t> before = state_.AnnouncedIndex(ev.node, ev.service);
    if (ev.up && ev.locIndex == kInvalidIndex) {
        // The library passes an invalid index over; nothing changes.
    } else if (ev.up || before) {
        if (before && ev.up && *before != ev.locIndex && state_.libraryRunning) {
            // The library withdraws the old index: its component location goes, with every component in it.
            state_.indexHistory[*before] = {now,
                                            fmt::format("location index {} moved to {} ({} on {})", *before,
                                                        ev.locIndex, ev.service, node),
                                            fmt::format("index {} moved to {}", *before, ev.locIndex)};
        }
        // Who should hold the components of both indexes may change: the nodes announcing them before and after.
        // A report that leaves every announcer as it was (the same index again) changes nothing the drift compares.
        const std::optional<uint32_t> index = ev.up ? std::optional<uint32_t>(ev.locIndex) : std::nullopt;
        std::vector<std::pair<uint32_t, size_t>> announcers;
        for (const std::optional<uint32_t> i : {before, index}) {
            if (i) {
                announcers.emplace_back(*i, state_.AnnouncerOf(*i));
            }
        }
        state_.Announce(ev.node, ev.service, index);
        for (const auto &[i, was] : announcers) {
            const size_t is = state_.AnnouncerOf(i);
            if (is == was) {
                continue;
            }
            state_.announcedAt[i] = now;
            if (state_.config.HasComponentsAt(i)) {
                state_.ExpectedChanged(was, now);
                state_.ExpectedChanged(is, now);
            }
        }
    }
    STANDIN_KormRaiseLocationStatus(sc_.nodes[ev.node].osNodeId, ev.service.c_str(), ev.locIndex, ev.up ? 1 : 0);
}

void Simulation::ApplyAgent(const Event &ev)
{
    const QOF_ConnHandle h = state_.nodes[ev.node].handle;
    const AgentChange &c = ev.agent;
    STANDIN_AgentScript s{};
    (void)STANDIN_AgentGetScript(h, &s);
    const std::pair<const std::optional<uint32_t> &, uint32_t *> counts[] = {{c.refuse, &s.refuseNext},
                                                                             {c.refuseStatus, &s.refuseStatus},
                                                                             {c.fail, &s.failNext},
                                                                             {c.failResult, &s.failResult},
                                                                             {c.noReply, &s.noReplyNext},
                                                                             {c.result, &s.result}};
    for (const auto &[value, field] : counts) {
        if (value) {
            *field = *value;
        }
    }
    if (c.latency) {
        s.latencyMs = *c.latency;
    }
    trace_.Line(STANDIN_Now(), "EVENT", "agent " + sc_.nodes[ev.node].name + ": " + AgentChangeText(c));
    (void)STANDIN_AgentSetScript(h, &s);
    if (c.down) {
        state_.nodes[ev.node].agentDown = *c.down;
        if (state_.history != nullptr) {
            MarkSpan(state_.history->nodes[ev.node].agentDown, *c.down, STANDIN_Now());
        }
        (void)STANDIN_AgentSetDown(h, *c.down ? 1 : 0);
    }
}

void Simulation::ApplyLibrary(const Event &ev)
{
    const Ms now = STANDIN_Now();
    const bool stop = ev.kind != EventKind::LibraryStart;
    const bool start = ev.kind != EventKind::LibraryStop;
    const char *name = ev.kind == EventKind::LibraryRestart ? "library restart"
                       : stop                               ? "library stop"
                                                            : "library start";
    if (ev.kind != EventKind::LibraryRestart && state_.libraryRunning == start) {
        trace_.Line(now, "EVENT",
                    std::string(name) + ": the library is already " + (start ? "running" : "stopped") +
                        ", nothing to do");
        return;
    }
    trace_.Line(now, "EVENT", std::string(name) + (start && ev.replay ? ", replaying configuration and status" : ""));
    if (stop) {
        StopLibrary("pending calls fail, then ZELM_FInit");
    }
    if (start) {
        state_.bareRestart = !ev.replay;
        state_.bareRestartAt = now;
        StartLibrary(ev.replay);
    }
}

}  // namespace zsim
