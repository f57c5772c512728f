// Start and stop of the LINK module: its control block, location registry and subscriber list.
#include <cstddef>

#include "containers/zel_set_keyed.h"
#include "core/zelm_log.h"
#include "platform/bounds.h"
#include "zelm.h"

namespace {

// New entries start without an announced index (init hook).
constexpr ZelSetDesc kLinkLocTreeDesc = {
    offsetof(ZelmLinkLoc, key),
    offsetof(ZelmLinkLoc, node),
    ZELM_LINK_LOC_KEY_LEN,
    sizeof(ZelmLinkLoc),
    ZELM_LINK_LocKey_Compare,
    ZelmLinkLocationTreeInit,
    nullptr,
};

}  // namespace

extern "C" {

/* The new LINK control block, owned by the module until ZELM_LINK_FInit; null when memory is short. */
ZELM_API void *ZELM_LINK_Init(void)
{
    ZelmLinkCb *cb = static_cast<ZelmLinkCb *>(ZELM_Malloc(sizeof(ZelmLinkCb)));
    if (cb == nullptr) {
        ZELM_LOG_ERROR("[ZELM]init link cb failed.");
        return nullptr;
    }
    (void)memset_s(cb, sizeof(ZelmLinkCb), 0, sizeof(ZelmLinkCb));

    cb->linkLocTree = ZEL_AVL_Create(&kLinkLocTreeDesc, &kZelmSetAllocator);
    if (cb->linkLocTree == nullptr) {
        ZELM_LOG_ERROR("[ZELM]init link failed. location tree create error");
        ZELM_Free(cb);
        return nullptr;
    }
    cb->subList.next = &cb->subList;
    cb->subList.prev = &cb->subList;
    ZELM_LOG_INFO("[ZELM]init link ok.");
    return cb;
}

/* Releases every entry, every subscriber and the control block; null is ignored. */
ZELM_API void ZELM_LINK_FInit(void *cb)
{
    ZelmLinkCb *linkCb = static_cast<ZelmLinkCb *>(cb);
    if (linkCb == nullptr) {
        return;
    }
    ZEL_AVL_Destroy(linkCb->linkLocTree);
    linkCb->linkLocTree = nullptr;

    ZelmListHead *head = &linkCb->subList;
    while (head->next != head) {
        ZelmListHead *first = head->next;
        head->next = first->next;
        first->next->prev = head;
        ZELM_Free(reinterpret_cast<ZelmLinkSub *>(first));
    }
    ZELM_Free(linkCb);
    ZELM_LOG_INFO("[ZELM]finit link ok.");
}

}  // extern "C"
