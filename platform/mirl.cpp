// The MIRL HA role of the local process, as the host sets it.
#include "platform/mirl.h"

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {
namespace {

uint32_t g_haRole = 0;

}  // namespace

void ResetMirl()
{
    g_haRole = 0;
}
}  // namespace standin

// Given anything but the service's local data, the role reads 0xFFFFFFFF, which forbids publication.
extern "C" uint32_t MIRL_GetCompHaRole(KORM_LocalData *kormData)
{
    STANDIN_FAIL_POINT(failStatus);
    if (kormData != STANDIN_KormLocalData()) {
        return 0xFFFFFFFFu;
    }
    return standin::g_haRole;
}

extern "C" void STANDIN_MirlSetHaRole(uint32_t role)
{
    standin::g_haRole = role;
}

extern "C" uint32_t STANDIN_MirlHaRole(void)
{
    return standin::g_haRole;
}
