// The message table: the four configuration classes, their handlers, and their registration.
#include <cstddef>

#include "core/zelm_log.h"
#include "platform/bounds.h"
#include "zelm.h"

namespace {

constexpr ZelmMsgTableEntry kZelmMsgTable[ZELM_MSG_TABLE_NUM] = {
    {0, ZELM_CLASS_LOCATION, ZELM_ProcTuvLocation},
    {0, ZELM_CLASS_LOGIC_LOC_GRP, ZELM_ProcTuvLocLogicGrp},
    {0, ZELM_CLASS_COMPONENT, ZELM_ProcTuvComponent},
    {0, ZELM_CLASS_COMP_NODE, ZELM_ProcTuvCompNode},
};

// The table never held is marked by null and 0 rows, so that the stop releases only a table still held.
void DropMsgTable(ZelmLocalData *data)
{
    ZELM_Free(data->msgTable);
    data->msgTable = nullptr;
    data->msgTableNum = 0;
}

}  // namespace

extern "C" {

/*
 * Copies the table into `data` and registers ZelmProcTuvTableMsg for each
 * class, with `data` as its user data. 0xFFFFFFFF when the copy cannot be made
 * or a registration is refused; the copy is then released, and the classes
 * registered before the refused one stay registered.
 */
ZELM_API uint32_t ZELM_RegisterMsgTable(ZelmLocalData *data)
{
    if (data == nullptr) {
        return ZELM_ERR;
    }
    data->msgTable = static_cast<ZelmMsgTableEntry *>(ZELM_Malloc(sizeof(kZelmMsgTable)));
    if (data->msgTable == nullptr) {
        data->msgTableNum = 0;
        ZELM_LOG_ERROR("[ZELM] register msgTable failed. create msgTable error.");
        return ZELM_ERR;
    }
    if (memcpy_s(data->msgTable, sizeof(kZelmMsgTable), kZelmMsgTable, sizeof(kZelmMsgTable)) != 0) {
        DropMsgTable(data);
        return ZELM_ERR;
    }
    data->msgTableNum = ZELM_MSG_TABLE_NUM;

    for (uint32_t i = 0; i < data->msgTableNum; ++i) {
        const ZelmMsgTableEntry &row = data->msgTable[i];
        const uint32_t ret = QOF_UloServerSetClassidMsgHandler(row.classId, row.regArg, ZelmProcTuvTableMsg, data);
        if (ret != 0) {
            ZELM_LOG_ERROR("[ZELM] Ulo Server Set Classid Msg failed, ret=%#x index=%#x.", ret, i);
            DropMsgTable(data);
            return ZELM_ERR;
        }
    }
    return ZELM_OK;
}

}  // extern "C"
