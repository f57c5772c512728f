// Reading one configuration atom of a scenario: its class, operation code, sequence and record fields.
#include <fmt/format.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "scenario/scenario_fields.h"
#include "scenario/scenario_keys.h"
#include "scenario/scenario_parse.h"
#include "text/printable.h"

namespace zsim {

namespace {

constexpr uint32_t kDefaultCfgStatus = 0x80000000u;  // bit 31 set: the library acts on the record
constexpr uint32_t kDefaultCompClass = 1u;           // non-zero: a component type the library keeps

std::optional<CfgClass> ClassByName(const std::string &name)
{
    for (CfgClass c : {CfgClass::Location, CfgClass::LogicGroup, CfgClass::Component, CfgClass::CompNode}) {
        if (name == ClassName(c)) {
            return c;
        }
    }
    return std::nullopt;
}

uint16_t OpCode(const YamlReader &r, const YAML::Node &node)
{
    static_assert(ZELM_CFG_OP_ADD == 0 && ZELM_CFG_OP_MOD == 1 && ZELM_CFG_OP_DEL == 2, "named in code order");
    const std::string s = node.IsScalar() ? node.Scalar() : "";
    for (uint16_t code = 0; code < std::size(kOpCodeNames); ++code) {
        if (s == kOpCodeNames[code]) {
            return code;
        }
    }
    if (!s.empty() && std::isdigit(static_cast<unsigned char>(s[0]))) {
        return static_cast<uint16_t>(r.UInt(node, UINT16_MAX, "opCode"));
    }
    r.Fail(node, "opCode must be add, update, delete or a number from 0 to 65535, not " + Describe(node) +
                     DidYouMean(s, kOpCodeNames));
}

void Store32(CfgRecord &rec, size_t offset, uint32_t v)
{
    std::memcpy(reinterpret_cast<unsigned char *>(&rec) + offset, &v, sizeof v);
}

// Reads one field's value into its place in the record.
void StoreField(const YamlReader &r, const YAML::Node &v, const FieldDesc &f, const NodeIndex &index, CfgRecord &rec)
{
    switch (f.kind) {
    case FieldKind::U32:
        Store32(rec, f.offset, r.U32(v, f.name));
        return;
    case FieldKind::I32:
        Store32(rec, f.offset, r.Word32(v, f.name));
        return;
    case FieldKind::OsInst:
        // A node's name stands for its identifier.
        if (v.IsScalar() && !v.Scalar().empty() && !std::isdigit(static_cast<unsigned char>(v.Scalar()[0]))) {
            Store32(rec, f.offset, index.nodes[FindNode(r, v, index)].osNodeId);
        } else {
            Store32(rec, f.offset, r.U32(v, f.name));
        }
        return;
    case FieldKind::Text: {
        const std::string text = r.Text(v, f.name);
        if (text.size() >= f.size) {
            r.Fail(v, fmt::format("{} {} is too long: its field holds at most {} characters", f.name, Quoted(text),
                                  f.size - 1));
        }
        std::memcpy(reinterpret_cast<unsigned char *>(&rec) + f.offset, text.data(), text.size());
        return;
    }
    }
}

}  // namespace

Atom BlankAtom(CfgClass cls)
{
    Atom atom;
    atom.cls = cls;
    atom.opCode = ZELM_CFG_OP_ADD;
    if (cls == CfgClass::Component) {
        atom.rec.comp.cfgStatus = static_cast<int32_t>(kDefaultCfgStatus);
    }
    if (cls == CfgClass::CompNode) {
        atom.rec.node.compClass = kDefaultCompClass;
    }
    return atom;
}

Atom ParseAtom(const YamlReader &r, const YAML::Node &node, const NodeIndex &index, uint16_t defaultSeq)
{
    r.ExpectMap(node, "a configuration atom");
    const YAML::Node clsNode = r.Required(node, "class", "a configuration atom");
    const std::optional<CfgClass> cls = clsNode.IsScalar() ? ClassByName(clsNode.Scalar()) : std::nullopt;
    if (!cls) {
        const std::string name = clsNode.IsScalar() ? clsNode.Scalar() : "";
        r.Fail(clsNode, fmt::format("class must be one of location, logicGroup, component, compNode, not {}{}",
                                    Describe(clsNode), DidYouMean(name, ClassNames())));
    }
    const std::string what = std::string("a ") + ClassName(*cls) + " atom";
    r.CheckKeys(node, AtomKeys(*cls), what.c_str());

    Atom atom = BlankAtom(*cls);
    atom.opCode = node["opCode"] ? OpCode(r, node["opCode"]) : ZELM_CFG_OP_ADD;
    atom.seq = node["seq"] ? static_cast<uint16_t>(r.UInt(node["seq"], UINT16_MAX, "seq")) : defaultSeq;

    for (const FieldDesc &f : FieldsOf(*cls)) {
        const YAML::Node v = node[f.name];
        if (!v) {
            if (f.key) {
                r.Fail(node, what + " needs '" + f.name + "'");
            }
            continue;
        }
        StoreField(r, v, f, index, atom.rec);
    }
    return atom;
}

}  // namespace zsim
