/* Private to the COMP module: the component types without compNode records. */
#ifndef ZELM_COMP_INTERNAL_H
#define ZELM_COMP_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "containers/zel_set_keyed.h"
#include "core/zelm_peer_fault.h"
#include "core/zelm_text.h"
#include "platform/bounds.h"
#include "zelm.h"

/* Component types whose compNode record is never looked up: a record of zeros stands in. */
inline constexpr uint32_t ZELM_COMP_TYPE_NO_NODE_A = 3u;
inline constexpr uint32_t ZELM_COMP_TYPE_NO_NODE_B = 207u;

#endif
