/*
 * Publication of components to the agent channel of their location, the
 * completion that records the outcome, and the per-location fault flag that
 * keeps the smooth timer running until a publication to the location succeeds.
 */

#include "comp/comp_internal.h"
#include "core/zelm_log.h"
#include "core/zelm_record.h"

static constexpr char kCompSubscribeMethod[] = "KorbCompSubscribe";

extern "C" {

/*
 * Sends one component to its location with `opType`. Skipped, with an info
 * line, while the location has no channel or the type's compNode is missing.
 */
ZELM_API void ZelmCompTryPublishComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType,
                                          ZelmComponent *component)
{
    if (location == nullptr || component == nullptr) {
        return;
    }
    if (location->chanHandle == 0) {
        ZELM_LOG_INFO("zelm comp, publish comp not ok. location chanHdl is NULL. compInstName %s(%u) locIndex %u",
                      ZelmLogTextOf(component->cfg.compInstName).text, component->cfg.compInst, location->locIndex);
        return;
    }
    ZelmCompNodeCfg compNode;
    if (ZELM_COMP_GetCompNodeCfg(cb, component->cfg.compType, &compNode) != ZELM_OK) {
        ZELM_LOG_INFO("zelm publish comp not ok. get compNode not success. compType %u compInst %s(%u) locIndex %u",
                      component->cfg.compType, ZelmLogTextOf(component->cfg.compInstName).text, component->cfg.compInst,
                      location->locIndex);
        return;
    }
    const ZelmCompPublishList list = {&component->cfg, &compNode, 1u, 0u};
    if (ZelmCompPublishComponent(cb, location, opType, &list) != ZELM_OK) {
        ZELM_LOG_ERROR("zelm publish comp not ok.compInstName %s(%u) locIndex %u",
                       ZelmLogTextOf(component->cfg.compInstName).text, component->cfg.compInst, location->locIndex);
    } else {
        ZELM_LOG_INFO("zelm try to publish comp finished.compInstName %s(%u) locIndex %u",
                      ZelmLogTextOf(component->cfg.compInstName).text, component->cfg.compInst, location->locIndex);
    }
}

/*
 * Builds one request from the list and sends it. 0xFFFFFFFF when the request
 * could not be built (nothing sent, no fault flagged) or the call was refused.
 */
ZELM_API uint32_t ZelmCompPublishComponent(ZelmCompCb *cb, ZelmCompLocation *location, uint32_t opType,
                                           const ZelmCompPublishList *list)
{
    if (location == nullptr || list == nullptr) {
        return ZELM_ERR;
    }
    const size_t listBytes = static_cast<size_t>(list->compNum) * sizeof(ZelComponentMsg);
    ZelCompPublishReqMsg req = {location->locIndex, opType, list->compNum, 0u,
                                static_cast<ZelComponentMsg *>(ZELM_Malloc(listBytes))};
    if (req.compList == nullptr) {
        ZELM_LOG_ERROR("zelm publish component to sdk failed, malloc comp list error.");
        return ZELM_ERR;
    }
    (void)memset_s(req.compList, listBytes, 0, listBytes);
    for (uint32_t i = 0; i < list->compNum; ++i) {
        if (ZelmSetZelComponentMsg(&list->comps[i], &list->compNodes[i], &req.compList[i]) != ZELM_OK) {
            ZELM_LOG_ERROR("zelm publish component to sdk failed, set %u comp msg error.", i);
            ZelmCompDeepFreePublishReqMsg(&req);
            return ZELM_ERR;
        }
    }
    const uint32_t ret = ZelmCompSendMsgReliably(cb, location, &req);
    ZELM_LOG_INFO("zelm publish location's index %u opType %u component num %u to sdk %s.", location->locIndex, opType,
                  list->compNum, (ret == ZELM_OK) ? "success" : "failed");
    return ret;
}

/*
 * Issues the call on the location's channel. On refusal the request's
 * contents are released, the location is flagged and 0xFFFFFFFF returned;
 * on 0 they belong to the pending call.
 */
ZELM_API uint32_t ZelmCompSendMsgReliably(ZelmCompCb *cb, ZelmCompLocation *location, ZelCompPublishReqMsg *req)
{
    if (location == nullptr || req == nullptr) {
        return ZELM_ERR;
    }
    const QOF_RpcCbPair pair = {ZelmCompPublishComponentCbk, cb};
    const uint32_t ret = QOF_ConnRpcCall(location->chanHandle, kCompSubscribeMethod, req,
                                         static_cast<uint32_t>(sizeof(*req)), &pair, 0u);
    if (ret != 0) {
        ZELM_LOG_ERROR("zelm comp, publish component to location(locIndex %u) fail, ret = %u", location->locIndex, ret);
        ZelmCompDeepFreePublishReqMsg(req);
        ZelmCompPublishFaultAccess(cb, location);
        return ZELM_ERR;
    }
    ZELM_LOG_INFO("[ZELM], publish component to location(locIndex %u) ok.", location->locIndex);
    return ZELM_OK;
}

/*
 * Completion of a "KorbCompSubscribe" call: records the agent's answer and
 * releases the request's contents. A completion whose user data is not the
 * running module's control block (the library was stopped, or restarted,
 * since the call) is ignored: its request belongs to an allocator that is gone.
 */
ZELM_API void ZelmCompPublishComponentCbk(QOF_RpcResult result, void *inMsg, void *outMsg, void *userData)
{
    if (userData == nullptr ||
        reinterpret_cast<uintptr_t>(userData) != reinterpret_cast<uintptr_t>(ZELM_GetModCb(ZELM_MOD_COMP))) {
        ZELM_LOG_ERROR("zelm comp, publish component cbk ignored, control block is not current.");
        return;
    }
    auto *cb = static_cast<ZelmCompCb *>(userData);
    if (inMsg == nullptr) {
        ZELM_LOG_ERROR("zelm comp, publish component cbk fail, inmsg is null, success:%u errno:%u", result.success,
                       result.errNo);
        return;
    }
    auto *req = static_cast<ZelCompPublishReqMsg *>(inMsg);
    if (outMsg == nullptr) {
        ZELM_LOG_ERROR("zelm comp, publish component cbk fail, outMsg is null, success:%u errno:%u", result.success,
                       result.errNo);
        ZelmCompPublishUpdationDone(cb, req, 1u);
    } else {
        ZELM_LOG_INFO("zelm comp, publish component cbk , success:%u errno:%u", result.success, result.errNo);
        ZelmCompPublishUpdationDone(cb, req, ZelmAgentResult(outMsg));
    }
    ZelmCompDeepFreePublishReqMsg(req);
}

/*
 * Applies a completion's result (0 success) to the location the request was
 * for and to each component it named that still exists. Does nothing but log
 * when the location is gone.
 */
ZELM_API void ZelmCompPublishUpdationDone(ZelmCompCb *cb, ZelCompPublishReqMsg *req, uint32_t result)
{
    if (cb == nullptr || req == nullptr || req->compList == nullptr || req->compNum == 0) {
        return;
    }
    const uint32_t locIndex = req->compList[0].locIndex;
    ZelmCompLocation *location = ZelSetFindU32<ZelmCompLocation>(cb->locationTree, locIndex);
    if (location == nullptr) {
        ZELM_LOG_ERROR("zelm comp, publish component cbk fail, publish update find location(locidx = %u) error",
                       locIndex);
        return;
    }
    uint32_t state = ZELM_COMP_STATE_PUBLISHED;
    if (result != 0) {
        ZelmCompPublishFaultAccess(cb, location);
        state = ZELM_COMP_STATE_FAILED;
    } else {
        ZelmCompPublishFaultSloved(cb, location);
    }
    for (uint32_t i = 0; i < req->compNum; ++i) {
        ZelmComponent *component = ZelSetFindU32<ZelmComponent>(location->componentTree, req->compList[i].compInst);
        if (component != nullptr) {
            ZelmCompSetState(component, state);
        }
    }
}

/* Flags the location and (re)starts the smooth timer. */
ZELM_API void ZelmCompPublishFaultAccess(ZelmCompCb *cb, ZelmCompLocation *location)
{
    if (cb == nullptr || location == nullptr) {
        return;
    }
    ZelmPeerFaultAccess(location, cb->smoothTimer);
}

/* Clears the location's flag; stops the smooth timer when no location is flagged any more. */
ZELM_API void ZelmCompPublishFaultSloved(ZelmCompCb *cb, ZelmCompLocation *location)
{
    if (cb == nullptr || location == nullptr) {
        return;
    }
    ZelmPeerFaultSolved(cb->locationTree, location, cb->smoothTimer);
}

}  // extern "C"
