// Configuration intake: atoms per second for component adds, component-type updates and location adds.
//
// The library holds N records of the kind being fed (N = 10^3, 10^4, 10^5);
// each pass delivers one table message of 100 atoms, built beforehand, and is
// timed, then (not timed) takes the added records out again, so N stays put. Locations and
// component locations have no link: what is timed is the intake and the
// keeping, with the publication skipped as the library skips it. With the
// counting sink the log events are counted and not formatted (the library's
// own cost); with the text sink every line is formatted and written to
// /dev/null (end to end).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench_host.h"

namespace {

using namespace zelm_bench;

constexpr size_t kBatch = 100;          // atoms per timed message
constexpr uint32_t kPerLocation = 100;  // components per location
constexpr uint32_t kCompType = 1000;    // a type with no compNode record: not 3 nor 207
constexpr uint32_t kOsInst = 0x010203;  // an OS node that never links

void SetItems(benchmark::State &state)
{
    state.counters["items"] = static_cast<double>(kBatch);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBatch));
}

// N components at N / 100 locations; each pass adds 100 more, one per location round robin.
void ComponentAdd(benchmark::State &state, Sink sink, uint32_t n)
{
    if (!StartLibrary(state, sink)) {
        return;
    }
    const uint32_t locations = n / kPerLocation;
    std::vector<ZelmCompInstCfg> stored;
    for (uint32_t i = 0; i < n; ++i) {
        stored.push_back(ComponentRecord(i % locations, i, kCompType));
    }
    size_t refused = DeliverRecords(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, stored);
    std::vector<ZelmCompInstCfg> batch;
    for (uint32_t j = 0; j < kBatch; ++j) {
        batch.push_back(ComponentRecord(j % locations, n + j, kCompType));
    }
    ClearRecorders();
    for (auto _ : state) {
        state.PauseTiming();
        STANDIN_Msg *msg = BuildMessage(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, batch);
        state.ResumeTiming();
        refused += DeliverMessage(msg);
        state.PauseTiming();
        refused += DeliverRecords(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_DEL, batch, kBatch);
        ClearRecorders();
        state.ResumeTiming();
    }
    if (refused != 0) {
        state.SkipWithError("the library refused component atoms");
    }
    StopLibrary();
    SetItems(state);
}

// N stored component types; each pass updates 100 of them (a different 100 each time).
// No component is configured, so an update stores and walks an empty location tree.
void ComponentTypeUpdate(benchmark::State &state, Sink sink, uint32_t n)
{
    if (!StartLibrary(state, sink)) {
        return;
    }
    std::vector<ZelmCompNodeCfg> stored;
    for (uint32_t i = 0; i < n; ++i) {
        stored.push_back(CompNodeRecord(kCompType + i));
    }
    size_t refused = DeliverRecords(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, stored);
    ClearRecorders();
    uint32_t next = 0;
    std::vector<ZelmCompNodeCfg> batch(kBatch);
    for (auto _ : state) {
        state.PauseTiming();
        for (ZelmCompNodeCfg &rec : batch) {
            rec = stored[next];
            next = (next + 1) % n;
        }
        ClearRecorders();
        STANDIN_Msg *msg = BuildMessage(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_MOD, batch);
        state.ResumeTiming();
        refused += DeliverMessage(msg);
    }
    if (refused != 0) {
        state.SkipWithError("the library refused component type atoms");
    }
    StopLibrary();
    SetItems(state);
}

// N components of one type at N / 100 linked locations, and one component of another
// type; each pass updates that other type 100 times. An update walks every
// location and every component there to find the components of its type.
void ComponentTypeUpdateAmongComponents(benchmark::State &state, Sink sink, uint32_t n)
{
    if (!StartLibrary(state, sink)) {
        return;
    }
    constexpr uint32_t kOtherType = kCompType + 1;  // configured, with one component
    const uint32_t locations = n / kPerLocation;
    const uint32_t osNodeId = STANDIN_KormAddOsNode(1, 5, 0, 1);
    for (uint32_t loc = 0; loc < locations; ++loc) {
        AnnounceLocation(osNodeId, loc);  // empty yet: nothing to smooth
    }
    // kCompType has no compNode record: its components are stored and not published.
    std::vector<ZelmCompInstCfg> stored;
    for (uint32_t i = 0; i < n; ++i) {
        stored.push_back(ComponentRecord(i % locations, i, kCompType));
    }
    stored.push_back(ComponentRecord(locations / 2, n, kOtherType));
    size_t refused = DeliverRecords(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, stored);
    (void)STANDIN_RunFor(1);
    ClearRecorders();
    const std::vector<ZelmCompNodeCfg> batch(kBatch, CompNodeRecord(kOtherType));
    for (auto _ : state) {
        state.PauseTiming();
        STANDIN_Msg *msg = BuildMessage(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_MOD, batch);
        state.ResumeTiming();
        refused += DeliverMessage(msg);
        state.PauseTiming();
        (void)STANDIN_RunFor(1);  // the 100 single-component publications complete
        ClearRecorders();
        state.ResumeTiming();
    }
    if (refused != 0) {
        state.SkipWithError("the library refused component type atoms");
    }
    StopLibrary();
    SetItems(state);
}

// N locations on an OS node without link; each pass adds 100 more.
void LocationAdd(benchmark::State &state, Sink sink, uint32_t n)
{
    if (!StartLibrary(state, sink)) {
        return;
    }
    std::vector<ZelmLocInstCfg> stored;
    for (uint32_t i = 0; i < n; ++i) {
        stored.push_back(LocationRecord(i, kOsInst));
    }
    size_t refused = DeliverRecords(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, stored);
    std::vector<ZelmLocInstCfg> batch;
    for (uint32_t j = 0; j < kBatch; ++j) {
        batch.push_back(LocationRecord(n + j, kOsInst));
    }
    ClearRecorders();
    for (auto _ : state) {
        state.PauseTiming();
        STANDIN_Msg *msg = BuildMessage(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, batch);
        state.ResumeTiming();
        refused += DeliverMessage(msg);
        state.PauseTiming();
        refused += DeliverRecords(ZELM_CLASS_LOCATION, ZELM_CFG_OP_DEL, batch, kBatch);
        ClearRecorders();
        state.ResumeTiming();
    }
    if (refused != 0) {
        state.SkipWithError("the library refused location atoms");
    }
    StopLibrary();
    SetItems(state);
}

using Fn = void (*)(benchmark::State &, Sink, uint32_t);

const int kRegistered = [] {
    const std::pair<const char *, Fn> ops[] = {{"component_add", ComponentAdd},
                                               {"component_type_update", ComponentTypeUpdate},
                                               {"component_type_update_among_components",
                                                ComponentTypeUpdateAmongComponents},
                                               {"location_add", LocationAdd}};
    for (const auto &[op, fn] : ops) {
        for (Sink sink : {Sink::Count, Sink::Text}) {
            for (uint32_t n : {1000u, 10000u, 100000u}) {
                const std::string name = std::string("intake/") + op + "/" + SinkName(sink) + "/" + std::to_string(n);
                const Fn run = fn;
                benchmark::RegisterBenchmark(name.c_str(), [run, sink, n](benchmark::State &s) {
                    run(s, sink, n);
                })->Unit(benchmark::kMicrosecond);
            }
        }
    }
    return 0;
}();

}  // namespace
