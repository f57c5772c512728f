// A model of what the library must hold after each entry: configured records and announced links.
//
// The model follows the configuration atoms and location-status reports the
// fuzz target delivers, by the rules of the handlers (service-image filter,
// cfgStatus gate, compClass 0 ignored, deletes that withdraw a location's
// components, index changes that forget a location's components). After each
// operation the library's trees must hold exactly the model's records. The
// model gives up for the rest of an input once a failure was injected or a
// start did not complete, since the library may then legitimately keep less.
#ifndef ZELM_FUZZ_ENTRIES_MODEL_H
#define ZELM_FUZZ_ENTRIES_MODEL_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "zelm.h"

namespace zf {

struct Model {
    bool valid = false;
    std::map<uint32_t, ZelmLocInstCfg> locs;            // by LocId
    std::map<uint32_t, ZelmLogicLocGrpCfg> grps;        // by locIndex
    std::map<uint32_t, ZelmCompNodeCfg> types;          // by compType
    std::map<std::pair<uint32_t, uint32_t>, ZelmCompInstCfg> comps;  // by (locIndex, compInst)
    std::map<std::pair<uint32_t, std::string>, uint32_t> links;      // (OS node, service) -> announced index
    std::map<uint32_t, uintptr_t> osNodes;   // OS nodes whose link is up -> their agent's handle (0: none)
    std::map<uint32_t, uintptr_t> channels;  // location index -> the channel its link announced
};

// Starts from an empty library: valid when the library is fully started, else given up.
void ModelRestart(Model &m);
// One atom as the library dispatched it (record padded or cut to its class's length).
// `states` holds each location's publishState before the message, for the deletes.
void ModelAtom(Model &m, uint32_t classId, uint16_t opCode, const std::vector<uint8_t> &record,
               std::map<uint32_t, uint32_t> &states);
// The publishState of every stored location, taken before a message is delivered.
std::map<uint32_t, uint32_t> ModelLocationStates();
// One OS-node link report as the node-status service delivered it.
void ModelOsNodeLink(Model &m, uint32_t osNodeId, bool up);
// One location-status report as the node-status service delivered it.
void ModelLocationStatus(Model &m, uint32_t osNodeId, const std::string &name, uint32_t locIndex, bool available);
// Traps unless the library holds exactly what the model holds.
void ModelCheck(const Model &m);

}  // namespace zf

#endif
