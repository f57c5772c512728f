// Temporary: the LOCATION module's entries until the module itself lands.
#include "zelm.h"

extern "C" {
ZELM_API void *ZELM_LOCATION_Init(void) { return ZELM_Malloc(sizeof(locationCb)); }
ZELM_API void ZELM_LOCATION_FInit(void *cb) { ZELM_Free(cb); }
ZELM_API uint32_t ZELM_ProcTuvLocation(QOF_Msg *, QOF_Atom *, QOF_Msg **, ZelmLocalData *, QOF_RecordCtx *) { return 0; }
ZELM_API uint32_t ZELM_ProcTuvLocLogicGrp(QOF_Msg *, QOF_Atom *, QOF_Msg **, ZelmLocalData *, QOF_RecordCtx *) { return 0; }
ZELM_API uint32_t ZelmLocSubOsNodeLink(uint32_t, const uint32_t *, uint32_t, void *) { return 0; }
}
