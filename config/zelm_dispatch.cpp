// Table message dispatch: each atom to the handler of its class, each outcome into the message's reply.
//
// Every message gets its own reply, made, filled, handed back and released
// within the one call. A handler's failure is recorded and the message goes on;
// a failure to read an atom or to record its outcome stops the message, and the
// reply then carries the return code 1.
#include "core/zelm_log.h"
#include "zelm.h"

namespace {

constexpr uint32_t kReplyKind = 3;
constexpr uint32_t kRetCodeStopped = 1;

void HandBackReply(QOF_RecordCtx *recordCtx, QOF_Msg *reply)
{
    (void)QOF_UloServerAddRecord(recordCtx, reply);
    QOF_FreeMsg(reply);
}

void HandBackStoppedReply(QOF_RecordCtx *recordCtx, QOF_Msg *reply)
{
    (void)QOF_AddRetCode(&reply, kRetCodeStopped);
    HandBackReply(recordCtx, reply);
}

}  // namespace

extern "C" {

/*
 * Handles one table message. 0 when its atoms were taken through, also when
 * the handling stopped early (the reply says so); 0xFFFFFFFF for a message
 * without atoms, and, with no reply at all, for a null argument, a reply that
 * cannot be made, or a call that does not come from the running library's own
 * registration (stopped library, or user data other than its record).
 */
ZELM_API uint32_t ZelmProcTuvTableMsg(void *userData, QOF_Msg *msg, QOF_RecordCtx *recordCtx)
{
    if (userData == nullptr || msg == nullptr) {
        return ZELM_ERR;
    }
    // Registrations outlive a stop; the record they carry may be gone.
    if (g_zelmLocalData == nullptr || userData != static_cast<void *>(g_zelmLocalData)) {
        return ZELM_ERR;
    }
    ZelmLocalData *data = static_cast<ZelmLocalData *>(userData);

    QOF_Msg *reply = nullptr;
    if (QOF_CreateMsg(msg, kReplyKind, &reply) != 0) {
        return ZELM_ERR;
    }
    const uint16_t atomNum = QOF_GetBlockNum(msg);
    if (atomNum == 0) {
        ZELM_LOG_ERROR("[ZELM] CFG Upgrade Msg, Atom BlockNum is zero!");
        HandBackStoppedReply(recordCtx, reply);
        return ZELM_ERR;
    }
    for (uint32_t i = 0; i < atomNum; ++i) {
        QOF_Atom *atom = nullptr;
        if (QOF_GetNextAtom(msg, &atom) != 0 || ZelmProTuvCfgAtom(msg, atom, &reply, data, recordCtx) != 0) {
            HandBackStoppedReply(recordCtx, reply);
            return ZELM_OK;
        }
    }
    HandBackReply(recordCtx, reply);
    return ZELM_OK;
}

/*
 * Hands one atom to the handler of its class and records the handler's code in
 * the reply; an atom of a class without a row counts as applied. 0xFFFFFFFF
 * when an argument is null, the class cannot be read or the outcome cannot be
 * recorded: the message then stops.
 */
ZELM_API uint32_t ZelmProTuvCfgAtom(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, ZelmLocalData *data,
                                    QOF_RecordCtx *recordCtx)
{
    if (msg == nullptr || atom == nullptr || replyRef == nullptr || data == nullptr) {
        return ZELM_ERR;
    }
    uint32_t classId = 0xFFFFFFFFu;
    const uint32_t ret = QOF_GetClassId(atom, &classId);
    if (ret != 0) {
        ZELM_LOG_ERROR("[ZELM] TUV_GetClassId failed! ret = %u", ret);
        return ZELM_ERR;
    }
    ZELM_LOG_INFO("[ZELM] GetClassId classId = %#x", classId);

    uint32_t code = ZELM_OK;
    for (uint32_t i = 0; data->msgTable != nullptr && i < data->msgTableNum; ++i) {
        const ZelmMsgTableEntry &row = data->msgTable[i];
        if (row.classId == classId) {
            code = (row.handler != nullptr) ? row.handler(msg, atom, replyRef, data, recordCtx) : ZELM_OK;
            break;
        }
    }
    return ZelmProcAddOpInfoArea(replyRef, atom, code);
}

/*
 * Records one atom's outcome: an op-info area {opCode, code, seq}, and for a
 * non-zero code an info item carrying it. 0xFFFFFFFF when there is no reply,
 * the atom cannot be read, or the reply refuses an addition.
 */
ZELM_API uint32_t ZelmProcAddOpInfoArea(QOF_Msg **replyRef, QOF_Atom *atom, uint32_t code)
{
    if (replyRef == nullptr || atom == nullptr || *replyRef == nullptr) {
        return ZELM_ERR;
    }
    uint16_t opCode = 0;
    uint16_t seq = 0;
    uint32_t ret = QOF_GetAtomOpCode(atom, &opCode);
    ret |= QOF_GetAtomSeq(atom, &seq);
    if (ret != 0) {
        return ZELM_ERR;
    }
    if (QOF_AddOpInfoArea(replyRef, opCode, code, seq) != 0) {
        return ZELM_ERR;
    }
    if (code != 0 && QOF_AddInfoItem(replyRef, code) != 0) {
        return ZELM_ERR;
    }
    return ZELM_OK;
}

}  // extern "C"
