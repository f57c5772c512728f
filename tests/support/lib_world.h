// The world a history runs in: the library on a reset stand-in with a declared cluster, checked against the model.
#ifndef ZELM_TESTS_SUPPORT_LIB_WORLD_H
#define ZELM_TESTS_SUPPORT_LIB_WORLD_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/lib_model.h"

namespace zt {

// What a stop left behind, "" when nothing: host blocks and text copies beyond the given counts,
// timers, timer attribute sets, replies, pending calls, status subscriptions.
std::string LeftBehind(size_t hostBlocksBefore, size_t textCopiesBefore);

// The stand-in's failure points a history may arm: every one but memcpy_s and memset_s. The library
// fills with memset_s without looking at the result, and a refused memcpy_s is the platform's answer
// to arguments the library never passes; refusing one anyway makes ZEL_SET_Insert drop a comp
// location entry without its fini hook, as the set's contract says, and with it the component set
// its init hook made.
std::vector<std::string> InjectablePoints();

struct NodeDecl {
    uint32_t chassis;
    uint32_t slot;
    uint32_t cpu;
    bool agent;
};

class World {
public:
    // Resets the stand-in, declares the nodes (to the model too, when there is one), runs
    // `beforeStart` (which may arm a failure the start itself is to meet, or set up the host
    // allocator) and starts the library. False when the library did not start.
    bool Begin(LibModel &model, const std::vector<NodeDecl> &nodes, const std::function<void()> &beforeStart = {});
    bool Begin(const std::vector<NodeDecl> &nodes, const std::function<void()> &beforeStart);
    // "" when the library is where the model says: every request made as the model made it (in
    // each module's order), its records, flags, timers and link registry, what the agents hold, the
    // calls pending, and exactly the host blocks and text copies that the records and the pending
    // requests account for.
    std::string Mismatch(const LibModel &model) const;
    // Stops the library as a host must, armed failures cleared and pending calls failed first;
    // what it left behind.
    std::string End() const;

private:
    bool Start(LibModel *model, const std::vector<NodeDecl> &nodes, const std::function<void()> &beforeStart);

    size_t hostAtStart_ = 0;
    size_t textsAtStart_ = 0;
    size_t baseBlocks_ = 0;  // the started library's own blocks, with nothing stored
};

}  // namespace zt

#endif
