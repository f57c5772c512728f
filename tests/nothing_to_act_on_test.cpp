// Every operation given nothing to act on (a null argument, an empty request, a block whose sets do not exist yet).
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "support/zelm_test.h"

namespace {

using NothingToActOnTest = ZelmTest;

struct Row {
    const char *call;
    std::function<uint64_t()> act;
    uint64_t result;  // what it returns: a status, a count, a pointer as a number (null: 0); 0 for nothing
};

// clang-format off
#define RESULT(call, result) {#call, [&] { return static_cast<uint64_t>(call); }, result}
#define REFUSED(call) RESULT(call, ZELM_ERR)
#define NONE(call) {#call, [&] { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(call)); }, 0}
#define NOTHING(call) {#call, [&] { call; return uint64_t{0}; }, 0}
// clang-format on

struct Rec {
    AXO_AVL3_NODE node;
    uint32_t key;
};

// Each row refuses or ignores what it is given: it returns its result, allocates nothing, sends
// nothing, answers nothing, and leaves no record, flag or text behind.
TEST_F(NothingToActOnTest, EveryOperationRefusesOrIgnoresItAndKeepsNothing)
{
    ZelmCompCb *cb = zt::CompCb();
    ZelmLocalData *data = ZELM_GetLocalData();
    auto *someMsg = reinterpret_cast<QOF_Msg *>(data);  // opaque handles that must never be read
    auto *someAtom = reinterpret_cast<QOF_Atom *>(data);
    QOF_Msg *noReply = nullptr;
    const ZelmCompNodeCfg type = zt::CompNodeCfg(1);
    const ZelmCompInstCfg comp = zt::CompCfg(1, 1, 1);
    ZelmCompNodeCfg out{};
    ZelmCompLocation location{};
    ZelmComponent component{};
    ZelComponentMsg msg{};
    const ZelmCompPublishList list = {nullptr, nullptr, 0, 0};
    ZelCompPublishReqMsg compReq = {1, 0, 3, 0, nullptr};
    ZelLocationMsg one{};
    ZelLocPublishReqMsg withoutList = {ZELM_LOC_OP_ADD, 2, nullptr};
    ZelLocPublishReqMsg withoutEntries = {ZELM_LOC_OP_ADD, 0, &one};
    locationCb starting{};  // a block whose trees do not exist yet, as while the module starts
    osNodeInst node{};
    const uint32_t position[3] = {1, 2, 0};
    ZelmLinkLoc link{};
    const uint32_t key = 7;
    Rec rec{};
    const ZelSetDesc desc = {offsetof(Rec, key), 0, 4, sizeof(Rec), ZEL_AVL_Uint32Compare, nullptr, nullptr};
    const ZelSetAllocator host = {STANDIN_HostMalloc, STANDIN_HostFree};
    const std::vector<Row> rows = {
        // containers
        NONE(ZEL_AVL_Create(nullptr, &host)),
        NONE(ZEL_AVL_Create(&desc, nullptr)),
        NONE(ZEL_SET_Insert(nullptr, &key, sizeof(key))),
        NONE(ZEL_SET_Find(nullptr, &key, sizeof(key))),
        REFUSED(ZEL_SET_InsertNode(nullptr, &rec, sizeof(rec))),
        RESULT(ZEL_SET_Count(nullptr), 0),
        NONE(ZEL_AVL_GetTree(nullptr)),
        NOTHING(ZEL_SET_Delete(nullptr, &key, sizeof(key))),
        NOTHING(ZEL_AVL_Destroy(nullptr)),
        // start, stop and dispatch
        REFUSED(ZelmProcTuvTableMsg(nullptr, someMsg, nullptr)),
        REFUSED(ZelmProTuvCfgAtom(nullptr, someAtom, &noReply, data, nullptr)),
        REFUSED(ZelmProTuvCfgAtom(someMsg, nullptr, &noReply, data, nullptr)),
        REFUSED(ZelmProTuvCfgAtom(someMsg, someAtom, nullptr, data, nullptr)),
        REFUSED(ZelmProTuvCfgAtom(someMsg, someAtom, &noReply, nullptr, nullptr)),
        REFUSED(ZelmProcAddOpInfoArea(nullptr, someAtom, 0)),
        REFUSED(ZelmProcAddOpInfoArea(&noReply, someAtom, 0)),
        REFUSED(ZelmProcAddOpInfoArea(&someMsg, nullptr, 0)),
        REFUSED(ZELM_RegisterMsgTable(nullptr)),
        REFUSED(ZelmInitMods(nullptr)),
        NOTHING(ZelmFInitMods(nullptr)),
        // link
        NONE(ZelmLinkFindLocation(nullptr, 1, "svc")),
        NONE(ZelmLinkAddLocation(nullptr, 1, "svc")),
        NONE(ZelmLinkAddLocation(zt::LinkCb(), 1, nullptr)),
        NOTHING(ZelmLinkDelLocation(nullptr, 1, "svc")),
        NOTHING(ZelmLinkLocationAvailable(nullptr, 1, "svc", 4)),
        NOTHING(ZelmLinkDealLocLinkAvailable(nullptr, &link, 4)),
        NOTHING(ZelmLinkDealLocLinkAvailable(zt::LinkCb(), nullptr, 4)),
        NOTHING(ZelmLinkPubLocationLink(nullptr, 4, 0x10)),
        NOTHING(ZELM_LINK_FInit(nullptr)),
        // location
        NOTHING(ZelmFreeZelLocationMsg(nullptr)),
        NOTHING(ZelmLocInstDeepFreePublishReqMsg(nullptr)),
        NOTHING(ZelmLocInstDeepFreePublishReqMsg(&withoutList)),
        NOTHING(ZelmLocationPublishUpdationDone(zt::LocCb(), &withoutList, 0)),
        NOTHING(ZelmLocationPublishUpdationDone(zt::LocCb(), &withoutEntries, 0)),
        NOTHING(ZelmLocPublishLocationInstCbk(QOF_RpcResult{1, 0}, &withoutList, nullptr, nullptr)),
        NOTHING((void)ZelmLocSubOsNodeLink(0x102, position, 1, &starting)),
        RESULT(ZelmLocSmoothTimerCbk(nullptr, nullptr, &starting), 0),
        RESULT(ZelmLocTrySmoothSetLocationInst(&starting, &node, nullptr, nullptr), 0),
        NOTHING(ZELM_LOCATION_FInit(nullptr)),
        // comp
        REFUSED(ZELM_COMP_UpdateCompNodeByCfg(nullptr, &type)),
        REFUSED(ZELM_COMP_UpdateCompNodeByCfg(cb, nullptr)),
        REFUSED(ZELM_COMP_AddComponentByInstCfg(nullptr, &comp)),
        REFUSED(ZELM_COMP_AddComponentByInstCfg(cb, nullptr)),
        REFUSED(ZELM_COMP_GetCompNodeCfg(cb, 1, nullptr)),
        REFUSED(ZELM_COMP_GetCompNodeCfg(nullptr, 1, &out)),
        REFUSED(ZELM_COMP_SetCompNodeCfg(nullptr, 1, &type)),
        REFUSED(ZELM_COMP_SetCompNodeCfg(cb, 1, nullptr)),
        REFUSED(ZelmSetZelComponentMsg(nullptr, &type, &msg)),
        REFUSED(ZelmSetZelComponentMsg(&comp, nullptr, &msg)),
        REFUSED(ZelmSetZelComponentMsg(&comp, &type, nullptr)),
        REFUSED(ZelmSetZelCompNameMsg(nullptr, &type, &msg)),
        REFUSED(ZelmSetZelCompNameMsg(&comp, nullptr, &msg)),
        REFUSED(ZelmSetZelCompNameMsg(&comp, &type, nullptr)),
        REFUSED(ZelmCompPublishComponent(cb, nullptr, 0, &list)),
        REFUSED(ZelmCompPublishComponent(cb, &location, 0, nullptr)),
        REFUSED(ZelmCompSendMsgReliably(cb, &location, nullptr)),
        REFUSED(ZelmCompInitSmoothTimer(nullptr)),
        RESULT(ZELM_COMP_DelCompNodeByCfg(nullptr, &type), 0),
        RESULT(ZELM_COMP_DelCompNodeByCfg(cb, nullptr), 0),
        RESULT(ZELM_COMP_DelComponentByInstCfg(nullptr, &comp), 0),
        RESULT(ZELM_COMP_DelComponentByInstCfg(cb, nullptr), 0),
        NONE(ZelmCompTryAddLocation(nullptr, 1)),
        NONE(ZelmLocationTryAddComp(nullptr, 1)),
        NOTHING(ZELM_COMP_CompNodePublish(nullptr, 1, 0)),
        NOTHING(ZELM_COMP_CompPublishByCompType(cb, nullptr, 1, 0)),
        NOTHING(ZelmCompSetState(nullptr, 1)),
        NOTHING(ZelmCompTryDestroyLocation(nullptr, 1)),
        NOTHING(ZelmFreeZelComponentMsg(nullptr)),
        NOTHING(ZelmCompDeepFreePublishReqMsg(nullptr)),
        NOTHING(ZelmCompDeepFreePublishReqMsg(&compReq)),
        NOTHING(ZelmCompTryPublishComponent(cb, nullptr, 0, &component)),
        NOTHING(ZelmCompTryPublishComponent(cb, &location, 0, nullptr)),
        NOTHING(ZelmCompPublishComponentCbk(QOF_RpcResult{1, 0}, &compReq, nullptr, nullptr)),
        NOTHING(ZelmCompPublishUpdationDone(nullptr, &compReq, 0)),
        NOTHING(ZelmCompPublishUpdationDone(cb, nullptr, 0)),
        NOTHING(ZelmCompPublishUpdationDone(cb, &compReq, 0)),
        NOTHING(ZelmCompPublishFaultAccess(nullptr, &location)),
        NOTHING(ZelmCompPublishFaultAccess(cb, nullptr)),
        NOTHING(ZelmCompPublishFaultSloved(nullptr, &location)),
        NOTHING(ZelmCompPublishFaultSloved(cb, nullptr)),
        NOTHING(ZelmCompTrySmoothComponent(cb, nullptr, 2)),
        NOTHING(ZELM_COMP_FInit(nullptr)),
    };
    const std::string before = zt::Describe(zt::LibrarySnapshot({}, nullptr));
    for (const Row &row : rows) {
        const uint64_t allocations = STANDIN_CallCount("STANDIN_HostMalloc");
        const size_t texts = STANDIN_CallCount("strdup") + STANDIN_CallCount("strndup");
        EXPECT_EQ(row.act(), row.result) << row.call;
        EXPECT_EQ(STANDIN_CallCount("STANDIN_HostMalloc"), allocations) << row.call;
        EXPECT_EQ(STANDIN_CallCount("strdup") + STANDIN_CallCount("strndup"), texts) << row.call;
    }
    EXPECT_EQ(zt::Describe(zt::LibrarySnapshot({}, nullptr)), before);
    EXPECT_EQ(withoutList.locNum + location.publishFault, 2u) << "the requests and records given stay as they were";
    EXPECT_EQ(STANDIN_RpcCallCount() + STANDIN_ReplyCount() + STANDIN_MsgAliveCount(), 0u);
}

}  // namespace
