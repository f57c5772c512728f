/*
 * Private to libzelm: the bounded copy of a whole record. The copy is made
 * into a local record and assigned only once it succeeded: a refused bounded
 * copy zero-fills its destination, and a stored record may sit in a tree
 * under a key that lies inside it, so it must never be the destination.
 */
#ifndef ZELM_CORE_RECORD_H
#define ZELM_CORE_RECORD_H

#include <cstdint>
#include <cstring>

#include "platform/bounds.h"
#include "zelm_api.h"

/* 0 with `from` copied into `*into`; 0xFFFFFFFF when the copy is refused, `*into` then untouched. */
template <typename Record>
inline uint32_t ZelmCopyRecord(Record *into, const Record &from)
{
    Record copy;
    if (memcpy_s(&copy, sizeof(copy), &from, sizeof(from)) != 0) {
        return ZELM_ERR;
    }
    *into = copy;
    return ZELM_OK;
}

/* The agent's result in a completion's output message: its first u32, 0 when the agent accepted. */
inline uint32_t ZelmAgentResult(const void *outMsg)
{
    uint32_t result = 0;
    std::memcpy(&result, outMsg, sizeof(result));
    return result;
}

#endif
