// The model of what the library holds, and its comparison with the library's trees.
#include "entries_model.h"

#include <cstdio>
#include <cstring>

#include "entries_world.h"
#include "zelm_standin.h"

namespace zf {
namespace {

template <typename Rec>
Rec RecordOf(const std::vector<uint8_t> &bytes)
{
    Rec r{};
    if (!bytes.empty()) {
        std::memcpy(&r, bytes.data(), bytes.size() < sizeof(r) ? bytes.size() : sizeof(r));
    }
    return r;
}

bool IsServiceImage(const char (&image)[32])
{
    const size_t len = strnlen(image, sizeof(image));
    return std::string(image, len).find(".service") != std::string::npos;
}

// What ZELM_ComponentDeleteByLoc and a withdrawn index leave of a location: nothing.
void ForgetComponentsAt(Model &m, uint32_t locIndex)
{
    m.channels.erase(locIndex);
    for (auto it = m.comps.begin(); it != m.comps.end();) {
        it = (it->first.first == locIndex) ? m.comps.erase(it) : std::next(it);
    }
}

template <typename Entry>
Entry *First(ZelSet *set)
{
    return static_cast<Entry *>(AXO_AVL3_First(&set->tree, &set->treeInfo));
}

template <typename Entry>
Entry *Next(ZelSet *set, Entry *e)
{
    return static_cast<Entry *>(AXO_AVL3_Next(&e->node, &set->treeInfo));
}

template <typename Rec>
bool Same(const Rec &a, const Rec &b)
{
    return std::memcmp(&a, &b, sizeof(Rec)) == 0;
}

void Differs(const char *what, uint32_t key)
{
    std::fprintf(stderr, "model: %s %u differs\n", what, key);
    Broken("the library holds other records than its configuration and reports gave it");
}

}  // namespace

void ModelRestart(Model &m)
{
    m = Model{};
    const ZelmLocalData *data = ZELM_GetLocalData();
    m.valid = data != nullptr && data->msgTable != nullptr && ZELM_GetModCb(ZELM_MOD_COMP) != nullptr &&
              ZELM_GetModCb(ZELM_MOD_LOCATION) != nullptr && ZELM_GetModCb(ZELM_MOD_LINK) != nullptr &&
              STANDIN_KormLocationSubscribed() != 0;
}

std::map<uint32_t, uint32_t> ModelLocationStates()
{
    std::map<uint32_t, uint32_t> states;
    auto *cb = static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    if (cb == nullptr) {
        return states;
    }
    for (auto *inst = First<locationInst>(cb->locationInstTree); inst != nullptr;
         inst = Next(cb->locationInstTree, inst)) {
        states[inst->instCfg.LocId] = inst->publishState;
    }
    return states;
}

void ModelAtom(Model &m, uint32_t classId, uint16_t opCode, const std::vector<uint8_t> &record,
               std::map<uint32_t, uint32_t> &states)
{
    if (!m.valid || opCode > ZELM_CFG_OP_DEL) {
        return;
    }
    const bool store = opCode != ZELM_CFG_OP_DEL;
    if (classId == ZELM_CLASS_LOCATION) {
        const auto r = RecordOf<ZelmLocInstCfg>(record);
        if (!IsServiceImage(r.imageName)) {
            return;
        }
        if (store) {
            m.locs[r.LocId] = r;
            states[r.LocId] = ZELM_LOC_STATE_CFG;
        } else if (m.locs.erase(r.LocId) != 0) {
            if (states[r.LocId] != ZELM_LOC_STATE_CFG) {
                ForgetComponentsAt(m, r.LocId);
            }
            states.erase(r.LocId);
        }
    } else if (classId == ZELM_CLASS_LOGIC_LOC_GRP) {
        const auto r = RecordOf<ZelmLogicLocGrpCfg>(record);
        if (store) {
            m.grps[r.locIndex] = r;
        } else if (m.grps.erase(r.locIndex) != 0 && m.locs.count(r.locIndex) != 0) {
            ForgetComponentsAt(m, r.locIndex);
        }
    } else if (classId == ZELM_CLASS_COMP_NODE) {
        const auto r = RecordOf<ZelmCompNodeCfg>(record);
        if (r.compClass == 0) {
            return;
        }
        if (store) {
            m.types[r.compType] = r;
        } else {
            m.types.erase(r.compType);
        }
    } else if (classId == ZELM_CLASS_COMPONENT) {
        const auto r = RecordOf<ZelmCompInstCfg>(record);
        if (r.cfgStatus >= 0) {
            return;
        }
        if (store) {
            m.comps[{r.locIndex, r.compInst}] = r;
        } else {
            m.comps.erase({r.locIndex, r.compInst});
        }
    }
}

void ModelLocationStatus(Model &m, uint32_t osNodeId, const std::string &name, uint32_t locIndex, bool available)
{
    if (!m.valid || name.size() >= ZELM_LINK_SERVICE_NAME_LEN) {
        return;
    }
    const auto key = std::make_pair(osNodeId, name);
    if (!available) {
        m.links.erase(key);
        return;
    }
    if (locIndex == ZELM_INVALID_LOC_INDEX || STANDIN_KormServerHandle(osNodeId) == 0) {
        return;
    }
    auto it = m.links.find(key);
    if (it != m.links.end() && it->second != locIndex) {
        ForgetComponentsAt(m, it->second);
    }
    m.links[key] = locIndex;
    m.channels[locIndex] = STANDIN_KormServerHandle(osNodeId);
}

void ModelOsNodeLink(Model &m, uint32_t osNodeId, bool up)
{
    if (!m.valid) {
        return;
    }
    if (up) {
        m.osNodes[osNodeId] = STANDIN_KormServerHandle(osNodeId);
    } else {
        m.osNodes.erase(osNodeId);
    }
}

void ModelCheck(const Model &m)
{
    if (!m.valid) {
        return;
    }
    auto *loc = static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    auto *comp = static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
    auto *link = static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK));

    size_t n = 0;
    for (auto *inst = First<locationInst>(loc->locationInstTree); inst != nullptr;
         inst = Next(loc->locationInstTree, inst), ++n) {
        auto it = m.locs.find(inst->instCfg.LocId);
        if (it == m.locs.end() || !Same(it->second, inst->instCfg)) {
            Differs("location", inst->instCfg.LocId);
        }
    }
    if (n != m.locs.size()) {
        Differs("location count", static_cast<uint32_t>(n));
    }
    n = 0;
    for (auto *grp = First<LogicLocGrp>(loc->logicGrpInstTree); grp != nullptr;
         grp = Next(loc->logicGrpInstTree, grp), ++n) {
        auto it = m.grps.find(grp->grpCfg.locIndex);
        if (it == m.grps.end() || !Same(it->second, grp->grpCfg)) {
            Differs("logic group", grp->grpCfg.locIndex);
        }
    }
    if (n != m.grps.size()) {
        Differs("logic group count", static_cast<uint32_t>(n));
    }
    n = 0;
    for (auto *type = First<ZelmCompNode>(comp->compNodeTree); type != nullptr;
         type = Next(comp->compNodeTree, type), ++n) {
        auto it = m.types.find(type->cfg.compType);
        if (it == m.types.end() || !Same(it->second, type->cfg)) {
            Differs("component type", type->cfg.compType);
        }
    }
    if (n != m.types.size()) {
        Differs("component type count", static_cast<uint32_t>(n));
    }
    n = 0;
    for (auto *node = First<osNodeInst>(loc->osNodeTree); node != nullptr; node = Next(loc->osNodeTree, node), ++n) {
        auto it = m.osNodes.find(node->osNodeId);
        if (it == m.osNodes.end() || it->second != node->chanHandle) {
            Differs("OS node", node->osNodeId);
        }
    }
    if (n != m.osNodes.size()) {
        Differs("OS node count", static_cast<uint32_t>(n));
    }
    size_t channels = 0;
    n = 0;
    for (auto *at = First<ZelmCompLocation>(comp->locationTree); at != nullptr; at = Next(comp->locationTree, at)) {
        if (at->chanHandle != 0) {
            auto it = m.channels.find(at->locIndex);
            if (it == m.channels.end() || it->second != at->chanHandle) {
                Differs("channel of location", at->locIndex);
            }
            ++channels;
        }
        for (auto *c = First<ZelmComponent>(at->componentTree); c != nullptr; c = Next(at->componentTree, c), ++n) {
            auto it = m.comps.find({at->locIndex, c->cfg.compInst});
            if (it == m.comps.end() || !Same(it->second, c->cfg)) {
                Differs("component", c->cfg.compInst);
            }
        }
    }
    if (n != m.comps.size()) {
        Differs("component count", static_cast<uint32_t>(n));
    }
    if (channels != m.channels.size()) {
        Differs("announced location count", static_cast<uint32_t>(channels));
    }
    n = 0;
    for (auto *e = First<ZelmLinkLoc>(link->linkLocTree); e != nullptr; e = Next(link->linkLocTree, e), ++n) {
        auto it = m.links.find({e->key.osNodeId, std::string(e->key.serviceName)});
        if (it == m.links.end() || it->second != e->locIndex) {
            Differs("link of OS node", e->key.osNodeId);
        }
    }
    if (n != m.links.size()) {
        Differs("link count", static_cast<uint32_t>(n));
    }
}

}  // namespace zf
