// The configuration as the simulator keeps it: what every atom applied, by the library's own filter rules.
#ifndef ZELM_SIM_CONFIG_MODEL_H
#define ZELM_SIM_CONFIG_MODEL_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chunk_map.h"
#include "scenario/scenario.h"

namespace zsim {

struct AtomEffect {
    // Unchanged: stored again as it was.
    enum Kind { Stored, Unchanged, Deleted, Absent, Ignored } kind = Stored;
    std::string reason;  // for Ignored: why the library passes the atom over
};

using CompKey = std::pair<uint32_t, uint32_t>;  // (locIndex, compInst)

// Independent of the library: built only from the atoms the scenario sends. It keeps where each stored record
// lies, in the scenario's atoms, not a copy: the scenario outlives every run of it.
class ConfigModel {
public:
    AtomEffect Apply(AtomRef atom);

    // What the library publishes for a component type: the stored record, a record of zeros for the two
    // types that need none (3 and 207), or nothing while the type is missing.
    std::optional<ZelmCompNodeCfg> TypeFor(uint32_t compType) const;
    // A location's logic group, or the default group when it has none.
    ZelmLogicLocGrpCfg GroupFor(uint32_t locIndex) const;
    // Whether any component is configured at this location index.
    bool HasComponentsAt(uint32_t locIndex) const;
    // The whole configuration as add atoms, types and groups before locations and components, in messages
    // of at most `perMessage` atoms.
    std::vector<AtomList> ReplayMessages(size_t perMessage) const;

    zelm::ChunkMap<uint32_t, const ZelmLocInstCfg *> locations;
    std::map<uint32_t, const ZelmLogicLocGrpCfg *> groups;
    zelm::ChunkMap<CompKey, const ZelmCompInstCfg *> components;
    std::map<uint32_t, const ZelmCompNodeCfg *> compNodes;
};

// Whether a location's image name marks a service image (".service" within the 32-byte field).
bool IsServiceImage(const char (&imageName)[32]);
// A text field as a string, never past the field's end.
template <size_t N>
std::string FieldText(const char (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n] != '\0') {
        ++n;
    }
    return std::string(field, n);
}

}  // namespace zsim

#endif
