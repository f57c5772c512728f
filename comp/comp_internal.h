/*
 * Private to the COMP module: its set descriptors, key-order walks over its
 * sets and bounded views of record texts for log lines.
 */
#ifndef ZELM_COMP_INTERNAL_H
#define ZELM_COMP_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "containers/zel_set_keyed.h"
#include "core/zelm_peer_fault.h"
#include "platform/bounds.h"
#include "zelm.h"

/* The locations whose publishFault is set; one module per process, so one count. */
extern ZelmFlaggedPeers g_zelmCompFlaggedLocations;

/* The module's two trees; the component tree of a location is made by its init hook. */
extern const ZelSetDesc g_zelmCompLocationDesc;
extern const ZelSetDesc g_zelmCompNodeDesc;
extern const ZelSetAllocator g_zelmCompAlloc;

/* Component types whose compNode record is never looked up: a record of zeros stands in. */
inline constexpr uint32_t ZELM_COMP_TYPE_NO_NODE_A = 3u;
inline constexpr uint32_t ZELM_COMP_TYPE_NO_NODE_B = 207u;

/*
 * A terminated copy of a fixed-width text field, for "%s" in a log line: a
 * field that holds no NUL is cut at its width instead of being read past.
 */
template <size_t N>
struct ZelmCompLogText {
    char text[N + 1];
};

template <size_t N>
inline ZelmCompLogText<N> ZelmCompLogTextOf(const char (&field)[N])
{
    ZelmCompLogText<N> copy{};
    (void)memcpy_s(copy.text, N, field, N);
    return copy;
}

#define ZELM_COMP_TEXT(field) (ZelmCompLogTextOf(field).text)

#endif
