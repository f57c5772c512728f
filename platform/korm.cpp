// The KORM node-status service: OS nodes and their agents, status subscriptions, raised reports.
//
// A raised report is a loop step. It goes to whoever is subscribed when the
// step runs, so a subscription withdrawn in between receives nothing, also
// for reports already posted; one subscriber per kind, a new subscription
// replaces the old one. Every operation checks that it was given the
// service's own local data.
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {
namespace {

constexpr uint32_t kRefused = 0xFFFFFFFFu;

// The public part first: the library reads the handles through KORM_LocalData.
struct KormData {
    KORM_LocalData pub;
    uint64_t magic;
};

struct KorbCb {
    KORM_KorbCb pub;  // the server handle, read by the library
    uint32_t osNodeId;
};

struct OsNode {
    uint32_t position[3];  // chassis, slot, cpu
    bool hasAgent;
    KorbCb korb;
};

template <typename Fn>
struct Subscription {
    Fn callback = nullptr;
    void *userData = nullptr;
};

struct Report {
    bool isLink;
    uint32_t osNodeId;
    uint32_t position[3];
    uint32_t linkState;
    std::string serviceName;
    uint32_t locIndex;
    uint32_t available;
    StepId step;
};

struct LocStatus {
    uint32_t locIndex;
    uint32_t available;
};

KormData g_data{{0x7A0001u, 0x3E0001u}, 0x4B4F524D4C4F43ull};
std::map<uint32_t, std::unique_ptr<OsNode>> g_nodes;
Subscription<KORM_OsNodeStatusCallback> g_osSub;
Subscription<KORM_LocationStatusCallback> g_locSub;
std::set<Report *> g_reports;  // posted, not yet delivered
std::map<std::pair<uint32_t, std::string>, LocStatus> g_locStatus;

bool Ours(const KORM_LocalData *data)
{
    return data == &g_data.pub;
}

void DeliverReport(void *arg)
{
    std::unique_ptr<Report> r(static_cast<Report *>(arg));
    g_reports.erase(r.get());
    STANDIN_Entry what{};
    what.osNodeId = r->osNodeId;
    if (r->isLink) {
        if (g_osSub.callback != nullptr) {
            what.kind = STANDIN_ENTRY_OSNODE_LINK;
            what.up = r->linkState;
            const EntryScope entry(what);
            (void)g_osSub.callback(r->osNodeId, r->position, r->linkState, g_osSub.userData);
        }
        return;
    }
    g_locStatus[{r->osNodeId, r->serviceName}] = LocStatus{r->locIndex, r->available};
    if (g_locSub.callback != nullptr) {
        what.kind = STANDIN_ENTRY_LOCATION_STATUS;
        what.name = r->serviceName.c_str();
        what.up = r->available;
        what.locIndex = r->locIndex;
        const EntryScope entry(what);
        g_locSub.callback(r->osNodeId, r->serviceName.c_str(), r->locIndex, r->available, g_locSub.userData);
    }
}

void Post(std::unique_ptr<Report> r)
{
    Report *raw = r.release();
    g_reports.insert(raw);
    raw->step = LoopPostAt(ClockNow(), &DeliverReport, raw);
}

}  // namespace

void ResetKorm()
{
    for (Report *r : g_reports) {
        (void)LoopCancel(r->step);
        delete r;
    }
    g_reports.clear();
    g_nodes.clear();
    g_osSub = {};
    g_locSub = {};
    g_locStatus.clear();
}
}  // namespace standin

using standin::Ours;

extern "C" KORM_LocalData *KORM_GetLocalData(void)
{
    STANDIN_FAIL_POINT(nullptr);
    return &standin::g_data.pub;
}

extern "C" KORM_KorbCb *KORM_FindKorbCb(uint32_t osNodeId, KORM_LocalData *kormData)
{
    STANDIN_FAIL_POINT(nullptr);
    if (!Ours(kormData)) {
        return nullptr;
    }
    auto it = standin::g_nodes.find(osNodeId);
    if (it == standin::g_nodes.end() || !it->second->hasAgent) {
        return nullptr;
    }
    return &it->second->korb.pub;
}

extern "C" uint32_t KORM_SubOsNodeStatusIntf(KORM_LocalData *kormData, KORM_OsNodeStatusCallback callback,
                                             void *userData)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!Ours(kormData) || callback == nullptr) {
        return standin::kRefused;
    }
    standin::g_osSub = {callback, userData};
    return 0;
}

extern "C" uint32_t KORM_DestroySubOsNodeStatusIntf(KORM_LocalData *kormData)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!Ours(kormData)) {
        return standin::kRefused;
    }
    standin::g_osSub = {};
    return 0;
}

extern "C" uint32_t KORM_SubLocationStatus(KORM_LocalData *kormData, KORM_LocationStatusCallback callback,
                                           void *userData)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!Ours(kormData) || callback == nullptr) {
        return standin::kRefused;
    }
    standin::g_locSub = {callback, userData};
    return 0;
}

extern "C" uint32_t KORM_DestroySubLocationStatus(KORM_LocalData *kormData)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!Ours(kormData)) {
        return standin::kRefused;
    }
    standin::g_locSub = {};
    return 0;
}

// Outputs may be null; both are written only when the location's status is known.
extern "C" uint32_t KORM_GetLocationStatus(KORM_LocalData *kormData, uint32_t osNodeId, const char *serviceName,
                                           uint32_t *locIndex, uint32_t *available)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!Ours(kormData) || serviceName == nullptr) {
        return standin::kRefused;
    }
    auto it = standin::g_locStatus.find({osNodeId, serviceName});
    if (it == standin::g_locStatus.end()) {
        return standin::kRefused;
    }
    if (locIndex != nullptr) {
        *locIndex = it->second.locIndex;
    }
    if (available != nullptr) {
        *available = it->second.available;
    }
    return 0;
}

extern "C" uint32_t STANDIN_OsNodeId(uint32_t chassis, uint32_t slot, uint32_t cpu)
{
    return ((cpu << 16) + (chassis << 8) + slot) & 0xFFFFFFu;
}

// A node declared again keeps its agent (and what it holds); without an agent the handle is refused.
extern "C" uint32_t STANDIN_KormAddOsNode(uint32_t chassis, uint32_t slot, uint32_t cpu, int hasAgent)
{
    const uint32_t id = STANDIN_OsNodeId(chassis, slot, cpu);
    auto &node = standin::g_nodes[id];
    if (node == nullptr) {
        node = std::make_unique<standin::OsNode>();
        node->korb.osNodeId = id;
    }
    node->position[0] = chassis;
    node->position[1] = slot;
    node->position[2] = cpu;
    node->hasAgent = hasAgent != 0;
    if (node->hasAgent && node->korb.pub.serverHandle == 0) {
        node->korb.pub.serverHandle = standin::AgentCreate();
    }
    if (node->korb.pub.serverHandle != 0) {
        standin::AgentSetPresent(node->korb.pub.serverHandle, node->hasAgent);
    }
    return id;
}

extern "C" QOF_ConnHandle STANDIN_KormServerHandle(uint32_t osNodeId)
{
    auto it = standin::g_nodes.find(osNodeId);
    if (it == standin::g_nodes.end() || !it->second->hasAgent) {
        return 0;
    }
    return it->second->korb.pub.serverHandle;
}

extern "C" int STANDIN_KormRaiseOsNodeLink(uint32_t osNodeId, int up)
{
    auto it = standin::g_nodes.find(osNodeId);
    if (it == standin::g_nodes.end()) {
        return 1;
    }
    auto r = std::make_unique<standin::Report>();
    r->isLink = true;
    r->osNodeId = osNodeId;
    for (int i = 0; i < 3; ++i) {
        r->position[i] = it->second->position[i];
    }
    r->linkState = up != 0 ? 1u : 0u;
    standin::Post(std::move(r));
    return 0;
}

extern "C" void STANDIN_KormRaiseLocationStatus(uint32_t osNodeId, const char *serviceName, uint32_t locIndex,
                                                int available)
{
    auto r = std::make_unique<standin::Report>();
    r->isLink = false;
    r->osNodeId = osNodeId;
    r->serviceName = serviceName != nullptr ? serviceName : "";
    r->locIndex = locIndex;
    r->available = available != 0 ? 1u : 0u;
    standin::Post(std::move(r));
}

extern "C" KORM_LocalData *STANDIN_KormLocalData(void)
{
    return &standin::g_data.pub;
}

extern "C" int STANDIN_KormOsNodeSubscribed(void)
{
    return standin::g_osSub.callback != nullptr ? 1 : 0;
}

extern "C" int STANDIN_KormLocationSubscribed(void)
{
    return standin::g_locSub.callback != nullptr ? 1 : 0;
}
