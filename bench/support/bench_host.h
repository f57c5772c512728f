// The library benchmarks' host: starts libzelm on a reset stand-in and feeds it configuration and reports.
#ifndef ZELM_BENCH_HOST_H
#define ZELM_BENCH_HOST_H

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "zelm.h"
#include "zelm_standin.h"

namespace zelm_bench {

// How log events are taken: counted only (the library's own cost) or written as text to /dev/null.
enum class Sink { Count, Text };
const char *SinkName(Sink sink);

// Resets the stand-in, selects the sink and starts the library with the counting host allocator.
// False (and the benchmark marked failed) when the library does not start.
bool StartLibrary(benchmark::State &state, Sink sink);
// Completes pending calls with failure, stops the library and resets the stand-in.
void StopLibrary();
// Forgets what the stand-in recorded (replies, RPC calls, timer events, log events):
// a long run would otherwise keep it all.
void ClearRecorders();

// Configuration records with the fields the benchmarks need; the rest zero.
ZelmLocInstCfg LocationRecord(uint32_t locId, uint32_t osInst);
ZelmCompInstCfg ComponentRecord(uint32_t locIndex, uint32_t compInst, uint32_t compType);
ZelmCompNodeCfg CompNodeRecord(uint32_t compType);

// One table message holding `count` records as atoms of one class and operation code.
STANDIN_Msg *BuildMessage(uint32_t classId, uint16_t opCode, const void *records, size_t recordSize, size_t count);
template <typename Rec>
STANDIN_Msg *BuildMessage(uint32_t classId, uint16_t opCode, const std::vector<Rec> &records)
{
    return BuildMessage(classId, opCode, records.data(), sizeof(Rec), records.size());
}
// Delivers a message at once (the stand-in releases it); returns the number of atoms the handlers refused.
size_t DeliverMessage(STANDIN_Msg *msg);

// Builds and delivers the records as messages of at most `perMessage` atoms; returns the atoms refused.
template <typename Rec>
size_t DeliverRecords(uint32_t classId, uint16_t opCode, const std::vector<Rec> &records, size_t perMessage = 100)
{
    size_t refused = 0;
    for (size_t first = 0; first < records.size(); first += perMessage) {
        const size_t count = std::min(perMessage, records.size() - first);
        refused += DeliverMessage(BuildMessage(classId, opCode, records.data() + first, sizeof(Rec), count));
    }
    return refused;
}

// Announces location `locIndex` as available on `osNodeId` (service "svc<locIndex>") and runs the report.
void AnnounceLocation(uint32_t osNodeId, uint32_t locIndex);

// The component module's and the location module's control blocks.
ZelmCompCb *CompCb();
locationCb *LocationCb();

}  // namespace zelm_bench

#endif
