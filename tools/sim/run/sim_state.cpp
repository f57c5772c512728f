// Lookups over the simulator's view of the cluster.
#include "run/sim_state.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace zsim {

size_t SimState::NodeOfHandle(QOF_ConnHandle handle) const
{
    const auto it = byHandle.find(handle);
    return it == byHandle.end() ? SIZE_MAX : it->second;
}

size_t SimState::NodeOfId(uint32_t osNodeId) const
{
    const auto it = byId.find(osNodeId);
    return it == byId.end() ? SIZE_MAX : it->second;
}

void SimState::Announce(size_t node, const std::string &service, std::optional<uint32_t> index)
{
    const auto where = std::make_pair(node, service);
    const auto it = available.find(where);
    if (it != available.end()) {
        announcers.erase(it->second);
        available.erase(it);
    }
    if (index) {
        const uint64_t order = ++reportOrder;
        available.emplace(where, std::make_pair(*index, order));
        announcers.emplace(std::make_pair(*index, order), node);
    }
}

size_t SimState::AnnouncerOf(uint32_t index) const
{
    // The latest report of the index is its last entry.
    const auto next = announcers.upper_bound({index, UINT64_MAX});
    if (next == announcers.begin() || std::prev(next)->first.first != index) {
        return SIZE_MAX;
    }
    return std::prev(next)->second;
}

std::optional<uint32_t> SimState::AnnouncedIndex(size_t node, const std::string &service) const
{
    const auto it = available.find({node, service});
    if (it == available.end()) {
        return std::nullopt;
    }
    return it->second.first;
}

void SimState::ExpectedChanged(size_t node, Ms t)
{
    lastExpectedChangeAt = t;
    if (node != SIZE_MAX) {
        nodes[node].lastExpectedChangeAt = t;
    }
}

void SimState::ExpectedChangedEverywhere(Ms t)
{
    lastExpectedChangeAt = t;
    for (NodeState &n : nodes) {
        n.lastExpectedChangeAt = t;
    }
}

namespace {

// FNV-1a over what the agents hold: the numbers of each entry and its texts, not where the texts live.
struct HoldingsHash {
    uint64_t h = 1469598103934665603ull;
    void Bytes(const void *data, size_t n)
    {
        const auto *p = static_cast<const unsigned char *>(data);
        for (size_t i = 0; i < n; ++i) {
            h = (h ^ p[i]) * 1099511628211ull;
        }
    }
    void Word(uint64_t v) { Bytes(&v, sizeof v); }
    void Text(const char *t)
    {
        const size_t n = std::strlen(t);
        Word(n);
        Bytes(t, n);
    }
};

void HashLocation(const STANDIN_LocEntry *e, void *arg)
{
    auto &hash = *static_cast<HoldingsHash *>(arg);
    hash.Bytes(e, offsetof(STANDIN_LocEntry, LocName));
    for (const char *t : {e->LocName, e->imageName, e->LocExtName}) {
        hash.Text(t);
    }
    hash.Word(e->nullTexts);
}

void HashComponent(uint32_t locIndex, const STANDIN_CompEntry *e, void *arg)
{
    auto &hash = *static_cast<HoldingsHash *>(arg);
    hash.Word(locIndex);
    hash.Bytes(e, offsetof(STANDIN_CompEntry, compTypeName));
    for (const char *t : {e->compTypeName, e->compFileName, e->compExtName, e->compInstName}) {
        hash.Text(t);
    }
    hash.Word(e->nullTexts);
}

}  // namespace

uint64_t SimState::HoldingsFingerprint() const
{
    HoldingsHash hash;
    for (size_t n = 0; n < nodes.size(); ++n) {
        hash.Word(n);
        if (nodes[n].handle == 0) {
            continue;
        }
        hash.Word(STANDIN_AgentLocCount(nodes[n].handle));
        STANDIN_AgentLocForEach(nodes[n].handle, &HashLocation, &hash);
        hash.Word(STANDIN_AgentCompCount(nodes[n].handle));
        STANDIN_AgentCompForEach(nodes[n].handle, &HashComponent, &hash);
    }
    return hash.h;
}

}  // namespace zsim
