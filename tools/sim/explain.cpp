// Why a drift item exists: the library's rules applied to its model, the cluster and the run's history.
#include <string>

#include "lib_view.h"
#include "report.h"
#include "zelm_standin.h"

namespace zsim {

namespace {

std::string Num(uint64_t v) { return std::to_string(v); }

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
            return "the agent answers result " + Num(sc.result);
        }
        if (sc.failNext != 0 || sc.noReplyNext != 0) {
            return "the agent fails its requests";
        }
    }
    return "its last request failed";
}

std::string Retrying(const SimState &s, size_t node)
{
    return "not delivered: " + AgentTrouble(s, node) + "; the smooth timer retries every 5 s";
}

std::string WithdrawalWhy(const WithdrawalRec &w)
{
    switch (w.state) {
    case Withdrawal::Pending:
        return "its withdrawal is in flight";
    case Withdrawal::Refused:
        return "its withdrawal was refused (status " + Num(w.code) + ") and is never sent again";
    case Withdrawal::Failed:
        return "its withdrawal failed (result " + Num(w.code) + ") and is never sent again";
    case Withdrawal::NoReply:
        return "its withdrawal got no reply and is never sent again";
    case Withdrawal::Applied:
    case Withdrawal::None:
        break;
    }
    return "";
}

template <typename Map, typename Key>
const typename Map::mapped_type *Lookup(const Map &m, const Key &k)
{
    const auto it = m.find(k);
    return it == m.end() ? nullptr : &it->second;
}

std::string BareRestart(const SimState &s)
{
    return "the library was restarted at " + FormatTime(s.bareRestartAt) +
           " s without replay: it knows only what came after";
}

}  // namespace

std::string WhyLocationMissing(const SimState &s, uint32_t locId, size_t node)
{
    if (!s.libraryRunning) {
        return "the library is stopped";
    }
    const LocHistory *h = Lookup(s.locHistory, locId);
    const locationInst *inst = LibLocation(locId);
    if (inst == nullptr) {
        return s.bareRestart ? BareRestart(s) : "the library does not hold it";
    }
    const NodeState &n = s.nodes[node];
    const osNodeInst *os = LibOsNode(inst->osNodeId);
    if (os == nullptr) {
        return n.linkEverUp ? "no channel: the OS node's link is down" : "no channel yet: the OS node's link never came up";
    }
    if (os->chanHandle == 0) {
        return "no channel: the node-status service gave no agent handle at link-up";
    }
    if (n.pending > 0) {
        return "publication in flight";
    }
    if (os->publishFault != 0) {
        return Retrying(s, node);
    }
    if (inst->publishState == ZELM_LOC_STATE_FAILED) {
        return "its last publication failed";
    }
    if (inst->publishState == ZELM_LOC_STATE_CFG) {
        if (s.haRole != 0) {
            return "HA role " + Num(s.haRole) + " forbids publication";
        }
        if (h != nullptr && h->haAtStore != 0) {
            return "configured while HA role " + Num(h->haAtStore) + " forbade publication; never republished";
        }
        if (n.upWhileForbidden) {
            return "its OS node's link came up while the HA role forbade publication; never republished";
        }
        return "never published";
    }
    if (h != nullptr && h->withdrawnByGroupDelete) {
        return "withdrawn by the delete of its logic group; sent again only when its OS node is smoothed";
    }
    if (s.haRole != 0) {
        return "HA role " + Num(s.haRole) + " forbids publication";
    }
    return "the library has not republished it since it changed";
}

std::string WhyLocationExtra(const SimState &s, uint32_t locId, size_t node)
{
    if (const ZelmLocInstCfg *cfg = Lookup(s.config.locations, locId)) {
        const size_t now = s.NodeOfId(cfg->OsInst & 0xFFFFFFu);
        if (now != node) {
            return "moved to " + (now == SIZE_MAX ? std::string("an undeclared OS node") : NodeName(s, now)) +
                   ": the former agent is never told";
        }
    }
    const LocHistory *h = Lookup(s.locHistory, locId);
    if (h == nullptr) {
        return "not in the configuration";
    }
    if (!h->deleteNote.empty()) {
        return h->deleteNote;
    }
    const std::string w = WithdrawalWhy(h->withdrawal);
    return w.empty() ? "no longer configured" : w;
}

std::string WhyUnplaced(const SimState &s, uint32_t locIndex)
{
    std::string why = "location index " + Num(locIndex) + " is not available on any node";
    if (const IndexHistory *ih = Lookup(s.indexHistory, locIndex)) {
        why += " (" + ih->note + ")";
    }
    return why;
}

std::string WhyCompMissing(const SimState &s, const CompKey &key, size_t node)
{
    if (!s.libraryRunning) {
        return "the library is stopped";
    }
    const IndexHistory *ih = Lookup(s.indexHistory, key.first);
    const ZelmCompLocation *loc = LibCompLocation(key.first);
    if (loc == nullptr) {
        return ih != nullptr && !(s.bareRestart && ih->at < s.bareRestartAt) ? "the library forgot it when " + ih->note
               : s.bareRestart ? BareRestart(s)
                               : "the library holds nothing for location index " + Num(key.first);
    }
    if (loc->chanHandle == 0) {
        return "no channel yet for location index " + Num(key.first);
    }
    if (loc->chanHandle != s.nodes[node].handle) {
        return "the library publishes location index " + Num(key.first) + " to another agent";
    }
    const ZelmComponent *comp = LibComponent(key.first, key.second);
    if (comp == nullptr) {
        return ih != nullptr && !(s.bareRestart && ih->at < s.bareRestartAt) ? "the library forgot it when " + ih->note
               : s.bareRestart ? BareRestart(s)
                               : "the library does not hold it";
    }
    if (!LibTypeReady(comp->cfg.compType)) {
        return "component type " + Num(comp->cfg.compType) + " missing in the library";
    }
    if (s.nodes[node].pending > 0) {
        return "publication in flight";
    }
    if (loc->publishFault != 0) {
        return Retrying(s, node);
    }
    if (comp->state == ZELM_COMP_STATE_FAILED) {
        return "its last publication failed";
    }
    return comp->state == ZELM_COMP_STATE_CFG ? "never published" : "the library has not republished it since it changed";
}

std::string WhyCompExtra(const SimState &s, const CompKey &key, size_t node)
{
    if (Lookup(s.config.components, key) != nullptr) {
        const auto ann = s.Announcers();
        const auto it = ann.find(key.first);
        if (it != ann.end() && it->second != node) {
            return "location index " + Num(key.first) + " is now announced by " + NodeName(s, it->second) +
                   ": this agent is never told to drop it";
        }
        return "configured, but no longer published here";
    }
    const CompHistory *h = Lookup(s.compHistory, key);
    const IndexHistory *ih = Lookup(s.indexHistory, key.first);
    if (h != nullptr && !h->deleteNote.empty()) {
        if (ih != nullptr && h->deleteNote.rfind("the library did not hold it", 0) == 0) {
            return "the library had forgotten it when " + ih->note + ": no withdrawal was sent";
        }
        return h->deleteNote;
    }
    if (h != nullptr) {
        const std::string w = WithdrawalWhy(h->withdrawal);
        if (!w.empty()) {
            return w;
        }
    }
    return ih != nullptr ? "the library forgot it when " + ih->note : "no longer configured";
}

}  // namespace zsim
