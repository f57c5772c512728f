// Location publication messages: filling one location entry and freeing entries and requests.
#include <stddef.h>
#include <stdlib.h>

#include "core/zelm_log.h"
#include "core/zelm_text.h"
#include "location/loc_internal.h"

namespace {

void FreeText(char *&text)
{
    if (text != nullptr) {
        free(text);
        text = nullptr;
    }
}

}  // namespace

extern "C" {

/*
 * Fills the configuration part of one entry (offsets 0 to 71): three heap
 * texts, then the numbers. 0xFFFFFFFF when a text cannot be copied; the texts
 * copied before stay in the entry for the caller to free.
 */
ZELM_API uint32_t ZelmSetZelLocationInstMsg(const ZelmLocInstCfg *cfg, ZelLocationMsg *msg)
{
    msg->LocName = ZelmDupTextField(cfg->LocName);
    if (msg->LocName != nullptr) {
        msg->imageName = ZelmDupTextField(cfg->imageName);
        if (msg->imageName != nullptr) {
            msg->LocExtName = ZelmDupTextField(cfg->LocExtName);
        }
    }
    if (msg->LocName == nullptr || msg->imageName == nullptr || msg->LocExtName == nullptr) {
        ZELM_LOG_ERROR("zelm set location inst msg failed, strdup %s msg name error.",
                       ZelmLogTextOf(cfg->LocName).text);
        return ZELM_ERR;
    }
    msg->LocId = cfg->LocId;
    msg->LocType = cfg->LocType;
    msg->OsInst = cfg->OsInst;
    msg->LocGrp = cfg->LocGrp;
    msg->LocParam1 = cfg->LocParam1;
    msg->Lrid = cfg->Lrid;
    msg->LocParam2 = cfg->LocParam2;
    msg->LocParam3 = cfg->LocParam3;
    msg->LocParam4 = cfg->LocParam4;
    msg->LocParam5 = cfg->LocParam5;
    msg->LocParam6 = cfg->LocParam6;
    return ZELM_OK;
}

/* Copies the group's five carried values into offsets 72 to 91 of the entry; the group's key is not carried. */
ZELM_API void ZelmSetZelLogicGrpInstMsg(const ZelmLogicLocGrpCfg *grp, ZelLocationMsg *msg)
{
    msg->logicId = grp->logicId;
    msg->faultPolicy = grp->faultPolicy;
    msg->grpParam1 = grp->grpParam1;
    msg->grpParam2 = grp->grpParam2;
    msg->grpParam3 = grp->grpParam3;
}

/* Frees the entry's three texts and clears their pointers; the entry itself stays the caller's. */
ZELM_API void ZelmFreeZelLocationMsg(ZelLocationMsg *msg)
{
    if (msg == nullptr) {
        return;
    }
    FreeText(msg->LocName);
    FreeText(msg->imageName);
    FreeText(msg->LocExtName);
}

/* Frees the texts of every entry and the entry list; the 16-byte request stays the caller's, unchanged. */
ZELM_API void ZelmLocInstDeepFreePublishReqMsg(ZelLocPublishReqMsg *req)
{
    if (req == nullptr) {
        return;
    }
    if (req->locationList != nullptr) {
        for (uint32_t i = 0; i < req->locNum; ++i) {
            ZelmFreeZelLocationMsg(&req->locationList[i]);
        }
    }
    ZELM_Free(req->locationList);
}

}  // extern "C"
