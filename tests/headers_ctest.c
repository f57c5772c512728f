/* Every public header, platform ones included, compiles in one translation unit: C99, C11, C++17, C++20. */
#include "platform/axo_avl3.h"
#include "platform/bounds.h"
#include "platform/korm.h"
#include "platform/lorn.h"
#include "platform/mirl.h"
#include "platform/qof.h"
#include "zelm.h"
#include "zelm_standin.h"

int main(void)
{
    ZelmLocalData data;
    (void)data;
    return (sizeof(ZelLocationMsg) == 96 && sizeof(ZelComponentMsg) == 96 && sizeof(ZelmCompNodeCfg) == 172) ? 0 : 1;
}
