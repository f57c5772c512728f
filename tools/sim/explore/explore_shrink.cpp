// The shrinker: greedy, one change at a time, in passes until none holds.
#include "explore/explore_shrink.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace zsim {

namespace {

struct Edit {
    enum class Kind {
        RemoveEvent,
        RemoveFault,
        RemoveNode,
        RemoveAtom,
        SetTime,
        SetLatency,
        PutBack,
        Spread,
        SpreadAll
    };
    Kind kind = Kind::RemoveEvent;
    size_t event = 0;  // PutBack: where the event goes; Spread: the first event it moves
    size_t item = 0;   // RemoveFault: the fault, 1-based; RemoveNode: the node; RemoveAtom: the atom;
                       // PutBack: the event's origin
    Ms value = 0;      // SetTime, SetLatency, PutBack, Spread: the time
};

using Edits = std::function<std::vector<Edit>(const Trial &)>;

bool HasNode(const Event &ev)
{
    return ev.kind == EventKind::Link || ev.kind == EventKind::LocationStatus || ev.kind == EventKind::Agent;
}

bool NamesNode(const Event &ev, size_t node)
{
    return HasNode(ev) && ev.node == node;
}

// Events from the last (later events tend to depend on earlier ones), a fault's events together where its
// last one stands, then nodes no event names.
std::vector<Edit> Removals(const Trial &t)
{
    const Scenario &sc = t.scenario;
    std::vector<Edit> out;
    std::vector<bool> seen(t.faults.size() + 1);
    for (size_t e = sc.events.size(); e-- > 0;) {
        const size_t fault = t.faultOf[e];
        if (fault == 0) {
            out.push_back({Edit::Kind::RemoveEvent, e, 0, 0});
        } else if (!seen[fault]) {
            seen[fault] = true;
            out.push_back({Edit::Kind::RemoveFault, e, fault, 0});
        }
    }
    for (size_t n = sc.nodes.size(); n-- > 0 && sc.nodes.size() > 1;) {
        if (std::none_of(sc.events.begin(), sc.events.end(), [n](const Event &ev) { return NamesNode(ev, n); })) {
            out.push_back({Edit::Kind::RemoveNode, 0, n, 0});
        }
    }
    return out;
}

std::vector<Edit> AtomRemovals(const Trial &t)
{
    std::vector<Edit> out;
    for (size_t e = 0; e < t.scenario.events.size(); ++e) {
        const size_t atoms = t.scenario.events[e].atoms.size();
        for (size_t a = 0; atoms > 1 && a < atoms; ++a) {
            out.push_back({Edit::Kind::RemoveAtom, e, a, 0});
        }
    }
    return out;
}

// Per event, the gaps to the event before it, and the latencies, that read well: 0, 1 ms, 10 ms, ... 10 s,
// each below what the event has now, smallest first.
std::vector<Edit> Narrowings(const Trial &t)
{
    std::vector<Edit> out;
    const std::vector<Event> &events = t.scenario.events;
    for (size_t e = 0; e < events.size(); ++e) {
        const Ms before = e == 0 ? 0 : events[e - 1].at;
        for (Ms gap = 0; before + gap < events[e].at; gap = gap == 0 ? 1 : gap * 10) {
            out.push_back({Edit::Kind::SetTime, e, 0, before + gap});
        }
        const std::optional<Ms> latency = events[e].kind == EventKind::Agent ? events[e].agent.latency : std::nullopt;
        for (Ms v = 1; latency && v < *latency; v *= 10) {
            out.push_back({Edit::Kind::SetLatency, e, 0, v});
        }
    }
    return out;
}

// The node of `original` that `event` names, as an index into the nodes of `t`; SIZE_MAX when `t` lost it.
size_t KeptNode(const Trial &t, const Trial &original, const Event &event)
{
    const std::string &name = original.scenario.nodes[event.node].name;
    for (size_t n = 0; n < t.scenario.nodes.size(); ++n) {
        if (t.scenario.nodes[n].name == name) {
            return n;
        }
    }
    return SIZE_MAX;
}

// The scenario's own link and location-status events of the nodes kept that the shrinking took out, each put
// back where it stood among the events kept, at the time of the one before it.
std::vector<Edit> PutBacks(const Trial &t, const Trial &original)
{
    std::vector<Edit> out;
    size_t at = 0;  // events of `t` that came before the original event
    const std::vector<Event> &events = t.scenario.events;
    for (size_t k = 0; k < original.scenario.events.size(); ++k) {
        while (at < events.size() && t.origin[at] < k) {
            ++at;
        }
        const Event &ev = original.scenario.events[k];
        const bool story = ev.kind == EventKind::Link || ev.kind == EventKind::LocationStatus;
        if (!story || original.faultOf[k] != 0 || (at < events.size() && t.origin[at] == k) ||
            KeptNode(t, original, ev) == SIZE_MAX) {
            continue;
        }
        const Ms time = at > 0 ? events[at - 1].at : events.empty() ? ev.at : std::min(ev.at, events.front().at);
        out.push_back({Edit::Kind::PutBack, at, k, time});
    }
    return out;
}

// Where event `e` goes when the events are spread to whole seconds: the second after the one before it.
Ms SpreadTime(const std::vector<Event> &events, size_t e)
{
    return e == 0 ? events[0].at / 1000 * 1000 : (events[e - 1].at / 1000 + 1) * 1000;
}

// All events a second apart at once, or else each event (with those after it) a second after the one before.
std::vector<Edit> Spreads(const Trial &t)
{
    std::vector<Edit> out;
    const std::vector<Event> &events = t.scenario.events;
    for (size_t e = 0; e < events.size(); ++e) {
        const Ms time = SpreadTime(events, e);
        if (time != events[e].at && events.back().at + time - events[e].at <= kMaxTime) {
            out.push_back({Edit::Kind::Spread, e, 0, time});
        }
    }
    return out;
}

Trial Apply(const Trial &from, const Edit &edit, const Trial &original)
{
    Trial t = from;
    std::vector<Event> &events = t.scenario.events;
    const auto at = static_cast<std::ptrdiff_t>(edit.event);
    switch (edit.kind) {
    case Edit::Kind::RemoveEvent:
        events.erase(events.begin() + at);
        t.faultOf.erase(t.faultOf.begin() + at);
        t.origin.erase(t.origin.begin() + at);
        break;
    case Edit::Kind::RemoveFault:
        for (size_t e = events.size(); e-- > 0;) {
            if (t.faultOf[e] == edit.item) {
                events.erase(events.begin() + static_cast<std::ptrdiff_t>(e));
                t.faultOf.erase(t.faultOf.begin() + static_cast<std::ptrdiff_t>(e));
                t.origin.erase(t.origin.begin() + static_cast<std::ptrdiff_t>(e));
            }
        }
        break;
    case Edit::Kind::PutBack: {
        Event ev = original.scenario.events[edit.item];
        ev.node = KeptNode(t, original, ev);
        ev.at = edit.value;
        events.insert(events.begin() + at, std::move(ev));
        t.faultOf.insert(t.faultOf.begin() + at, 0);
        t.origin.insert(t.origin.begin() + at, edit.item);
        break;
    }
    case Edit::Kind::Spread:
        for (size_t e = events.size(); e-- > edit.event;) {
            events[e].at = events[e].at + edit.value - from.scenario.events[edit.event].at;
        }
        break;
    case Edit::Kind::SpreadAll:
        for (size_t e = 0; e < events.size(); ++e) {
            events[e].at = SpreadTime(events, e);
        }
        break;
    case Edit::Kind::RemoveNode:
        t.scenario.nodes.erase(t.scenario.nodes.begin() + static_cast<std::ptrdiff_t>(edit.item));
        for (Event &ev : events) {
            if (HasNode(ev) && ev.node > edit.item) {
                --ev.node;
            }
        }
        for (Fault &f : t.faults) {
            if (f.node != SIZE_MAX && f.node > edit.item) {
                --f.node;
            }
        }
        break;
    case Edit::Kind::RemoveAtom:
        events[edit.event].atoms.erase(edit.item);
        break;
    case Edit::Kind::SetTime:
        events[edit.event].at = edit.value;
        break;
    case Edit::Kind::SetLatency:
        events[edit.event].agent.latency = edit.value;
        break;
    }
    return t;
}

class Shrinker {
public:
    Shrinker(Trial trial, ReasonKey reason, WorkerPool &pool, const std::function<void()> &tick)
        : original_(trial), trial_(std::move(trial)), reason_(reason), pool_(pool), tick_(tick)
    {}

    Trial Run()
    {
        auto removeAll = [this] {
            while (Greedy(Removals, false) | Greedy(AtomRemovals, false)) {
            }
        };
        removeAll();
        if (Greedy(Narrowings, true)) {
            removeAll();
        }
        // A story: the nodes' links and locations as the run had them, an event a second.
        Greedy([this](const Trial &t) { return PutBacks(t, original_); }, false);
        if (!trial_.scenario.events.empty() && !FirstHolding({{Edit::Kind::SpreadAll, 0, 0, 0}}, 0)) {
            Greedy(Spreads, true);
        } else if (!trial_.scenario.events.empty()) {
            trial_ = Apply(trial_, {Edit::Kind::SpreadAll, 0, 0, 0}, original_);
        }
        return std::move(trial_);
    }

private:
    // Takes, one at a time, the first edit of `edits(trial)` that holds. After a removal the next candidate
    // stands where the removed one stood; after a narrowing, the next event's (or kind's) candidates follow.
    bool Greedy(const Edits &edits, bool byEvent)
    {
        bool any = false;
        size_t from = 0;
        std::vector<Edit> list = edits(trial_);
        for (;;) {
            const std::optional<size_t> hit = FirstHolding(list, from);
            if (!hit) {
                return any;
            }
            const Edit taken = list[*hit];
            trial_ = Apply(trial_, taken, original_);
            any = true;
            from = *hit;
            list = edits(trial_);
            if (byEvent) {
                from = 0;
                while (from < list.size() && (list[from].event < taken.event ||
                                              (list[from].event == taken.event && list[from].kind <= taken.kind))) {
                    ++from;
                }
            }
        }
    }

    std::optional<size_t> FirstHolding(const std::vector<Edit> &list, size_t from)
    {
        for (size_t batch = from; batch < list.size(); batch += pool_.Jobs()) {
            const size_t n = std::min<size_t>(pool_.Jobs(), list.size() - batch);
            std::vector<bool> holds(n);
            pool_.Run(
                n, [&](size_t k) { return Apply(trial_, list[batch + k], original_).scenario; },
                [&](size_t k, const RunOutcome &o) {
                    holds[k] = o.Shows(reason_);
                    tick_();
                });
            for (size_t k = 0; k < n; ++k) {
                if (holds[k]) {
                    return batch + k;
                }
            }
        }
        return std::nullopt;
    }

    const Trial original_;
    Trial trial_;
    ReasonKey reason_;
    WorkerPool &pool_;
    const std::function<void()> &tick_;
};

}  // namespace

Trial Shrink(Trial trial, ReasonKey reason, WorkerPool &pool, const std::function<void()> &tick)
{
    trial.scenario.explore.reset();  // its agents name nodes that may go
    return Shrinker(std::move(trial), reason, pool, tick).Run();
}

}  // namespace zsim
