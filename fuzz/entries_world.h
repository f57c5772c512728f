// The world one fuzz input runs in: a reset stand-in, a small cluster, the library, and the checks.
#ifndef ZELM_FUZZ_ENTRIES_WORLD_H
#define ZELM_FUZZ_ENTRIES_WORLD_H

#include <cstddef>
#include <cstdint>

#include "entries_format.h"
#include "entries_model.h"

namespace zf {

struct World {
    uint32_t nodes[kMaxNodes] = {};
    uint32_t nodeNum = 0;
    // Set once timer start or stop was made to fail: flags may then stand without a running timer.
    bool timerCallsInjected = false;
    // Set once any failure was injected: atoms may then fail and replies be cut short or missing.
    bool injected = false;
    // RPC calls already checked (the recorder's index).
    size_t callsChecked = 0;
    // What the library must hold; given up once a failure was injected.
    Model model;
};

// Resets the stand-in, declares the cluster and starts the library.
void WorldBegin(World &w);
// Clears injected failures, fails pending calls, stops the library and checks that nothing is left.
void WorldEnd(World &w);
// Stops the library as a host must: pending calls are failed first. Checks that it left nothing behind.
void WorldStop(uint32_t errNo);
// Starts the library with the counting host allocator (or reports "init again" when started);
// a library that was stopped starts from an empty model.
void WorldStart(World &w);
// Checks what must hold between any two entries, and every RPC request issued since the last check.
void WorldCheck(World &w);
// Checks the reply to one configuration message whose atoms carried these operation codes and sequences.
struct AtomTag {
    uint16_t opCode;
    uint16_t seq;
};
void CheckReply(const World &w, uint32_t routeClass, const AtomTag *atoms, size_t atomNum, size_t repliesBefore);

// Ends the run with a crash that libFuzzer records, naming the broken rule on stderr.
[[noreturn]] void Broken(const char *rule);

}  // namespace zf

#endif
