// Read-only looks into the running library's model, through its exported control blocks and sets.
// None of these calls logs, so looking never shows up in the library's log.
#ifndef ZELM_SIM_LIB_VIEW_H
#define ZELM_SIM_LIB_VIEW_H

#include <cstdint>

#include "zelm.h"

namespace zsim {

// Each returns null while the library (or that module) is not started, or when the record is absent.
const locationInst *LibLocation(uint32_t locId);
const osNodeInst *LibOsNode(uint32_t osNodeId);
const LogicLocGrp *LibGroup(uint32_t locIndex);
const ZelmCompLocation *LibCompLocation(uint32_t locIndex);
const ZelmComponent *LibComponent(uint32_t locIndex, uint32_t compInst);
// How many locations, OS nodes and component locations the library holds (0 while it is stopped).
void LibCounts(uint64_t *locations, uint64_t *osNodes, uint64_t *compLocations);
// Whether the library can build a publication of this component type now.
bool LibTypeReady(uint32_t compType);
// Whether the timer of this name is the component module's smooth timer (the location module's otherwise).
bool LibIsCompSmoothTimer(const char *name);

const char *LocStateName(uint32_t state);
const char *CompStateName(uint32_t state);

}  // namespace zsim

#endif
