/* Private to the LOCATION module: the default logic group. */
#ifndef ZELM_LOCATION_LOC_INTERNAL_H
#define ZELM_LOCATION_LOC_INTERNAL_H

#include <stdint.h>

#include "containers/zel_set_keyed.h"
#include "core/zelm_peer_fault.h"
#include "core/zelm_text.h"
#include "platform/bounds.h"
#include "zelm.h"

/* Stands in for the logic group of a location that has none. */
inline constexpr ZelmLogicLocGrpCfg kZelmLocDefaultGrp = {0u, 0xFFFFFFFFu, 0u, 0u, 0u, 0u};

/* The logic group a location's entry carries: its own, or the default one. */
inline ZelmLogicLocGrpCfg ZelmLocGroupOf(locationCb *cb, uint32_t locIndex)
{
    const LogicLocGrp *grp = ZelmTryFindLogicGrpInst(cb, locIndex);
    return (grp != nullptr) ? grp->grpCfg : kZelmLocDefaultGrp;
}

#endif
