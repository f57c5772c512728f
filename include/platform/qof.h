/* QOF application framework: timers, configuration table messages and the Ulo server, RPC connections. */
#ifndef ZELM_PLATFORM_QOF_H
#define ZELM_PLATFORM_QOF_H

#include <stdint.h>

#include "layout_assert.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Timers --------------------------------------------------------------- */

typedef struct QOF_TimerAttr QOF_TimerAttr; /* opaque attribute set */
typedef struct QOF_Timer QOF_Timer;         /* opaque timer */

/* Called at every interval of a started timer; only the third argument is the caller's. */
typedef uint32_t (*QOF_TimerCallback)(QOF_Timer *timer, void *reserved, void *userData);

/* Value of attribute QOF_TIMER_ATTR_CALLBACK (16 bytes). */
typedef struct QOF_TimerCbPair {
    QOF_TimerCallback callback;
    void *userData;
} QOF_TimerCbPair;
ZELM_LAYOUT_ASSERT(sizeof(QOF_TimerCbPair) == 16); /* callback and user data */

#define QOF_TIMER_ATTR_CALLBACK 0u /* QOF_TimerCbPair, 16 bytes */
#define QOF_TIMER_ATTR_MODE 1u     /* u32; 1 = periodic */
#define QOF_TIMER_ATTR_INTERVAL 2u /* u32, milliseconds */
#define QOF_TIMER_ATTR_NAME 3u     /* the name's bytes, without terminator */

QOF_TimerAttr *QOF_TimerCreateAttr(void);
uint32_t QOF_TimerSetAttr(QOF_TimerAttr *attr, uint32_t id, const void *value, uint32_t len);
void QOF_TimerDestroyAttr(QOF_TimerAttr *attr);
/* The new timer, stopped, or null. The attribute set stays the caller's. */
QOF_Timer *QOF_TimerCreate(uintptr_t thHandle, QOF_TimerAttr *attr);
uint32_t QOF_TimerStart(QOF_Timer *timer);
uint32_t QOF_TimerStop(QOF_Timer *timer);
uint32_t QOF_TimerDestroy(QOF_Timer *timer);

/* ---- Configuration table messages and the Ulo server ----------------------- */

typedef struct QOF_Msg QOF_Msg;             /* a table message or a reply */
typedef struct QOF_Atom QOF_Atom;           /* one atom of a table message */
typedef struct QOF_RecordCtx QOF_RecordCtx; /* the server's context for one message */

/* Called once per table message of a registered class. */
typedef uint32_t (*QOF_UloMsgHandler)(void *userData, QOF_Msg *msg, QOF_RecordCtx *recordCtx);

uint32_t QOF_UloServerSetClassidMsgHandler(uint32_t classId, uint32_t regArg, QOF_UloMsgHandler handler,
                                           void *userData);
uint32_t QOF_CreateMsg(QOF_Msg *msg, uint32_t kind, QOF_Msg **reply);
uint16_t QOF_GetBlockNum(QOF_Msg *msg);
uint32_t QOF_GetNextAtom(QOF_Msg *msg, QOF_Atom **atom);
uint32_t QOF_GetClassId(QOF_Atom *atom, uint32_t *classId);
uint32_t QOF_GetAtomOpCode(QOF_Atom *atom, uint16_t *opCode);
uint32_t QOF_GetAtomSeq(QOF_Atom *atom, uint16_t *seq);
/* The atom's record bytes; they stay the server's. */
uint32_t QOF_GetRecData(QOF_Atom *atom, void **rec);
uint32_t QOF_AddOpInfoArea(QOF_Msg **reply, uint16_t opCode, uint32_t code, uint16_t seq);
uint32_t QOF_AddInfoItem(QOF_Msg **reply, uint32_t code);
uint32_t QOF_AddRetCode(QOF_Msg **reply, uint32_t retCode);
uint32_t QOF_UloServerAddRecord(QOF_RecordCtx *recordCtx, QOF_Msg *reply);
void QOF_FreeMsg(QOF_Msg *msg);

/* ---- RPC ------------------------------------------------------------------- */

/* A connection handle: a node agent's server handle or a location's channel. 0 is none. */
typedef uintptr_t QOF_ConnHandle;

/* Completion status, passed by value. */
typedef struct QOF_RpcResult {
    uint32_t success;
    uint32_t errNo;
} QOF_RpcResult;

/*
 * Called once, later, for every accepted call: `inMsg` holds the request bytes
 * as sent (the framework's copy), `outMsg` the peer's reply (first u32: the
 * peer's result) or null.
 */
typedef void (*QOF_RpcCompletion)(QOF_RpcResult result, void *inMsg, void *outMsg, void *userData);

typedef struct QOF_RpcCbPair {
    QOF_RpcCompletion completion;
    void *userData;
} QOF_RpcCbPair;

/*
 * 0: accepted; the completion will be called exactly once, never from inside
 * this call. Non-zero: nothing was sent and no completion will come.
 */
uint32_t QOF_ConnRpcCall(QOF_ConnHandle handle, const char *method, const void *req, uint32_t reqLen,
                         const QOF_RpcCbPair *completion, uint32_t flags);

#ifdef __cplusplus
}
#endif

#endif
