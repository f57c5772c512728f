/*
 * Publication of locations to the node agents of their OS nodes, and the
 * completion that records the outcome. A request is the publisher's until the
 * RPC call accepts it, then the pending call's; the completion frees it. A
 * refused call or a failed completion flags the OS node and starts the smooth
 * timer; a success clears the flag and stops the timer once no node is flagged.
 */

#include "core/zelm_log.h"
#include "core/zelm_record.h"
#include "location/loc_internal.h"

namespace {

constexpr const char kLocSubscribeMethod[] = "KorbLocSubscribe";

}  // namespace

extern "C" {

/*
 * Publishes one location to its OS node's agent with opType, while the HA role
 * allows it and the node has a channel. Outcomes are logged; the location's
 * state changes only with the completion.
 */
ZELM_API void ZelmTryPublishLocationInst(locationCb *cb, uint32_t opType, locationInst *inst)
{
    if (ZELM_INFRA_IsCanPublish() == 0) {
        return;
    }
    const auto locName = ZelmLogTextOf(inst->instCfg.LocName);
    osNodeInst *osNode = ZelmLocTryFindOsNode(cb, inst->osNodeId);
    if (osNode == nullptr || osNode->chanHandle == 0) {
        ZELM_LOG_INFO("zelm publish location inst not ok.locName %s(osnode:%u) locIndex %u", locName.text,
                      inst->osNodeId, inst->instCfg.LocId);
        return;
    }
    ZelmLogicLocGrpCfg grp = ZelmLocGroupOf(cb, inst->instCfg.LocId);
    const ZelmLocPublishList list = {&inst->instCfg, &grp, 1u, 0u};
    if (ZelmLocPublishLocationInst(cb, osNode, opType, &list) != ZELM_OK) {
        ZELM_LOG_ERROR("zelm publish opType %u locationInst not ok. locName %s(osnode:%u) locIndex %u", opType,
                       locName.text, osNode->osNodeId, inst->instCfg.LocId);
    }
    ZELM_LOG_INFO("zelm try to publish opType %u locationInst finished.locName %s(osnode:%u) locIndex %u", opType,
                  locName.text, osNode->osNodeId, inst->instCfg.LocId);
}

/*
 * Builds one request of list->locNum entries and sends it to the OS node.
 * 0 when the call was issued; 0xFFFFFFFF when the request could not be built
 * or was refused, in which case it is already freed.
 */
ZELM_API uint32_t ZelmLocPublishLocationInst(locationCb *cb, osNodeInst *osNode, uint32_t opType,
                                             const ZelmLocPublishList *list)
{
    const size_t listSize = static_cast<size_t>(list->locNum) * sizeof(ZelLocationMsg);
    ZelLocPublishReqMsg req;
    req.opType = opType;
    req.locNum = list->locNum;
    req.locationList = static_cast<ZelLocationMsg *>(ZELM_Malloc(listSize));
    if (req.locationList == nullptr) {
        ZELM_LOG_ERROR("zelm publish location inst to korb failed, malloc locationList list error.");
        return ZELM_ERR;
    }
    (void)memset_s(req.locationList, listSize, 0, listSize);
    for (uint32_t i = 0; i < list->locNum; ++i) {
        if (ZelmSetZelLocationInstMsg(&list->locInsts[i], &req.locationList[i]) != ZELM_OK) {
            ZELM_LOG_ERROR("zelm publish location inst to korb failed, set %u locationInst msg error.", i);
            ZelmLocInstDeepFreePublishReqMsg(&req);
            return ZELM_ERR;
        }
        ZelmSetZelLogicGrpInstMsg(&list->logicGrps[i], &req.locationList[i]);
    }
    const uint32_t ret = ZelmLocationSendMsgReliably(cb, osNode, &req);
    ZELM_LOG_INFO("zelm publish osNodeId %u opType %u location num %u to korb %s.", osNode->osNodeId, opType,
                  list->locNum, (ret == ZELM_OK) ? "success" : "failed");
    return ret;
}

/*
 * Hands the request to the OS node's agent. 0 when the call was accepted (the
 * request's list then belongs to the pending call); 0xFFFFFFFF when refused:
 * the list is freed, the node flagged and the smooth timer started.
 */
ZELM_API uint32_t ZelmLocationSendMsgReliably(locationCb *cb, osNodeInst *osNode, ZelLocPublishReqMsg *req)
{
    const ZelmLocRpcCbInfo cbInfo = {ZelmLocPublishLocationInstCbk, cb};
    const uint32_t ret =
        QOF_ConnRpcCall(osNode->chanHandle, kLocSubscribeMethod, req, static_cast<uint32_t>(sizeof(*req)), &cbInfo, 0u);
    if (ret != 0) {
        ZelmLocInstDeepFreePublishReqMsg(req);
        ZELM_LOG_ERROR("[ZELM]publish location inst to osnode(id %u) not ok, ret = %u", osNode->osNodeId, ret);
        ZelmLocationPublishFaultAccess(cb, osNode);
        return ZELM_ERR;
    }
    ZELM_LOG_INFO("[ZELM]publish location inst to osnode(id %u) ok.", osNode->osNodeId);
    return ZELM_OK;
}

/*
 * Completion of "KorbLocSubscribe": records the agent's answer and frees the
 * request's list. A completion whose user data is not the running module's
 * control block (it was stopped since the call) is dropped untouched.
 */
ZELM_API void ZelmLocPublishLocationInstCbk(ZelmLocRpcResult result, void *inMsg, void *outMsg, void *userData)
{
    const uintptr_t current = reinterpret_cast<uintptr_t>(ZELM_GetModCb(ZELM_MOD_LOCATION));
    if (userData == nullptr || reinterpret_cast<uintptr_t>(userData) != current) {
        ZELM_LOG_ERROR("zelm publish location inst cbk ignored, control block is not current.");
        return;
    }
    auto *cb = static_cast<locationCb *>(userData);
    if (inMsg == nullptr) {
        ZELM_LOG_ERROR("zelm publish location inst cbk fail, inmsg is null, success:%u errno:%u", result.success,
                       result.errNo);
        return;
    }
    auto *req = static_cast<ZelLocPublishReqMsg *>(inMsg);
    uint32_t failed = 1u;
    if (outMsg == nullptr) {
        ZELM_LOG_ERROR("zelm publish location inst cbk fail, outMsg is null, success:%u errno:%u", result.success,
                       result.errNo);
    } else {
        ZELM_LOG_INFO("zelm publish location cbk , success:%u errno:%u", result.success, result.errNo);
        failed = ZelmAgentResult(outMsg);
    }
    ZelmLocationPublishUpdationDone(cb, req, failed);
    ZelmLocInstDeepFreePublishReqMsg(req);
}

/*
 * Records a completion: the OS node of the first entry is flagged or cleared,
 * and every listed location still stored takes state 2 or 1. Nothing changes
 * when that OS node's record is gone.
 */
ZELM_API void ZelmLocationPublishUpdationDone(locationCb *cb, ZelLocPublishReqMsg *req, uint32_t failed)
{
    if (req->locationList == nullptr || req->locNum == 0) {
        return;
    }
    const uint32_t osInst = req->locationList[0].OsInst;
    const uint32_t osNodeId = osInst & ZELM_LOC_OSNODE_MASK;
    osNodeInst *osNode = ZelmLocTryFindOsNode(cb, osNodeId);
    if (osNode == nullptr) {
        ZELM_LOG_ERROR("zelm publish location inst cbk fail, find osNodeInst(osNodeId = %u, osInstance = %u) error",
                       osNodeId, osInst);
        return;
    }
    uint32_t state = ZELM_LOC_STATE_PUBLISHED;
    if (failed != 0) {
        ZelmLocationPublishFaultAccess(cb, osNode);
        state = ZELM_LOC_STATE_FAILED;
    } else {
        ZelmLocationPublishFaultSloved(cb, osNode);
    }
    for (uint32_t i = 0; i < req->locNum; ++i) {
        locationInst *inst = ZelmTryFindLocationInst(cb, req->locationList[i].LocId);
        if (inst != nullptr) {
            inst->publishState = state;
        }
    }
}

/* Flags the OS node for republication and starts the smooth timer (also when it runs). */
ZELM_API void ZelmLocationPublishFaultAccess(locationCb *cb, osNodeInst *osNode)
{
    ZelmPeerFaultAccess(osNode, cb->smoothTimer);
}

/* Clears the OS node's flag; stops the smooth timer when no OS node is left flagged. */
ZELM_API void ZelmLocationPublishFaultSloved(locationCb *cb, osNodeInst *osNode)
{
    ZelmPeerFaultSolved(cb->osNodeTree, osNode, cb->smoothTimer);
}

}  // extern "C"
