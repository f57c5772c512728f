// The host's allocator as the library sees it: every block of the library goes through here.
#include "zelm_core.h"

extern "C" {

/*
 * Returns a block of `size` bytes from the host, or null: for size 0, while
 * the library is stopped, without an allocation hook, or when the host has
 * none to give. The caller owns the block and returns it with ZELM_Free.
 */
ZELM_API void *ZELM_Malloc(size_t size)
{
    const ZelmLocalData *data = g_zelmLocalData;
    if (size == 0 || data == nullptr || data->mallocFn == nullptr) {
        return nullptr;
    }
    return data->mallocFn(size);
}

/* Returns a block to the host; does nothing for null, while stopped, or without a free hook. */
ZELM_API void ZELM_Free(void *ptr)
{
    const ZelmLocalData *data = g_zelmLocalData;
    if (ptr == nullptr || data == nullptr || data->freeFn == nullptr) {
        return;
    }
    // The hook is read before the call: the record itself is released through here last.
    ZelmFreeFn freeFn = data->freeFn;
    freeFn(ptr);
}

}  // extern "C"
