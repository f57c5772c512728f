// The LINK module's registry: available locations keyed by OS node and service name.
#include <cstddef>
#include <cstring>

#include "core/zelm_log.h"
#include "platform/bounds.h"
#include "zelm.h"

namespace {

// A missing name is refused like one that does not fit; the log shows it as "(null)".
const char *NameText(const char *serviceName)
{
    return (serviceName != nullptr) ? serviceName : "(null)";
}

// False when the name is missing or needs more than the buffer with its terminator.
bool BuildKey(ZelmLinkLocKey *key, uint32_t osNodeId, const char *serviceName)
{
    key->osNodeId = osNodeId;
    (void)memset_s(key->serviceName, sizeof(key->serviceName), 0, sizeof(key->serviceName));
    return strcpy_s(key->serviceName, sizeof(key->serviceName), serviceName) == 0;
}

}  // namespace

extern "C" {

/*
 * Orders link location keys by OS node (as ZEL_AVL_Uint32Compare orders u32
 * keys), then by service name with strcmp.
 */
ZELM_API int32_t ZELM_LINK_LocKey_Compare(const void *a, const void *b)
{
    const ZelmLinkLocKey *x = static_cast<const ZelmLinkLocKey *>(a);
    const ZelmLinkLocKey *y = static_cast<const ZelmLinkLocKey *>(b);
    if (x->osNodeId != y->osNodeId) {
        return ZEL_AVL_Uint32Compare(&x->osNodeId, &y->osNodeId);
    }
    return std::strcmp(x->serviceName, y->serviceName);
}

/* The link location tree's init hook: a zeroed entry without an announced index; 0xFFFFFFFF for a size mismatch. */
ZELM_API uint32_t ZelmLinkLocationTreeInit(void *entry, uint32_t size)
{
    if (size != sizeof(ZelmLinkLoc)) {
        ZELM_LOG_ERROR("zelm link, location init, len dismatch, %u != %u", size,
                       static_cast<uint32_t>(sizeof(ZelmLinkLoc)));
        return ZELM_ERR;
    }
    (void)memset_s(entry, size, 0, size);
    static_cast<ZelmLinkLoc *>(entry)->locIndex = ZELM_INVALID_LOC_INDEX;
    return ZELM_OK;
}

/* The entry of (osNodeId, serviceName), owned by the registry, or null (absent, or a name that is refused). */
ZELM_API ZelmLinkLoc *ZelmLinkFindLocation(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName)
{
    ZelmLinkLocKey key;
    if (!BuildKey(&key, osNodeId, serviceName)) {
        ZELM_LOG_ERROR("zelm link, find loc, service name %s too long.", NameText(serviceName));
        return nullptr;
    }
    if (cb == nullptr) {
        return nullptr;
    }
    return static_cast<ZelmLinkLoc *>(ZEL_SET_Find(cb->linkLocTree, &key, ZELM_LINK_LOC_KEY_LEN));
}

/*
 * A new entry for (osNodeId, serviceName), owned by the registry, without an
 * announced index; null when the name is refused, the key is already present
 * or memory is short.
 */
ZELM_API ZelmLinkLoc *ZelmLinkAddLocation(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName)
{
    ZelmLinkLocKey key;
    if (!BuildKey(&key, osNodeId, serviceName)) {
        ZELM_LOG_ERROR("zelm link, add loc, service name %s too long.", NameText(serviceName));
        return nullptr;
    }
    if (cb == nullptr) {
        return nullptr;
    }
    ZelmLinkLoc *entry = static_cast<ZelmLinkLoc *>(ZEL_SET_Insert(cb->linkLocTree, &key, ZELM_LINK_LOC_KEY_LEN));
    if (entry != nullptr) {
        entry->locIndex = ZELM_INVALID_LOC_INDEX;
    }
    return entry;
}

/* Removes and releases the entry of (osNodeId, serviceName); an absent entry is no error. */
ZELM_API void ZelmLinkDelLocation(ZelmLinkCb *cb, uint32_t osNodeId, const char *serviceName)
{
    ZelmLinkLocKey key;
    if (!BuildKey(&key, osNodeId, serviceName)) {
        ZELM_LOG_ERROR("zelm link, del loc, service name %s too long.", NameText(serviceName));
        return;
    }
    if (cb == nullptr) {
        return;
    }
    ZEL_SET_Delete(cb->linkLocTree, &key, ZELM_LINK_LOC_KEY_LEN);
}

}  // extern "C"
