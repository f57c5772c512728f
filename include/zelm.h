/* libzelm: the deployment model of the platform and its publication to the node agents. */
#ifndef ZELM_H
#define ZELM_H

#include "zelm_api.h"
#include "zelm_comp.h"
#include "zelm_config.h"
#include "zelm_core.h"
#include "zelm_infra.h"
#include "zelm_link.h"
#include "zelm_location.h"
#include "zelm_set.h"

#endif
