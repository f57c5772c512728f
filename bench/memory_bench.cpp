// Memory: host bytes the library holds per location, per component and per component type.
//
// Each series starts the library, stores N records of one kind from
// configuration and reads the growth of the host allocator's live bytes and
// blocks (what the library asked for), and of glibc's heap in use (what that
// cost, headers and rounding included: the stand-in's host allocator puts a
// 16-byte header in front of every block, glibc its own). Each is divided by N
// and set against the record's own size. Components are stored 100 to a
// location, and also one to a location, where the location's own record and
// its component tree count fully against the one component.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_host.h"

namespace {

using namespace zelm_bench;

constexpr uint32_t kCompType = 1000;
constexpr uint32_t kOsInst = 0x010203;     // an OS node that never links
constexpr double kHostHeaderBytes = 16.0;  // the stand-in's header in front of each host block

struct Footprint {
    size_t hostBytes;
    size_t hostBlocks;
    size_t heapBytes;
};

Footprint Now()
{
    const struct mallinfo2 info = mallinfo2();
    return Footprint{STANDIN_HostLiveBytes(), STANDIN_HostLiveBlocks(), info.uordblks};
}

// Stores records through `store` and reports what they cost per record.
template <typename Store>
void Measure(benchmark::State &state, uint32_t n, double recordBytes, Store store)
{
    for (auto _ : state) {
        if (!StartLibrary(state, Sink::Count)) {
            return;
        }
        ClearRecorders();
        const Footprint before = Now();
        const size_t refused = store();
        ClearRecorders();
        const Footprint after = Now();
        StopLibrary();
        if (refused != 0) {
            state.SkipWithError("the library refused records");
            return;
        }
        const double perHost = static_cast<double>(after.hostBytes - before.hostBytes) / n;
        const double perBlocks = static_cast<double>(after.hostBlocks - before.hostBlocks) / n;
        const double perHeap = static_cast<double>(after.heapBytes - before.heapBytes) / n;
        state.counters["record_bytes"] = recordBytes;
        state.counters["host_bytes"] = perHost;
        state.counters["host_blocks"] = perBlocks;
        state.counters["host_ratio"] = perHost / recordBytes;
        state.counters["heap_bytes"] = perHeap;
        // The mark: 1.5 times the record, plus the host allocator's header for each block.
        state.counters["limit_bytes"] = 1.5 * recordBytes + kHostHeaderBytes * perBlocks;
        state.counters["with_header"] = perHost + kHostHeaderBytes * perBlocks;
    }
}

void Components(benchmark::State &state, uint32_t n, uint32_t perLocation)
{
    Measure(state, n, sizeof(ZelmComponent), [&] {
        std::vector<ZelmCompInstCfg> records;
        for (uint32_t i = 0; i < n; ++i) {
            records.push_back(ComponentRecord(i / perLocation, i, kCompType));
        }
        return DeliverRecords(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, records);
    });
}

void Locations(benchmark::State &state, uint32_t n)
{
    Measure(state, n, sizeof(locationInst), [&] {
        std::vector<ZelmLocInstCfg> records;
        for (uint32_t i = 0; i < n; ++i) {
            records.push_back(LocationRecord(i, kOsInst));
        }
        return DeliverRecords(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, records);
    });
}

void ComponentTypes(benchmark::State &state, uint32_t n)
{
    Measure(state, n, sizeof(ZelmCompNode), [&] {
        std::vector<ZelmCompNodeCfg> records;
        for (uint32_t i = 0; i < n; ++i) {
            records.push_back(CompNodeRecord(kCompType + i));
        }
        return DeliverRecords(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, records);
    });
}

const int kRegistered = [] {
    auto add = [](const std::string &name, auto fn) {
        benchmark::RegisterBenchmark(name.c_str(), fn)->Iterations(1)->Unit(benchmark::kMillisecond);
    };
    for (uint32_t n : {1000u, 10000u, 100000u}) {
        const std::string size = std::to_string(n);
        add(std::string("memory/component/100_per_location/") + size,
            [n](benchmark::State &s) { Components(s, n, 100); });
        add(std::string("memory/component/1_per_location/") + size, [n](benchmark::State &s) { Components(s, n, 1); });
        add(std::string("memory/location/host/") + size, [n](benchmark::State &s) { Locations(s, n); });
        add(std::string("memory/component_type/host/") + size, [n](benchmark::State &s) { ComponentTypes(s, n); });
    }
    return 0;
}();

}  // namespace
