/*
 * Private to the LOCATION module: the default logic group and log-safe copies
 * of the configuration's fixed-width texts. A text field is NUL-terminated
 * within its 32 bytes when the configuration is well formed; the log copies
 * stop at the field's end either way, so no line ever reads past a field.
 */
#ifndef ZELM_LOCATION_LOC_INTERNAL_H
#define ZELM_LOCATION_LOC_INTERNAL_H

#include <stdint.h>

#include "containers/zel_set_keyed.h"
#include "core/zelm_peer_fault.h"
#include "platform/bounds.h"
#include "zelm.h"

/* The OS nodes whose publishFault is set; one module per process, so one count. */
extern ZelmFlaggedPeers g_zelmLocFlaggedOsNodes;

/* The key length of all three trees of the module. */
inline constexpr uint32_t kZelmLocKeyLen = sizeof(uint32_t);

/* Stands in for the logic group of a location that has none. */
inline constexpr ZelmLogicLocGrpCfg kZelmLocDefaultGrp = {0u, 0xFFFFFFFFu, 0u, 0u, 0u, 0u};

/* The logic group a location's entry carries: its own, or the default one. */
inline ZelmLogicLocGrpCfg ZelmLocGroupOf(locationCb *cb, uint32_t locIndex)
{
    const LogicLocGrp *grp = ZelmTryFindLogicGrpInst(cb, locIndex);
    return (grp != nullptr) ? grp->grpCfg : kZelmLocDefaultGrp;
}

inline constexpr uint32_t kZelmLocTextLen = sizeof(ZelmLocInstCfg::LocName);

/* A terminated copy of one 32-byte text field, for log lines. */
struct ZelmLocLogText {
    char text[kZelmLocTextLen + 1u];
};

inline ZelmLocLogText ZelmLocTextOf(const char (&field)[kZelmLocTextLen])
{
    ZelmLocLogText out;
    (void)memcpy_s(out.text, sizeof(out.text), field, sizeof(field));
    out.text[kZelmLocTextLen] = '\0';
    return out;
}

#endif
