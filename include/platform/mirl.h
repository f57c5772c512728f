/* MIRL HA-role query. */
#ifndef ZELM_PLATFORM_MIRL_H
#define ZELM_PLATFORM_MIRL_H

#include <stdint.h>

#include "korm.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The HA role of the local process; 0 allows publication. */
uint32_t MIRL_GetCompHaRole(KORM_LocalData *kormData);

#ifdef __cplusplus
}
#endif

#endif
