// The record fields a scenario may set, per configuration class: name, place and kind, in record order.
#ifndef ZELM_SIM_SCENARIO_FIELDS_H
#define ZELM_SIM_SCENARIO_FIELDS_H

#include <cstddef>
#include <span>
#include <string_view>

#include "scenario/scenario.h"

namespace zsim {

enum class FieldKind {
    U32,     // unsigned 32-bit number
    I32,     // 32-bit word given as a signed or an unsigned number (cfgStatus)
    Text,    // inline text; at most size - 1 characters, so that it ends inside its field
    OsInst,  // a number, or the name of a declared node (its osNodeId)
};

struct FieldDesc {
    const char *name;
    size_t offset;
    FieldKind kind;
    size_t size;
    bool key;  // part of the record's key: the scenario must give it
};

std::span<const FieldDesc> FieldsOf(CfgClass cls);
const FieldDesc *FindField(CfgClass cls, std::string_view name);

}  // namespace zsim

#endif
