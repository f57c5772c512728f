// Why a drift item exists: the library's rules applied to its model, the cluster and the run's history.
#include <fmt/format.h>

#include <iterator>
#include <string>

#include "report/report.h"
#include "run/lib_view.h"
#include "text/units.h"
#include "zelm_standin.h"

namespace zsim {

namespace {

std::string NodeName(const SimState &s, size_t node)
{
    return node < s.scenario.nodes.size() ? s.scenario.nodes[node].name : "?";
}

// What is wrong with an agent, as far as the host can tell.
std::string AgentTrouble(const SimState &s, size_t node)
{
    const NodeState &n = s.nodes[node];
    if (n.agentDown) {
        return "the agent is down";
    }
    STANDIN_AgentScript sc{};
    if (STANDIN_AgentGetScript(n.handle, &sc) == 0) {
        if (sc.refuseNext != 0) {
            return "the agent refuses calls";
        }
        if (sc.result != 0) {
            return fmt::format("the agent answers result {}", sc.result);
        }
        if (sc.failNext != 0 || sc.noReplyNext != 0) {
            return "the agent fails its requests";
        }
    }
    return "its last request failed";
}

Why Retrying(const SimState &s, size_t node)
{
    return {DriftReason::Retrying, "not delivered: " + AgentTrouble(s, node) + "; the smooth timer retries every 5 s"};
}

std::optional<Why> WithdrawalWhy(const WithdrawalRec &w)
{
    switch (w.state) {
    case Withdrawal::Pending:
        return Why{DriftReason::WithdrawalInFlight, "its withdrawal is in flight", Cause{w.at, "withdrawal sent"}};
    case Withdrawal::Refused:
        return Why{DriftReason::WithdrawalLost,
                   fmt::format("its withdrawal was refused (status {}) and is never sent again", w.code),
                   Cause{w.at, fmt::format("withdrawal refused (status {})", w.code)}};
    case Withdrawal::Failed:
        return Why{DriftReason::WithdrawalLost,
                   fmt::format("its withdrawal failed (result {}) and is never sent again", w.code),
                   Cause{w.at, fmt::format("withdrawal failed (result {})", w.code)}};
    case Withdrawal::NoReply:
        return Why{DriftReason::WithdrawalLost, "its withdrawal got no reply and is never sent again",
                   Cause{w.at, "withdrawal got no reply"}};
    case Withdrawal::Applied:
    case Withdrawal::None:
        break;
    }
    return std::nullopt;
}

template <typename Map, typename Key>
const typename Map::mapped_type *Lookup(const Map &m, const Key &k)
{
    const auto it = m.find(k);
    return it == m.end() ? nullptr : &it->second;
}

// When a location's latest record was stored; 0 when it never was.
Ms StoredAt(const SimState &s, uint32_t locId)
{
    const Ms *at = s.locationStoredAt.Find(locId);
    return at != nullptr ? *at : 0;
}

Why BareRestart(const SimState &s)
{
    return {DriftReason::RestartedWithoutReplay, "the library was restarted at " + Seconds(s.bareRestartAt) +
                                                     " without replay: it knows only what came after"};
}

// Why the library holds nothing for a component's index or the component itself: it forgot (unless a
// restart without replay came after that), or it never learnt.
Why Unknown(const SimState &s, const IndexHistory *ih, Why otherwise)
{
    if (ih != nullptr && !(s.bareRestart && ih->at < s.bareRestartAt)) {
        return {DriftReason::Forgotten, "the library forgot it when " + ih->note, Cause{ih->at, ih->brief}};
    }
    return s.bareRestart ? BareRestart(s) : otherwise;
}

const Why kStopped{DriftReason::LibraryStopped, "the library is stopped"};
const Why kInFlight{DriftReason::InFlight, "publication in flight"};
const Why kLastFailed{DriftReason::PublicationFailed, "its last publication failed"};
// Never published: never sent, or sent and refused or failed every time (and not sent again).
Why NeverPublished(const FailedSends *failed)
{
    if (failed == nullptr || failed->count == 0) {
        return {DriftReason::NeverPublished, "never published: never sent"};
    }
    return {DriftReason::FailedEveryTime,
            fmt::format("never published: refused or failed every time it was sent ({}); not sent again",
                        Plural(failed->count, "request", "requests")),
            Cause{failed->lastAt, Plural(failed->count, "publication", "publications") + " refused or failed"}};
}
const Why kNotRepublished{DriftReason::NotRepublished, "the library has not republished it since it changed"};

Why HaForbids(const SimState &s)
{
    return {DriftReason::HaRoleForbids, fmt::format("HA role {} forbids publication", s.haRole)};
}

// A location the library stores but has not published yet.
Why StoredLocation(const SimState &s, uint32_t locId, const LocHistory *h, const NodeState &n)
{
    if (s.haRole != 0) {
        return HaForbids(s);
    }
    if (h != nullptr && h->haAtStore != 0) {
        return {DriftReason::HeldBackByHaRole,
                fmt::format("configured while HA role {} forbade publication; never republished", h->haAtStore),
                Cause{StoredAt(s, locId), fmt::format("configured under HA role {}", h->haAtStore)}};
    }
    if (n.upWhileForbidden) {
        return {DriftReason::HeldBackByHaRole,
                "its OS node's link came up while the HA role forbade publication; never republished",
                Cause{n.upAt, "link up while the HA role forbade publication"}};
    }
    return NeverPublished(h != nullptr ? &h->failed : nullptr);
}

}  // namespace

Why WhyLocationMissing(const SimState &s, uint32_t locId, size_t node)
{
    if (!s.libraryRunning) {
        return kStopped;
    }
    const LocHistory *h = Lookup(s.locHistory, locId);
    const locationInst *inst = LibLocation(locId);
    if (inst == nullptr) {
        return s.bareRestart ? BareRestart(s) : Why{DriftReason::NotInLibrary, "the library does not hold it"};
    }
    const NodeState &n = s.nodes[node];
    const osNodeInst *os = LibOsNode(inst->osNodeId);
    if (os == nullptr) {
        return {DriftReason::NoChannel, n.linkEverUp ? "no channel: the OS node's link is down"
                                                     : "no channel yet: the OS node's link never came up"};
    }
    if (os->chanHandle == 0) {
        return {DriftReason::NoChannel, "no channel: the node-status service gave no agent handle at link-up"};
    }
    if (n.pending > 0) {
        return kInFlight;
    }
    if (os->publishFault != 0) {
        return Retrying(s, node);
    }
    if (inst->publishState == ZELM_LOC_STATE_FAILED) {
        return kLastFailed;
    }
    if (inst->publishState == ZELM_LOC_STATE_CFG) {
        return StoredLocation(s, locId, h, n);
    }
    if (h != nullptr && h->groupDeletedAt) {
        return {DriftReason::WithdrawnByGroupDelete,
                "withdrawn by the delete of its logic group; sent again only when its OS node is smoothed",
                Cause{*h->groupDeletedAt, "logic group deleted"}};
    }
    if (s.haRole != 0) {
        return HaForbids(s);
    }
    return kNotRepublished;
}

Why WhyLocationExtra(const SimState &s, uint32_t locId, size_t node)
{
    if (const ZelmLocInstCfg *const *cfg = s.config.locations.Find(locId)) {
        const size_t now = s.NodeOfOsInst((*cfg)->OsInst);
        if (now != node) {
            const std::string to = now == SIZE_MAX ? std::string("an undeclared OS node") : NodeName(s, now);
            const Ms *storedAt = s.locationStoredAt.Find(locId);
            return {DriftReason::Moved, fmt::format("moved to {}: the former agent is never told", to),
                    storedAt != nullptr ? std::optional<Cause>(Cause{*storedAt, fmt::format("moved to {}", to)})
                                        : std::nullopt};
        }
    }
    if (s.locationsSeen.count(locId) == 0) {
        return {DriftReason::NotConfigured, "not in the configuration"};
    }
    const LocHistory *h = Lookup(s.locHistory, locId);
    if (h != nullptr && h->unsentWithdrawal) {
        return *h->unsentWithdrawal;
    }
    return WithdrawalWhy(h != nullptr ? h->withdrawal : WithdrawalRec{})
        .value_or(Why{DriftReason::NoLongerConfigured, "no longer configured"});
}

Why WhyUnplaced(const SimState &s, uint32_t locIndex)
{
    std::string why = fmt::format("location index {} is not available on any node", locIndex);
    std::optional<Cause> cause;
    if (const IndexHistory *ih = Lookup(s.indexHistory, locIndex)) {
        fmt::format_to(std::back_inserter(why), " ({})", ih->note);
        cause = Cause{ih->at, ih->brief};
    } else {
        // What a first scenario most often leaves out: components go where their index is announced.
        fmt::format_to(std::back_inserter(why),
                       ": components go to the node whose locationStatus event announces their index "
                       "({{node: ..., service: LocName, index: {}}})",
                       locIndex);
    }
    return {DriftReason::IndexNotAvailable, why, cause};
}

Why WhyCompMissing(const SimState &s, const CompKey &key, size_t node)
{
    if (!s.libraryRunning) {
        return kStopped;
    }
    const IndexHistory *ih = Lookup(s.indexHistory, key.first);
    const ZelmCompLocation *loc = LibCompLocation(key.first);
    if (loc == nullptr) {
        return Unknown(s, ih,
                       {DriftReason::NotInLibrary,
                        fmt::format("the library holds nothing for location index {}", key.first)});
    }
    if (loc->chanHandle == 0) {
        return {DriftReason::NoChannel, fmt::format("no channel yet for location index {}", key.first)};
    }
    if (loc->chanHandle != s.nodes[node].handle) {
        return {DriftReason::PublishedElsewhere,
                fmt::format("the library publishes location index {} to another agent", key.first)};
    }
    const ZelmComponent *comp = LibComponent(key.first, key.second);
    if (comp == nullptr) {
        return Unknown(s, ih, {DriftReason::NotInLibrary, "the library does not hold it"});
    }
    if (!LibTypeReady(comp->cfg.compType)) {
        return {DriftReason::TypeMissing, fmt::format("component type {} missing in the library", comp->cfg.compType)};
    }
    if (s.nodes[node].pending > 0) {
        return kInFlight;
    }
    if (loc->publishFault != 0) {
        return Retrying(s, node);
    }
    if (comp->state == ZELM_COMP_STATE_FAILED) {
        return kLastFailed;
    }
    if (comp->state == ZELM_COMP_STATE_CFG) {
        const CompHistory *h = Lookup(s.compHistory, key);
        return NeverPublished(h != nullptr ? &h->failed : nullptr);
    }
    return kNotRepublished;
}

Why WhyCompExtra(const SimState &s, const CompKey &key, size_t node)
{
    if (s.config.components.count(key) != 0) {
        const size_t announcer = s.AnnouncerOf(key.first);
        if (announcer != SIZE_MAX && announcer != node) {
            const auto at = s.announcedAt.find(key.first);
            return {DriftReason::AnnouncedElsewhere,
                    fmt::format("location index {} is now announced by {}: this agent is never told to drop it",
                                key.first, NodeName(s, announcer)),
                    at == s.announcedAt.end()
                        ? std::nullopt
                        : std::optional<Cause>(Cause{at->second, fmt::format("index {} announced by {}", key.first,
                                                                             NodeName(s, announcer))})};
        }
        return {DriftReason::NotPublishedHere, "configured, but no longer published here"};
    }
    const CompHistory *h = Lookup(s.compHistory, key);
    const IndexHistory *ih = Lookup(s.indexHistory, key.first);
    if (h != nullptr && h->unsentWithdrawal) {
        if (ih != nullptr && h->unsentWithdrawal->reason == DriftReason::NotInLibrary) {
            return {DriftReason::Forgotten,
                    "the library had forgotten it when " + ih->note + ": no withdrawal was sent",
                    Cause{ih->at, ih->brief}};
        }
        return *h->unsentWithdrawal;
    }
    if (h != nullptr) {
        if (std::optional<Why> w = WithdrawalWhy(h->withdrawal)) {
            return *w;
        }
    }
    return ih != nullptr
               ? Why{DriftReason::Forgotten, "the library forgot it when " + ih->note, Cause{ih->at, ih->brief}}
               : Why{DriftReason::NoLongerConfigured, "no longer configured"};
}

}  // namespace zsim
