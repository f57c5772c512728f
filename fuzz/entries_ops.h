// Decoding one operation of a fuzz input and running it as an entry into the library.
#ifndef ZELM_FUZZ_ENTRIES_OPS_H
#define ZELM_FUZZ_ENTRIES_OPS_H

#include <fuzzer/FuzzedDataProvider.h>

#include "entries_world.h"

namespace zf {

// Reads one operation (format in entries_format.h) and runs it, with the stand-in's loop steps it causes.
void RunOneOp(World &w, FuzzedDataProvider &in);

// When set (ZELM_FUZZ_TRACE=1), each decoded operation is printed to stderr.
extern bool g_trace;

}  // namespace zf

#endif
