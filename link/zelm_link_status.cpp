// Location-status reports in, location-link events out: what the LINK module tells its subscribers.
//
// For one (OS node, service name), an available report with a valid index and
// a reachable node agent always announces (index, handle), also when nothing
// changed; an index change withdraws the old index (handle 0) first. A
// not-available report forgets the entry silently: no event, and no later
// withdrawal of the index it had. Events reach the subscribers synchronously,
// in subscription order.
#include "core/zelm_log.h"
#include "zelm.h"

namespace {

const char *NameText(const char *serviceName)
{
    return (serviceName != nullptr) ? serviceName : "(null)";
}

// Handles go to the log as 32-bit values.
uint32_t HandleText(uintptr_t handle)
{
    return static_cast<uint32_t>(handle);
}

ZelmLinkSub *SubOf(ZelmListHead *links)
{
    return reinterpret_cast<ZelmLinkSub *>(links);
}

}  // namespace

extern "C" {

/* The node-status service's report of one location; `userData` is the LINK control block. */
ZELM_API void ZELM_LINK_SubLocationStatus(uint32_t osNodeId, const char *serviceName, uint32_t locIndex,
                                          uint32_t available, void *userData)
{
    const char *name = NameText(serviceName);
    ZelmLinkCb *cb = static_cast<ZelmLinkCb *>(userData);
    if (cb == nullptr) {
        ZELM_LOG_ERROR("zelm link subs location %s status failed, get link mod error.", name);
        return;
    }
    if (available == 0) {
        ZelmLinkDelLocation(cb, osNodeId, serviceName);
        ZELM_LOG_INFO("zelm link subs location %s status, the location is Not available.", name);
        return;
    }
    if (locIndex == ZELM_INVALID_LOC_INDEX) {
        ZELM_LOG_INFO("zelm link subs location %s status, the locIndex is invalid.", name);
        return;
    }
    cb->svcHandle = ZELM_INFRA_GetKorbServerHandle(osNodeId);
    if (cb->svcHandle == 0) {
        ZELM_LOG_ERROR("zelm link subs location %s status failed, get osNode %x server hdl error.", name, osNodeId);
        return;
    }
    ZELM_LOG_INFO("zelm link subs location %s status, svcHandle %#x, locindex %u.", name, HandleText(cb->svcHandle),
                  locIndex);
    ZelmLinkLocationAvailable(cb, osNodeId, serviceName, locIndex);
    ZELM_LOG_INFO("zelm link subs location %s status, deal location link available finished.", name);
}

/*
 * Subscribes `callback` to location-link events. A function already subscribed
 * keeps its place and takes the new user data. 0xFFFFFFFF before the LINK
 * module started or when memory is short; the node is the module's.
 */
ZELM_API uint32_t ZELM_LINK_SubLocationLink(ZelmLocationLinkCallback callback, void *userData)
{
    ZelmLinkCb *cb = static_cast<ZelmLinkCb *>(ZELM_GetModCb(ZELM_MOD_LINK));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("[ZELM] get linkCb failed.");
        return ZELM_ERR;
    }
    ZelmListHead *head = &cb->subList;
    for (ZelmListHead *pos = head->next; pos != head; pos = pos->next) {
        ZelmLinkSub *sub = SubOf(pos);
        if (sub->callback == callback) {
            sub->userData = userData;
            ZELM_LOG_INFO("[ZELM] sub location link exist.");
            return ZELM_OK;
        }
    }
    ZelmLinkSub *sub = static_cast<ZelmLinkSub *>(ZELM_Malloc(sizeof(ZelmLinkSub)));
    if (sub == nullptr) {
        return ZELM_ERR;
    }
    sub->callback = callback;
    sub->userData = userData;
    sub->links.next = head;
    sub->links.prev = head->prev;
    head->prev->next = &sub->links;
    head->prev = &sub->links;
    return ZELM_OK;
}

/* Records (osNodeId, serviceName) as reachable through the latest server handle and announces its index. */
ZELM_API void ZelmLinkLocationAvailable(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName, uint32_t locIndex)
{
    if (cb == nullptr) {
        return;
    }
    ZelmLinkLoc *entry = ZelmLinkFindLocation(cb, osNodeId, serviceName);
    if (entry == nullptr) {
        ZELM_LOG_INFO("zelm link Not find linkLoc, osNode %#x, location %s, locindex %u.", osNodeId,
                      NameText(serviceName), locIndex);
        entry = ZelmLinkAddLocation(cb, osNodeId, serviceName);
        if (entry == nullptr) {
            ZELM_LOG_ERROR("zelm link osNode %u service %s add failed, add link location error.", osNodeId,
                           NameText(serviceName));
            return;
        }
    }
    entry->chanHandle = cb->svcHandle;
    ZELM_LOG_INFO("zelm link linkLoc, osNode %#x, location %s , chanHandle %#x, locindex %u.", entry->key.osNodeId,
                  entry->key.serviceName, HandleText(entry->chanHandle), entry->locIndex);
    ZelmLinkDealLocLinkAvailable(cb, entry, locIndex);
}

/* Announces `locIndex` for the entry, withdrawing the index it announced before when that differs. */
ZELM_API void ZelmLinkDealLocLinkAvailable(ZelmLinkCb *cb, ZelmLinkLoc *entry, uint32_t locIndex)
{
    if (cb == nullptr || entry == nullptr) {
        return;
    }
    const uint32_t oldIndex = entry->locIndex;
    if (oldIndex != ZELM_INVALID_LOC_INDEX && oldIndex != locIndex) {
        ZelmLinkPubLocationLink(cb, oldIndex, 0);
    }
    ZelmLinkPubLocationLink(cb, locIndex, entry->chanHandle);
    entry->locIndex = locIndex;
}

/* Delivers (locIndex, chanHandle) to every subscriber in subscription order; an invalid index reaches nobody. */
ZELM_API void ZelmLinkPubLocationLink(ZelmLinkCb *cb, uint32_t locIndex, uintptr_t chanHandle)
{
    ZELM_LOG_INFO("zelm link publish locIndex %u status, chan %#x.", locIndex, HandleText(chanHandle));
    if (cb == nullptr || locIndex == ZELM_INVALID_LOC_INDEX) {
        return;
    }
    ZelmListHead *head = &cb->subList;
    for (ZelmListHead *pos = head->next; pos != head; pos = pos->next) {
        const ZelmLinkSub *sub = SubOf(pos);
        (void)sub->callback(locIndex, chanHandle, sub->userData);
    }
}

}  // extern "C"
