// The simulator's configuration store: atoms applied with the library's filters, independently of it.
#include "run/config_model.h"

#include "text/units.h"

#include <fmt/format.h>

#include <cstring>

namespace zsim {

namespace {

template <typename Map, typename Key, typename Rec>
AtomEffect StoreOrDelete(Map &map, const Key &key, const Rec &rec, uint16_t opCode)
{
    if (opCode == ZELM_CFG_OP_DEL) {
        return {map.erase(key) != 0 ? AtomEffect::Deleted : AtomEffect::Absent, ""};
    }
    const auto [it, added] = map.try_emplace(key, &rec);
    if (!added && std::memcmp(it->second, &rec, sizeof rec) == 0) {
        return {AtomEffect::Unchanged, ""};
    }
    it->second = &rec;
    return {AtomEffect::Stored, ""};
}

template <typename Key, typename Rec>
AtomEffect StoreOrDelete(zelm::ChunkMap<Key, const Rec *> &map, const Key &key, const Rec &rec, uint16_t opCode)
{
    if (opCode == ZELM_CFG_OP_DEL) {
        return {map.Erase(key) ? AtomEffect::Deleted : AtomEffect::Absent, ""};
    }
    if (const Rec *const *held = map.Find(key); held != nullptr && std::memcmp(*held, &rec, sizeof rec) == 0) {
        return {AtomEffect::Unchanged, ""};
    }
    (void)map.Put(key, &rec);
    return {AtomEffect::Stored, ""};
}

}  // namespace

bool IsServiceImage(const char (&imageName)[32])
{
    static constexpr char kNeedle[] = ".service";
    constexpr size_t n = sizeof kNeedle - 1;
    for (size_t i = 0; i + n <= sizeof imageName; ++i) {
        if (std::memcmp(imageName + i, kNeedle, n) == 0) {
            return true;
        }
        if (imageName[i] == '\0') {
            break;
        }
    }
    return false;
}

AtomEffect ConfigModel::Apply(AtomRef atom)
{
    if (atom.opCode > ZELM_CFG_OP_DEL) {
        // Checked after the class's own gate for components; both leave everything as it was.
        if (atom.cls == CfgClass::Component && atom.Comp().cfgStatus >= 0) {
            return {AtomEffect::Ignored,
                    "cfgStatus " + Hex(static_cast<uint32_t>(atom.Comp().cfgStatus)) + " has bit 31 clear"};
        }
        return {AtomEffect::Ignored, fmt::format("opCode {} has no effect", atom.opCode)};
    }
    switch (atom.cls) {
    case CfgClass::Location: {
        const ZelmLocInstCfg &r = atom.Loc();
        if (!IsServiceImage(r.imageName)) {
            return {AtomEffect::Ignored, "image '" + FieldText(r.imageName) +
                                             "' is not a service image: the library acts only on a location whose "
                                             "imageName contains \".service\""};
        }
        return StoreOrDelete(locations, r.LocId, r, atom.opCode);
    }
    case CfgClass::LogicGroup:
        return StoreOrDelete(groups, atom.Grp().locIndex, atom.Grp(), atom.opCode);
    case CfgClass::Component: {
        const ZelmCompInstCfg &r = atom.Comp();
        if (r.cfgStatus >= 0) {
            return {AtomEffect::Ignored, "cfgStatus " + Hex(static_cast<uint32_t>(r.cfgStatus)) + " has bit 31 clear"};
        }
        return StoreOrDelete(components, CompKey{r.locIndex, r.compInst}, r, atom.opCode);
    }
    case CfgClass::CompNode: {
        const ZelmCompNodeCfg &r = atom.Node();
        if (r.compClass == 0) {
            return {AtomEffect::Ignored, fmt::format("compClass 0: type {} is not a QOF component", r.compType)};
        }
        return StoreOrDelete(compNodes, r.compType, r, atom.opCode);
    }
    }
    return {AtomEffect::Ignored, "unknown class"};
}

std::optional<ZelmCompNodeCfg> ConfigModel::TypeFor(uint32_t compType) const
{
    if (compType == 3 || compType == 207) {
        ZelmCompNodeCfg zero{};
        zero.compType = compType;
        return zero;
    }
    const auto it = compNodes.find(compType);
    if (it == compNodes.end()) {
        return std::nullopt;
    }
    return *it->second;
}

ZelmLogicLocGrpCfg ConfigModel::GroupFor(uint32_t locIndex) const
{
    const auto it = groups.find(locIndex);
    if (it != groups.end()) {
        return *it->second;
    }
    ZelmLogicLocGrpCfg def{};
    def.logicId = 0xFFFFFFFFu;
    return def;
}

bool ConfigModel::HasComponentsAt(uint32_t locIndex) const
{
    const auto *first = components.LowerBound(CompKey{locIndex, 0});
    return first != nullptr && first->key.first == locIndex;
}

std::vector<AtomList> ConfigModel::ReplayMessages(size_t perMessage) const
{
    std::vector<AtomList> out;
    uint16_t seq = 0;
    auto add = [&](CfgClass cls, const auto *rec) {
        if (out.empty() || out.back().size() >= perMessage) {
            out.emplace_back();
        }
        Atom a;
        a.cls = cls;
        a.opCode = ZELM_CFG_OP_ADD;
        a.seq = ++seq;
        std::memcpy(&a.rec, rec, sizeof *rec);
        out.back().push_back(a);
    };
    for (const auto &[k, r] : compNodes)
        add(CfgClass::CompNode, r);
    for (const auto &[k, r] : groups)
        add(CfgClass::LogicGroup, r);
    for (const auto &[k, r] : locations)
        add(CfgClass::Location, r);
    for (const auto &[k, r] : components)
        add(CfgClass::Component, r);
    return out;
}

}  // namespace zsim
