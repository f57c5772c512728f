/*
 * Component publish messages: one request header pointing to a contiguous
 * array of component entries. The array comes from the host allocator; the
 * four texts of each entry are separate system heap copies, so a message
 * never points into the module's trees and outlives any change to them.
 */
#include <cstddef>
#include <cstdlib>

#include "comp/comp_internal.h"
#include "core/zelm_log.h"
#include "core/zelm_text.h"

namespace {

void FreeText(char *&text)
{
    free(text);
    text = nullptr;
}

void FreeTexts(ZelComponentMsg *msg)
{
    FreeText(msg->compTypeName);
    FreeText(msg->compFileName);
    FreeText(msg->compExtName);
    FreeText(msg->compInstName);
}

/* Stops at the first failed copy and leaves the texts made so far in the entry. */
uint32_t DupTexts(const ZelmCompInstCfg *comp, const ZelmCompNodeCfg *compNode, ZelComponentMsg *msg)
{
    msg->compTypeName = ZelmDupTextField(compNode->compTypeName);
    if (msg->compTypeName == nullptr) {
        return ZELM_ERR;
    }
    msg->compExtName = ZelmDupTextField(compNode->compExtName);
    if (msg->compExtName == nullptr) {
        return ZELM_ERR;
    }
    msg->compFileName = ZelmDupTextField(compNode->compFileName);
    if (msg->compFileName == nullptr) {
        return ZELM_ERR;
    }
    msg->compInstName = ZelmDupTextField(comp->compInstName);
    if (msg->compInstName == nullptr) {
        return ZELM_ERR;
    }
    return ZELM_OK;
}

}  // namespace

extern "C" {

/*
 * Fills one zero-filled entry from a component and its compNode record.
 * 0xFFFFFFFF when a text copy fails; the entry then holds no text and no number.
 */
ZELM_API uint32_t ZelmSetZelComponentMsg(const ZelmCompInstCfg *comp, const ZelmCompNodeCfg *compNode,
                                         ZelComponentMsg *msg)
{
    if (comp == nullptr || compNode == nullptr || msg == nullptr) {
        return ZELM_ERR;
    }
    if (DupTexts(comp, compNode, msg) != ZELM_OK) {
        ZELM_LOG_ERROR("zelm set ZelComponent msg failed, strdup comp %s msg name error.",
                       ZelmLogTextOf(comp->compInstName).text);
        FreeTexts(msg);
        return ZELM_ERR;
    }
    msg->compType = comp->compType;
    msg->attr7 = comp->attr7;
    msg->compClass = compNode->compClass;
    msg->compInst = comp->compInst;
    msg->attr1 = comp->attr1;
    msg->cfgStatus = static_cast<uint32_t>(comp->cfgStatus);
    msg->attr2 = comp->attr2;
    msg->locIndex = comp->locIndex;
    msg->attr3 = comp->attr3;
    msg->attr4 = comp->attr4;
    msg->attr5 = comp->attr5;
    msg->attr6 = comp->attr6;
    msg->attr8 = comp->attr8;
    msg->attr9 = comp->attr9;
    return ZELM_OK;
}

/*
 * Copies only the four texts into the entry. 0xFFFFFFFF at the first failed
 * copy; the texts made so far stay for the caller to release with
 * ZelmFreeZelComponentMsg.
 */
ZELM_API uint32_t ZelmSetZelCompNameMsg(const ZelmCompInstCfg *comp, const ZelmCompNodeCfg *compNode,
                                        ZelComponentMsg *msg)
{
    if (comp == nullptr || compNode == nullptr || msg == nullptr) {
        return ZELM_ERR;
    }
    return DupTexts(comp, compNode, msg);
}

/* Releases the entry's texts and clears them, so a second call does nothing; the entry stays. */
ZELM_API void ZelmFreeZelComponentMsg(ZelComponentMsg *msg)
{
    if (msg == nullptr) {
        return;
    }
    FreeTexts(msg);
}

/*
 * Releases what a request points to: every entry's texts, then the entry
 * array. The header itself, its count and its array pointer stay as they are.
 */
ZELM_API void ZelmCompDeepFreePublishReqMsg(ZelCompPublishReqMsg *req)
{
    if (req == nullptr) {
        return;
    }
    if (req->compList != nullptr) {
        for (uint32_t i = 0; i < req->compNum; ++i) {
            FreeTexts(&req->compList[i]);
        }
    }
    ZELM_Free(req->compList);
}

}  // extern "C"
