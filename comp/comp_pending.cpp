// Temporary: the COMP module's entries until the module itself lands.
#include "zelm.h"

extern "C" {
ZELM_API void *ZELM_COMP_Init(void) { return ZELM_Malloc(sizeof(ZelmCompCb)); }
ZELM_API void ZELM_COMP_FInit(void *cb) { ZELM_Free(cb); }
ZELM_API uint32_t ZELM_ProcTuvComponent(QOF_Msg *, QOF_Atom *, QOF_Msg **, ZelmLocalData *, QOF_RecordCtx *) { return 0; }
ZELM_API uint32_t ZELM_ProcTuvCompNode(QOF_Msg *, QOF_Atom *, QOF_Msg **, ZelmLocalData *, QOF_RecordCtx *) { return 0; }
ZELM_API void ZELM_ComponentDeleteByLoc(uint32_t) {}
ZELM_API uint32_t ZelmCompSubLocationLink(uint32_t, uintptr_t, void *) { return 0; }
}
