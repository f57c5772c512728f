// Field tables of the four configuration records, by the records' own field names.
#include "scenario/scenario_fields.h"

#include <cstddef>

namespace zsim {
namespace {

#define ZSIM_U32(rec, f, key)                                       \
    {                                                               \
#f, offsetof(rec, f), FieldKind::U32, sizeof(uint32_t), key \
    }
#define ZSIM_TEXT(rec, f)                                            \
    {                                                                \
#f, offsetof(rec, f), FieldKind::Text, sizeof(rec::f), false \
    }

constexpr FieldDesc kLocationFields[] = {
    ZSIM_U32(ZelmLocInstCfg, LocId, true),
    ZSIM_U32(ZelmLocInstCfg, LocType, false),
    ZSIM_TEXT(ZelmLocInstCfg, LocName),
    {"OsInst", offsetof(ZelmLocInstCfg, OsInst), FieldKind::OsInst, sizeof(uint32_t), false},
    ZSIM_U32(ZelmLocInstCfg, LocGrp, false),
    ZSIM_U32(ZelmLocInstCfg, LocParam1, false),
    ZSIM_U32(ZelmLocInstCfg, Lrid, false),
    ZSIM_U32(ZelmLocInstCfg, LocParam2, false),
    ZSIM_U32(ZelmLocInstCfg, LocParam3, false),
    ZSIM_U32(ZelmLocInstCfg, LocParam4, false),
    ZSIM_U32(ZelmLocInstCfg, LocParam5, false),
    ZSIM_U32(ZelmLocInstCfg, LocParam6, false),
    ZSIM_TEXT(ZelmLocInstCfg, imageName),
    ZSIM_TEXT(ZelmLocInstCfg, LocExtName),
};

constexpr FieldDesc kLogicGroupFields[] = {
    ZSIM_U32(ZelmLogicLocGrpCfg, locIndex, true),     ZSIM_U32(ZelmLogicLocGrpCfg, logicId, false),
    ZSIM_U32(ZelmLogicLocGrpCfg, faultPolicy, false), ZSIM_U32(ZelmLogicLocGrpCfg, grpParam1, false),
    ZSIM_U32(ZelmLogicLocGrpCfg, grpParam2, false),   ZSIM_U32(ZelmLogicLocGrpCfg, grpParam3, false),
};

constexpr FieldDesc kComponentFields[] = {
    ZSIM_U32(ZelmCompInstCfg, compInst, true),
    ZSIM_U32(ZelmCompInstCfg, compType, false),
    ZSIM_TEXT(ZelmCompInstCfg, compInstName),
    ZSIM_U32(ZelmCompInstCfg, attr1, false),
    {"cfgStatus", offsetof(ZelmCompInstCfg, cfgStatus), FieldKind::I32, sizeof(int32_t), false},
    ZSIM_U32(ZelmCompInstCfg, attr2, false),
    ZSIM_U32(ZelmCompInstCfg, locIndex, true),
    ZSIM_U32(ZelmCompInstCfg, attr3, false),
    ZSIM_U32(ZelmCompInstCfg, attr4, false),
    ZSIM_U32(ZelmCompInstCfg, attr5, false),
    ZSIM_U32(ZelmCompInstCfg, attr6, false),
    ZSIM_U32(ZelmCompInstCfg, attr7, false),
    ZSIM_U32(ZelmCompInstCfg, attr8, false),
    ZSIM_U32(ZelmCompInstCfg, attr9, false),
};

constexpr FieldDesc kCompNodeFields[] = {
    ZSIM_U32(ZelmCompNodeCfg, compType, true),   ZSIM_TEXT(ZelmCompNodeCfg, compTypeName),
    ZSIM_U32(ZelmCompNodeCfg, compClass, false), ZSIM_TEXT(ZelmCompNodeCfg, compFileName),
    ZSIM_TEXT(ZelmCompNodeCfg, compExtName),
};

#undef ZSIM_U32
#undef ZSIM_TEXT

}  // namespace

std::span<const FieldDesc> FieldsOf(CfgClass cls)
{
    switch (cls) {
    case CfgClass::Location:
        return kLocationFields;
    case CfgClass::LogicGroup:
        return kLogicGroupFields;
    case CfgClass::Component:
        return kComponentFields;
    case CfgClass::CompNode:
        return kCompNodeFields;
    }
    return {};
}

const FieldDesc *FindField(CfgClass cls, std::string_view name)
{
    for (const FieldDesc &f : FieldsOf(cls)) {
        if (name == f.name) {
            return &f;
        }
    }
    return nullptr;
}

}  // namespace zsim
