// libFuzzer target: an input is a sequence of entries into a started library on the stand-in.
//
// Each input starts from a reset stand-in with a four-node cluster and a
// started library, runs its operations (entries_format.h) one at a time with
// the checks of entries_world.cpp between them, then fails the pending calls,
// stops the library and traps unless every host block, timer, reply and
// subscription is gone. Set ZELM_FUZZ_TRACE=1 to see the operations decoded.
#include <cstdlib>
#include <cstring>

#include <fuzzer/FuzzedDataProvider.h>

#include "entries_ops.h"
#include "entries_world.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    (void)argc;
    (void)argv;
    const char *trace = std::getenv("ZELM_FUZZ_TRACE");
    zf::g_trace = trace != nullptr && std::strcmp(trace, "0") != 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    zf::World world;
    zf::WorldBegin(world);
    for (uint32_t op = 0; op < zf::kMaxOps && in.remaining_bytes() > 0; ++op) {
        zf::RunOneOp(world, in);
        zf::WorldCheck(world);
    }
    zf::WorldEnd(world);
    return 0;
}
