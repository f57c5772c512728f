// Drawing fault schedules and turning faults into timeline events.
#include "explore/explore_schedule.h"

#include "text/units.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <numeric>

namespace zsim {

namespace {

constexpr uint32_t kMaxCalls = 3;  // refuse, fail, noReply: 1 to this many calls
constexpr uint32_t kMaxCode = 5;   // a refusal status or a failure result: 1 to this

uint64_t Mix(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// SplitMix64, one stream per (seed, run): no state is shared between runs, so run i draws the same faults
// whatever ran before it.
class Draws {
public:
    Draws(uint64_t seed, uint64_t run) : state_(Mix(seed) ^ Mix(run ^ 0x5851F42D4C957F2Dull)) {}
    // Uniform in [0, n), n > 0.
    uint64_t Below(uint64_t n)
    {
        const uint64_t threshold = (0 - n) % n;  // 2^64 mod n: the values below it would favour small results
        for (;;) {
            state_ += 0x9E3779B97F4A7C15ull;
            const uint64_t x = Mix(state_);
            if (x >= threshold) {
                return x % n;
            }
        }
    }

private:
    uint64_t state_;
};

// What the scenario's own timeline has in force at time t (after its events of that time).
struct InForce {
    bool agentDown = false;
    Ms latency = 1;
    bool linkUp = false;
    uint32_t haRole = 0;
    bool libraryRunning = true;
};

InForce InForceAt(const Scenario &sc, size_t node, Ms t)
{
    InForce s;
    s.haRole = sc.haRole;
    for (const Event &ev : sc.events) {
        if (ev.at > t) {
            break;
        }
        if (ev.kind == EventKind::HaRole) {
            s.haRole = ev.haRole;
        } else if (ev.kind == EventKind::LibraryStop || ev.kind == EventKind::LibraryStart ||
                   ev.kind == EventKind::LibraryRestart) {
            s.libraryRunning = ev.kind != EventKind::LibraryStop;
        } else if (ev.node == node && ev.kind == EventKind::Link) {
            s.linkUp = ev.up;
        } else if (ev.node == node && ev.kind == EventKind::Agent) {
            s.agentDown = ev.agent.down.value_or(s.agentDown);
            s.latency = ev.agent.latency.value_or(s.latency);
        }
    }
    return s;
}

Event NewEvent(EventKind kind, size_t node, Ms at)
{
    Event ev;
    ev.kind = kind;
    ev.node = node;
    ev.at = at;
    return ev;
}

// The events of one fault, the start first.
std::vector<Event> EventsOf(const Scenario &sc, const Fault &f)
{
    const Ms end = std::min(f.at + f.span, kMaxTime);
    const InForce atStart = InForceAt(sc, f.node, f.at);
    const InForce atEnd = InForceAt(sc, f.node, end);
    std::vector<Event> out;
    auto add = [&](EventKind kind, Ms at) -> Event & { return out.emplace_back(NewEvent(kind, f.node, at)); };
    switch (f.kind) {
    case FaultKind::Refuse: {
        Event &ev = add(EventKind::Agent, f.at);
        ev.agent.refuse = f.count;
        ev.agent.refuseStatus = f.code;
        break;
    }
    case FaultKind::Fail: {
        Event &ev = add(EventKind::Agent, f.at);
        ev.agent.fail = f.count;
        ev.agent.failResult = f.code;
        break;
    }
    case FaultKind::NoReply:
        add(EventKind::Agent, f.at).agent.noReply = f.count;
        break;
    case FaultKind::Lag:
        add(EventKind::Agent, f.at).agent.latency = f.lag;
        add(EventKind::Agent, end).agent.latency = atEnd.latency;
        break;
    case FaultKind::Down:
        add(EventKind::Agent, f.at).agent.down = true;
        if (!atEnd.agentDown) {
            add(EventKind::Agent, end).agent.down = false;
        }
        break;
    case FaultKind::LinkFlap:
        // A link that is down cannot flap; one that the timeline brings up meanwhile comes up at the end.
        if (atStart.linkUp) {
            add(EventKind::Link, f.at).up = false;
        }
        if (atEnd.linkUp) {
            add(EventKind::Link, end).up = true;
        }
        break;
    case FaultKind::HaFlip:
        add(EventKind::HaRole, f.at).haRole = atStart.haRole == 0 ? 1 : 0;
        add(EventKind::HaRole, end).haRole = atEnd.haRole;
        break;
    case FaultKind::Restart:
        // As the scenario's own stop and start: the start replays the configuration and the status reports.
        // A library the timeline has stopped is not stopped again, nor started when the timeline has it stopped.
        if (atStart.libraryRunning) {
            add(EventKind::LibraryStop, f.at);
        }
        if (atEnd.libraryRunning) {
            add(EventKind::LibraryStart, end);
        }
        break;
    }
    return out;
}

}  // namespace

std::vector<FaultKind> DrawableKinds(const ExploreBudget &budget)
{
    std::vector<FaultKind> kinds;
    std::copy_if(budget.kinds.begin(), budget.kinds.end(), std::back_inserter(kinds),
                 [&](FaultKind k) { return !NeedsNode(k) || !budget.agents.empty(); });
    return kinds;
}

std::vector<Fault> DrawSchedule(const ExploreBudget &budget, uint64_t seed, uint64_t run)
{
    const std::vector<FaultKind> kinds = DrawableKinds(budget);
    Draws d(seed, run);
    std::vector<Fault> faults(1 + d.Below(budget.maxFaults));
    for (Fault &f : faults) {
        // Every fault takes the same draws, whatever its kind.
        f.kind = kinds[d.Below(kinds.size())];
        const size_t node = budget.agents.empty() ? SIZE_MAX : budget.agents[d.Below(budget.agents.size())];
        f.node = NeedsNode(f.kind) ? node : SIZE_MAX;
        f.at = budget.from + d.Below(budget.to - budget.from + 1);
        f.span = 1 + d.Below(budget.longest);
        f.lag = 1 + d.Below(budget.longest);
        f.count = static_cast<uint32_t>(1 + d.Below(kMaxCalls));
        f.code = static_cast<uint32_t>(1 + d.Below(kMaxCode));
    }
    std::stable_sort(faults.begin(), faults.end(), [](const Fault &a, const Fault &b) { return a.at < b.at; });
    return faults;
}

std::string FaultText(const Scenario &sc, const Fault &f)
{
    const std::string agent = f.node < sc.nodes.size() ? "agent " + sc.nodes[f.node].name : "";
    const std::string calls = Plural(f.count, "call", "calls");
    std::string what;
    switch (f.kind) {
    case FaultKind::Refuse:
        what = fmt::format("{} refuses the next {} (status {})", agent, calls, f.code);
        break;
    case FaultKind::Fail:
        what = fmt::format("{} fails the next {} (result {})", agent, calls, f.code);
        break;
    case FaultKind::NoReply:
        what = agent + " completes the next " + calls + " without a reply";
        break;
    case FaultKind::Lag:
        what = agent + " answers after " + Seconds(f.lag) + " for " + Seconds(f.span);
        break;
    case FaultKind::Down:
        what = agent + " down for " + Seconds(f.span);
        break;
    case FaultKind::LinkFlap:
        what = "link of " + sc.nodes[f.node].name + " down for " + Seconds(f.span);
        break;
    case FaultKind::HaFlip:
        what = "HA role flipped for " + Seconds(f.span);
        break;
    case FaultKind::Restart:
        what = "library stopped, started again after " + Seconds(f.span);
        break;
    }
    return "at " + Seconds(f.at) + ": " + what;
}

Trial WithFaults(const Scenario &sc, const std::vector<Fault> &faults)
{
    Trial t;
    t.scenario = sc;
    t.faults = faults;
    std::vector<Event> events = std::move(t.scenario.events);
    t.scenario.events.clear();
    std::vector<size_t> faultOf(events.size());
    for (size_t i = 0; i < faults.size(); ++i) {
        for (Event &ev : EventsOf(sc, faults[i])) {
            events.push_back(std::move(ev));
            faultOf.push_back(i + 1);
        }
    }
    std::vector<size_t> order(events.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return events[a].at < events[b].at; });
    for (const size_t i : order) {
        t.origin.push_back(t.scenario.events.size());
        t.scenario.events.push_back(std::move(events[i]));
        t.faultOf.push_back(faultOf[i]);
    }
    return t;
}

std::vector<std::string> FaultNotes(const Trial &t)
{
    std::vector<std::string> notes;
    std::vector<bool> started(t.faults.size());
    for (size_t i = 0; i < t.faultOf.size(); ++i) {
        const size_t k = t.faultOf[i];
        if (k == 0) {
            notes.emplace_back();
            continue;
        }
        const Fault &f = t.faults[k - 1];
        // A restart of a library the timeline had stopped has its start alone.
        const bool end =
            f.kind == FaultKind::Restart ? t.scenario.events[i].kind == EventKind::LibraryStart : started[k - 1];
        started[k - 1] = true;
        const std::string node = f.node < t.scenario.nodes.size() ? t.scenario.nodes[f.node].name : "";
        std::string what;
        switch (f.kind) {
        case FaultKind::Refuse:
            what = "agent " + node + " refuses calls";
            break;
        case FaultKind::Fail:
            what = "agent " + node + " fails calls";
            break;
        case FaultKind::NoReply:
            what = "agent " + node + " leaves calls without a reply";
            break;
        case FaultKind::Lag:
            what = end ? "agent " + node + " answers in time again" : "agent " + node + " answers late";
            break;
        case FaultKind::Down:
            what = end ? "agent " + node + " is back up" : "agent " + node + " goes down";
            break;
        case FaultKind::LinkFlap:
            what = end ? "link of " + node + " is back up" : "link of " + node + " goes down";
            break;
        case FaultKind::HaFlip:
            what = end ? "the HA role flips back" : "the HA role flips";
            break;
        case FaultKind::Restart:
            what = end ? "the library starts again" : "the library stops";
            break;
        }
        notes.push_back(fmt::format("fault {}{}: {}", k, end ? " ends" : "", what));
    }
    return notes;
}

}  // namespace zsim
