// Smoothing and completions: whole-peer republication, and completions against many flagged peers.
//
// smooth/*: an OS node hosting N locations links up, or a location holding N
// components is announced; the library republishes all of them in one request
// (timed: the report up to the issued call), and the completion updates each
// entry (timed separately). Costs are per entry; they include the stand-in's
// node agent, which decodes and keeps every entry of every call: the
// standin_share series time that part alone, with requests of the same size
// built beforehand, so that e2e minus standin_share is the library's part.
// node_linkup_10_locations: N locations, 10 to an OS node; the cost of one
// node's link-up, which should not depend on the locations of other nodes.
//
// completion/*: F peers (component locations, or OS nodes) hold a failed
// publication each and are flagged; 10^4 single-entry requests then complete
// with success. Each successful completion clears its peer's flag and decides
// whether the smooth timer may stop; these series show whether that decision
// costs more when more peers are flagged. The direct series time that
// fault-solved step alone.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "bench_host.h"

namespace {

using namespace zelm_bench;

constexpr uint32_t kCompType = 1000;     // configured below, so components are published
constexpr uint32_t kSmoothLocIndex = 7;  // the location that holds the N components
constexpr size_t kRequests = 10000;      // completions per pass in the completion series
constexpr size_t kDirectCalls = 1000;    // fault-solved calls per pass in the direct series

void SetItems(benchmark::State &state, size_t items)
{
    state.counters["items"] = static_cast<double>(items);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(items));
}

// Completes every pending call (agents answer after 1 ms).
void CompleteAll()
{
    (void)STANDIN_RunFor(1);
}

void SetAgentResult(QOF_ConnHandle handle, uint32_t result)
{
    STANDIN_AgentScript script{};
    (void)STANDIN_AgentGetScript(handle, &script);
    script.result = result;
    (void)STANDIN_AgentSetScript(handle, &script);
}

// ---- an OS node of N locations links up --------------------------------------------------

void NodeSmoothing(benchmark::State &state, uint32_t n, bool timeCompletion)
{
    if (!StartLibrary(state, Sink::Count)) {
        return;
    }
    const uint32_t osNodeId = STANDIN_KormAddOsNode(1, 1, 0, 1);
    std::vector<ZelmLocInstCfg> locations;
    for (uint32_t i = 0; i < n; ++i) {
        locations.push_back(LocationRecord(i, osNodeId));
    }
    size_t refused = DeliverRecords(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, locations);
    ClearRecorders();
    size_t sent = 0;
    for (auto _ : state) {
        if (timeCompletion) {
            state.PauseTiming();
        }
        (void)STANDIN_KormRaiseOsNodeLink(osNodeId, 1);
        (void)STANDIN_RunDue();
        if (timeCompletion) {
            state.ResumeTiming();
        } else {
            state.PauseTiming();
        }
        sent += STANDIN_RpcPendingCount();
        CompleteAll();
        if (!timeCompletion) {
            state.ResumeTiming();
        }
        state.PauseTiming();
        (void)STANDIN_KormRaiseOsNodeLink(osNodeId, 0);
        (void)STANDIN_RunDue();
        ClearRecorders();
        state.ResumeTiming();
    }
    if (refused != 0 || sent != static_cast<size_t>(state.iterations())) {
        state.SkipWithError("the node was not smoothed in one request per link-up");
    }
    StopLibrary();
    SetItems(state, n);
}

// ---- many OS nodes of few locations each link up --------------------------------------------------

// N locations, 10 to an OS node; each pass links up 100 of the nodes (timed) and takes
// them down again. A link-up smooths one node of 10 locations.
constexpr uint32_t kLocationsPerNode = 10;
constexpr uint32_t kLinkUps = 100;

void ManyNodesLinkUp(benchmark::State &state, uint32_t n)
{
    if (!StartLibrary(state, Sink::Count)) {
        return;
    }
    std::vector<uint32_t> nodes;
    std::vector<ZelmLocInstCfg> locations;
    for (uint32_t i = 0; i < n; ++i) {
        if (i % kLocationsPerNode == 0) {
            const uint32_t node = i / kLocationsPerNode;
            nodes.push_back(STANDIN_KormAddOsNode(node / 256, node % 256, 2, 1));
        }
        locations.push_back(LocationRecord(i, nodes.back()));
    }
    size_t refused = DeliverRecords(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, locations);
    ClearRecorders();
    size_t sent = 0;
    size_t first = 0;
    for (auto _ : state) {
        for (uint32_t k = 0; k < kLinkUps; ++k) {
            (void)STANDIN_KormRaiseOsNodeLink(nodes[(first + k) % nodes.size()], 1);
        }
        (void)STANDIN_RunDue();
        state.PauseTiming();
        sent += STANDIN_RpcPendingCount();
        CompleteAll();
        for (uint32_t k = 0; k < kLinkUps; ++k) {
            (void)STANDIN_KormRaiseOsNodeLink(nodes[(first + k) % nodes.size()], 0);
        }
        (void)STANDIN_RunDue();
        first += kLinkUps;
        ClearRecorders();
        state.ResumeTiming();
    }
    if (refused != 0 || sent != kLinkUps * static_cast<size_t>(state.iterations())) {
        state.SkipWithError("a link-up did not smooth its node");
    }
    StopLibrary();
    SetItems(state, kLinkUps);
}

// ---- a location of N components is announced ------------------------------------------------

void LocationSmoothing(benchmark::State &state, uint32_t n, bool timeCompletion)
{
    if (!StartLibrary(state, Sink::Count)) {
        return;
    }
    const uint32_t osNodeId = STANDIN_KormAddOsNode(1, 2, 0, 1);
    size_t refused = DeliverRecords(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, std::vector{CompNodeRecord(kCompType)});
    std::vector<ZelmCompInstCfg> components;
    for (uint32_t i = 0; i < n; ++i) {
        components.push_back(ComponentRecord(kSmoothLocIndex, i, kCompType));
    }
    refused += DeliverRecords(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, components);
    ClearRecorders();
    size_t sent = 0;
    for (auto _ : state) {
        if (timeCompletion) {
            state.PauseTiming();
        }
        // Every announcement of the location smooths it again.
        AnnounceLocation(osNodeId, kSmoothLocIndex);
        if (timeCompletion) {
            state.ResumeTiming();
        } else {
            state.PauseTiming();
        }
        sent += STANDIN_RpcPendingCount();
        CompleteAll();
        if (!timeCompletion) {
            state.ResumeTiming();
        }
        state.PauseTiming();
        ClearRecorders();
        state.ResumeTiming();
    }
    if (refused != 0 || sent != static_cast<size_t>(state.iterations())) {
        state.SkipWithError("the location was not smoothed in one request per announcement");
    }
    StopLibrary();
    SetItems(state, n);
}

// ---- the stand-in's own share of a smoothing ---------------------------------------------------

// A request of N entries, built as the library builds it, handed straight to
// the RPC service and completed: what the stand-in's node agent costs in the
// series above (it decodes and keeps every entry), without the library.
void FreeLocRequest(QOF_RpcResult, void *inMsg, void *, void *)
{
    ZelmLocInstDeepFreePublishReqMsg(static_cast<ZelLocPublishReqMsg *>(inMsg));
}

void FreeCompRequest(QOF_RpcResult, void *inMsg, void *, void *)
{
    ZelmCompDeepFreePublishReqMsg(static_cast<ZelCompPublishReqMsg *>(inMsg));
}

void StandinShare(benchmark::State &state, uint32_t n, bool components, bool timeCompletion)
{
    if (!StartLibrary(state, Sink::Count)) {
        return;
    }
    const QOF_ConnHandle agent = STANDIN_KormServerHandle(STANDIN_KormAddOsNode(1, 4, 0, 1));
    const ZelmCompNodeCfg compNode = CompNodeRecord(kCompType);
    size_t sent = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ZelLocPublishReqMsg locReq{ZELM_LOC_OP_SMOOTH, n, nullptr};
        ZelCompPublishReqMsg compReq{kSmoothLocIndex, ZELM_COMP_OP_SMOOTH, n, 0, nullptr};
        bool built = true;
        if (components) {
            compReq.compList = static_cast<ZelComponentMsg *>(ZELM_Malloc(n * sizeof(ZelComponentMsg)));
            std::memset(compReq.compList, 0, n * sizeof(ZelComponentMsg));
            for (uint32_t i = 0; i < n; ++i) {
                const ZelmCompInstCfg cfg = ComponentRecord(kSmoothLocIndex, i, kCompType);
                built = built && ZelmSetZelComponentMsg(&cfg, &compNode, &compReq.compList[i]) == 0;
            }
        } else {
            locReq.locationList = static_cast<ZelLocationMsg *>(ZELM_Malloc(n * sizeof(ZelLocationMsg)));
            std::memset(locReq.locationList, 0, n * sizeof(ZelLocationMsg));
            for (uint32_t i = 0; i < n; ++i) {
                const ZelmLocInstCfg cfg = LocationRecord(i, 0x010400);
                built = built && ZelmSetZelLocationInstMsg(&cfg, &locReq.locationList[i]) == 0;
            }
        }
        const QOF_RpcCbPair pair{components ? FreeCompRequest : FreeLocRequest, nullptr};
        if (!timeCompletion) {
            state.ResumeTiming();
        }
        const uint32_t status = components
                                    ? QOF_ConnRpcCall(agent, "KorbCompSubscribe", &compReq, sizeof(compReq), &pair, 0)
                                    : QOF_ConnRpcCall(agent, "KorbLocSubscribe", &locReq, sizeof(locReq), &pair, 0);
        // Exactly one of the call and its completion is timed.
        if (timeCompletion) {
            state.ResumeTiming();
            CompleteAll();
            state.PauseTiming();
        } else {
            state.PauseTiming();
            CompleteAll();
        }
        sent += built && status == 0;
        ClearRecorders();
        state.ResumeTiming();
    }
    if (sent != static_cast<size_t>(state.iterations())) {
        state.SkipWithError("the stand-in refused a request");
    }
    StopLibrary();
    SetItems(state, n);
}

// ---- completions against F flagged component locations -------------------------------------------

// Flags every component location again, through the library's own fault access, as failed
// publications leave them.
void FlagAllCompLocations()
{
    ZelmCompCb *cb = CompCb();
    AXO_AVL3_TREE *tree = ZEL_AVL_GetTree(cb->locationTree);
    for (void *p = AXO_AVL3_First(tree, &cb->locationTree->treeInfo); p != nullptr;
         p = AXO_AVL3_Next(&static_cast<ZelmCompLocation *>(p)->node, &cb->locationTree->treeInfo)) {
        ZelmCompPublishFaultAccess(cb, static_cast<ZelmCompLocation *>(p));
    }
}

// F linked component locations with one component each, all flagged by failed completions.
// Returns the agent's handle, or 0 when the world could not be built.
QOF_ConnHandle BuildFlaggedCompLocations(uint32_t f)
{
    const uint32_t osNodeId = STANDIN_KormAddOsNode(1, 3, 0, 1);
    const QOF_ConnHandle agent = STANDIN_KormServerHandle(osNodeId);
    size_t refused = DeliverRecords(ZELM_CLASS_COMP_NODE, ZELM_CFG_OP_ADD, std::vector{CompNodeRecord(kCompType)});
    std::vector<ZelmCompInstCfg> components;
    for (uint32_t i = 0; i < f; ++i) {
        components.push_back(ComponentRecord(i, 0, kCompType));
    }
    refused += DeliverRecords(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, components);
    SetAgentResult(agent, 1);
    for (uint32_t i = 0; i < f; ++i) {
        AnnounceLocation(osNodeId, i);
    }
    CompleteAll();
    SetAgentResult(agent, 0);
    size_t flagged = 0;
    ZelmCompCb *cb = CompCb();
    AXO_AVL3_TREE *tree = ZEL_AVL_GetTree(cb->locationTree);
    for (void *p = AXO_AVL3_First(tree, &cb->locationTree->treeInfo); p != nullptr;
         p = AXO_AVL3_Next(&static_cast<ZelmCompLocation *>(p)->node, &cb->locationTree->treeInfo)) {
        flagged += static_cast<ZelmCompLocation *>(p)->publishFault != 0;
    }
    ClearRecorders();
    return (refused == 0 && flagged == f) ? agent : 0;
}

// Starts the library with F flagged component locations; false, with the benchmark skipped and the
// library stopped, when they cannot be built.
bool StartWithFlaggedCompLocations(benchmark::State &state, uint32_t f)
{
    if (!StartLibrary(state, Sink::Count)) {
        return false;
    }
    if (BuildFlaggedCompLocations(f) == 0) {
        state.SkipWithError("the flagged locations could not be built");
        StopLibrary();
        return false;
    }
    return true;
}

// Times the completions of one request per update, every pass against peers that `flagAll` has
// just flagged, and stops the library.
template <typename Record>
void TimeCompletions(benchmark::State &state, uint32_t classId, const std::vector<Record> &updates, void (*flagAll)())
{
    size_t refused = 0;
    size_t completed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        flagAll();
        refused += DeliverRecords(classId, ZELM_CFG_OP_MOD, updates);  // one request each
        const size_t pending = STANDIN_RpcPendingCount();
        state.ResumeTiming();
        CompleteAll();
        state.PauseTiming();
        completed += pending - STANDIN_RpcPendingCount();
        ClearRecorders();
        state.ResumeTiming();
    }
    if (refused != 0 || completed != updates.size() * static_cast<size_t>(state.iterations())) {
        state.SkipWithError("not every request was sent and completed");
    }
    StopLibrary();
    SetItems(state, updates.size());
}

void CompCompletions(benchmark::State &state, uint32_t f)
{
    if (!StartWithFlaggedCompLocations(state, f)) {
        return;
    }
    std::vector<ZelmCompInstCfg> updates;
    for (size_t k = 0; k < kRequests; ++k) {
        updates.push_back(ComponentRecord(static_cast<uint32_t>(k % f), 0, kCompType));
    }
    TimeCompletions(state, ZELM_CLASS_COMPONENT, updates, FlagAllCompLocations);
}

void CompFaultSolvedDirect(benchmark::State &state, uint32_t f)
{
    if (!StartWithFlaggedCompLocations(state, f)) {
        return;
    }
    ZelmCompCb *cb = CompCb();
    std::vector<ZelmCompLocation *> locations;
    for (uint32_t i = 0; i < kDirectCalls; ++i) {
        uint32_t locIndex = i % f;
        locations.push_back(static_cast<ZelmCompLocation *>(ZEL_SET_Find(cb->locationTree, &locIndex, 4)));
    }
    for (auto _ : state) {
        for (ZelmCompLocation *location : locations) {
            ZelmCompPublishFaultSloved(cb, location);
        }
        // Only these were cleared: flag them again, and forget the timer calls recorded meanwhile.
        state.PauseTiming();
        for (ZelmCompLocation *location : locations) {
            ZelmCompPublishFaultAccess(cb, location);
        }
        ClearRecorders();
        state.ResumeTiming();
    }
    StopLibrary();
    SetItems(state, kDirectCalls);
}

// ---- completions against F flagged OS nodes ---------------------------------------------------------

void FlagAllOsNodes()
{
    locationCb *cb = LocationCb();
    AXO_AVL3_TREE *tree = ZEL_AVL_GetTree(cb->osNodeTree);
    for (void *p = AXO_AVL3_First(tree, &cb->osNodeTree->treeInfo); p != nullptr;
         p = AXO_AVL3_Next(&static_cast<osNodeInst *>(p)->node, &cb->osNodeTree->treeInfo)) {
        ZelmLocationPublishFaultAccess(cb, static_cast<osNodeInst *>(p));
    }
}

// F linked OS nodes with one location each, all flagged by failed completions. Returns the nodes' ids.
std::vector<uint32_t> BuildFlaggedOsNodes(uint32_t f)
{
    std::vector<uint32_t> nodes;
    std::vector<ZelmLocInstCfg> locations;
    for (uint32_t i = 0; i < f; ++i) {
        const uint32_t id = STANDIN_KormAddOsNode(i / 256, i % 256, 1, 1);
        nodes.push_back(id);
        locations.push_back(LocationRecord(i, id));
        SetAgentResult(STANDIN_KormServerHandle(id), 1);
    }
    size_t refused = DeliverRecords(ZELM_CLASS_LOCATION, ZELM_CFG_OP_ADD, locations);
    for (uint32_t id : nodes) {
        (void)STANDIN_KormRaiseOsNodeLink(id, 1);
    }
    (void)STANDIN_RunDue();
    CompleteAll();
    size_t flagged = 0;
    for (uint32_t id : nodes) {
        SetAgentResult(STANDIN_KormServerHandle(id), 0);
        const osNodeInst *node = ZelmLocTryFindOsNode(LocationCb(), id);
        flagged += node != nullptr && node->publishFault != 0;
    }
    ClearRecorders();
    if (refused != 0 || flagged != f) {
        nodes.clear();
    }
    return nodes;
}

void LocCompletions(benchmark::State &state, uint32_t f)
{
    if (!StartLibrary(state, Sink::Count)) {
        return;
    }
    const std::vector<uint32_t> nodes = BuildFlaggedOsNodes(f);
    if (nodes.empty()) {
        state.SkipWithError("the flagged OS nodes could not be built");
        StopLibrary();
        return;
    }
    std::vector<ZelmLocInstCfg> updates;
    for (size_t k = 0; k < kRequests; ++k) {
        const uint32_t i = static_cast<uint32_t>(k % f);
        updates.push_back(LocationRecord(i, nodes[i]));
    }
    TimeCompletions(state, ZELM_CLASS_LOCATION, updates, FlagAllOsNodes);
}

// ---- registration ----------------------------------------------------------------------------------------

const int kRegistered = [] {
    auto add = [](const std::string &name, auto fn) {
        benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMillisecond)->MinTime(1.0);
    };
    for (uint32_t n : {1000u, 10000u}) {
        const std::string size = std::to_string(n);
        add(std::string("smooth/node_linkup/e2e/") + size, [n](benchmark::State &s) { NodeSmoothing(s, n, false); });
        add(std::string("smooth/node_completion/e2e/") + size, [n](benchmark::State &s) { NodeSmoothing(s, n, true); });
        add(std::string("smooth/location_linkup/e2e/") + size,
            [n](benchmark::State &s) { LocationSmoothing(s, n, false); });
        add(std::string("smooth/location_completion/e2e/") + size,
            [n](benchmark::State &s) { LocationSmoothing(s, n, true); });
        add(std::string("smooth/node_linkup/standin_share/") + size,
            [n](benchmark::State &s) { StandinShare(s, n, false, false); });
        add(std::string("smooth/node_completion/standin_share/") + size,
            [n](benchmark::State &s) { StandinShare(s, n, false, true); });
        add(std::string("smooth/location_linkup/standin_share/") + size,
            [n](benchmark::State &s) { StandinShare(s, n, true, false); });
        add(std::string("smooth/location_completion/standin_share/") + size,
            [n](benchmark::State &s) { StandinShare(s, n, true, true); });
    }
    for (uint32_t n : {1000u, 10000u, 100000u}) {
        add(std::string("smooth/node_linkup_10_locations/e2e/") + std::to_string(n),
            [n](benchmark::State &s) { ManyNodesLinkUp(s, n); });
    }
    for (uint32_t f : {1000u, 10000u}) {
        const std::string size = std::to_string(f);
        add(std::string("completion/comp_success/e2e/") + size, [f](benchmark::State &s) { CompCompletions(s, f); });
        add(std::string("completion/comp_fault_solved/direct/") + size,
            [f](benchmark::State &s) { CompFaultSolvedDirect(s, f); });
        add(std::string("completion/loc_success/e2e/") + size, [f](benchmark::State &s) { LocCompletions(s, f); });
    }
    return 0;
}();

}  // namespace
