/*
 * Control API of the stand-in platform (libzelm_platform.so), for hosts and
 * tests. Not part of the platform interface: a host that links the real
 * platform has none of this.
 *
 * The stand-in is deterministic and single-threaded. Everything it delivers
 * to its users (timer ticks, RPC completions, status reports and
 * configuration messages raised by the host) runs as one step of its event
 * loop, on a virtual clock counted in milliseconds. Nothing is delivered from
 * inside the call that caused it: an accepted RPC call completes in a later
 * step, a raised report is delivered when the loop runs.
 */
#ifndef ZELM_STANDIN_H
#define ZELM_STANDIN_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "platform/axo_avl3.h"
#include "platform/korm.h"
#include "platform/qof.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ==== Whole stand-in ===================================================== */

/*
 * Returns every part of the stand-in to its initial state: clock at 0, no
 * pending step, no timer, no registration, no OS node, HA role 0, no injected
 * failure, recorders empty, log sink = recorder. Pending RPC calls are
 * completed with failure first, so their requests are released by their
 * owners; timers still alive are dropped without a callback.
 */
void STANDIN_Reset(void);

/* ==== Event loop and virtual clock ======================================== */

typedef void (*STANDIN_StepFn)(void *arg);

uint64_t STANDIN_Now(void);
/* Posts fn(arg) to run at now + delayMs; steps due at the same time run in posting order. */
void STANDIN_Post(uint64_t delayMs, STANDIN_StepFn fn, void *arg);
/*
 * Runs every step due up to and including timeMs, then sets the clock to timeMs
 * (never backwards). Returns the steps run. A Run call made from inside a step
 * runs nothing and returns 0: steps never nest.
 */
uint64_t STANDIN_RunUntil(uint64_t timeMs);
uint64_t STANDIN_RunFor(uint64_t durationMs);
/* Runs the steps due now (also those they post for now). */
uint64_t STANDIN_RunDue(void);
/*
 * Runs steps until none is pending or maxSteps have run. A started periodic
 * timer never lets the loop become idle: the bound is what ends such a run.
 */
uint64_t STANDIN_RunUntilIdle(uint64_t maxSteps);
/* Number of steps pending. Periodic timers count as one pending step each. */
size_t STANDIN_PendingSteps(void);
/* Time of the next pending step, or UINT64_MAX when none. */
uint64_t STANDIN_NextStepTime(void);

/* ==== Host allocator ========================================================= */

/*
 * An allocator pair with the shape of ZelmMallocFn / ZelmFreeFn that counts
 * what it hands out. Its allocations fail through the failure-injection table
 * under the name "STANDIN_HostMalloc"; STANDIN_CallCount of that name counts
 * the attempts since reset. Reset keeps the live blocks: they are memory that
 * is still out there.
 */
void *STANDIN_HostMalloc(size_t size);
void STANDIN_HostFree(void *ptr);
size_t STANDIN_HostLiveBlocks(void);
size_t STANDIN_HostLiveBytes(void);
size_t STANDIN_HostPeakBytes(void);
/*
 * With `on` non-zero, every block handed out from then on is filled with
 * garbage, bytes of a fixed pseudo-random sequence, as a host allocator that
 * never clears may leave them; with 0 (the default) blocks are as malloc
 * gives them. Reset turns the filling off and restarts the sequence.
 */
void STANDIN_HostFillWithGarbage(int on);

/* ==== LORN: log sinks and recorder ============================================= */

typedef enum STANDIN_LogSinkKind {
    STANDIN_LOG_RECORD = 0, /* keep every event in memory for queries (default) */
    STANDIN_LOG_TEXT = 1,   /* write one line per event to a stream */
    STANDIN_LOG_COUNT = 2   /* count events, format nothing */
} STANDIN_LogSinkKind;

/*
 * Selects the sink. With STANDIN_LOG_TEXT, `stream` receives lines such as
 * "000012.500 INFO  ZelmLinkAddLocation: zelm link ..." (virtual seconds,
 * level, function, body), from the plain log only; the diagnostic call is
 * counted but not written twice.
 */
void STANDIN_LogSetSink(STANDIN_LogSinkKind kind, FILE *stream);

typedef struct STANDIN_LogEvent {
    uint32_t diagnostic; /* 0: LORN_LogWrite, 1: LORN_DLogWrite */
    uint32_t level;
    uint32_t code;
    uint32_t modId;    /* diagnostic calls only; 0 for plain ones */
    uint32_t reserved; /* plain calls: the third argument */
    uint64_t timeMs;
    const char *funcName;
    const char *format; /* the format string as passed */
    const char *body;   /* the formatted message after the "%s:" / "[%#x]%s:" prefix */
    const char *line;   /* the whole formatted string, prefix included */
} STANDIN_LogEvent;

/* Optional extra observer of every event, called after the sink. */
typedef void (*STANDIN_LogObserver)(const STANDIN_LogEvent *event, void *arg);
void STANDIN_LogSetObserver(STANDIN_LogObserver observer, void *arg);

size_t STANDIN_LogCount(void); /* events recorded (both calls count) */
const STANDIN_LogEvent *STANDIN_LogGet(size_t index);
uint64_t STANDIN_LogTotal(void); /* events seen by any sink since reset */
void STANDIN_LogClear(void);

/* ==== Failure injection ========================================================= */

/*
 * One table for every call that can be made to fail, named by the function's
 * own name: the host allocator ("STANDIN_HostMalloc"), the text copies
 * ("strdup", "strndup"), the bounded functions ("memcpy_s", "memset_s",
 * "strcpy_s") and the platform services ("QOF_TimerCreate",
 * "KORM_SubLocationStatus", ...). A failing status function returns `status`
 * (0 stands for 0xFFFFFFFF), a pointer function null, QOF_GetBlockNum 0 atoms;
 * a failing bounded function leaves its destination as a refusal does.
 * Releases, withdrawals and destroys are counted but cannot be armed, and so
 * are the AVL3 tree functions ("AXO_AVL3_Next", ...), which cannot fail.
 */
/* Fails the n-th call from now (1 = the next), once. 0, or non-zero for a name that cannot fail. */
int STANDIN_FailCall(const char *function, uint64_t nth, uint32_t status);
/* Fails every call from the n-th from now on, until cleared. */
int STANDIN_FailFrom(const char *function, uint64_t nth, uint32_t status);
void STANDIN_FailClear(const char *function); /* null clears all */
/* How often the named function was called since reset. */
uint64_t STANDIN_CallCount(const char *function);
/* The index-th name that can be armed, or null past the last. */
const char *STANDIN_FailPoint(size_t index);
/*
 * Counts one call of the named function and returns the status it is armed to
 * fail with, 0 to go ahead (always 0 for a name not in the table). For the
 * doubles a host puts beside the stand-in that fail through this table: the
 * test suite's own strdup and strndup ask it under those names.
 */
uint32_t STANDIN_FailingCall(const char *function);

/* ==== QOF timers ================================================================== */

/*
 * A started timer calls its callback one interval after Start, then every
 * interval until stopped (mode 1; any other mode ticks once; interval 0 runs
 * as 1 ms). Start on a running timer keeps its current period, so repeated
 * Start calls cannot postpone the next tick; Stop on a stopped timer does
 * nothing. A destroyed timer never ticks again, also when a tick was due; later
 * calls on it return non-zero. QOF_TimerCreate refuses a thread handle of 0
 * and an attribute set without a callback.
 */

typedef enum STANDIN_TimerEventKind {
    STANDIN_TIMER_CREATE = 0,
    STANDIN_TIMER_START = 1,
    STANDIN_TIMER_STOP = 2,
    STANDIN_TIMER_TICK = 3,
    STANDIN_TIMER_DESTROY = 4
} STANDIN_TimerEventKind;

typedef struct STANDIN_TimerEvent {
    STANDIN_TimerEventKind kind;
    uint64_t timeMs;
    uint32_t timerId;    /* unique per created timer since reset, from 1 */
    uint32_t wasRunning; /* START/STOP: whether it ran before the call */
    const char *name;    /* attribute 3, terminated */
} STANDIN_TimerEvent;

/* Attributes a created timer was made with. */
typedef struct STANDIN_TimerInfo {
    uint32_t timerId;
    uintptr_t thHandle;
    QOF_TimerCbPair cbPair;
    uint32_t mode;     /* attribute 1 */
    uint32_t interval; /* attribute 2 */
    uint32_t nameLen;  /* length given with attribute 3 */
    const char *name;
    uint32_t running;
    uint32_t alive; /* 0 once destroyed */
} STANDIN_TimerInfo;

size_t STANDIN_TimerEventCount(void);
const STANDIN_TimerEvent *STANDIN_TimerEventGet(size_t index);
void STANDIN_TimerEventClear(void);
/* Info on the latest timer created with this name, or null. */
const STANDIN_TimerInfo *STANDIN_TimerFind(const char *name);
size_t STANDIN_TimerAliveCount(void);
size_t STANDIN_TimerAttrAliveCount(void);

/* ==== QOF configuration server ===================================================== */

typedef struct STANDIN_Msg STANDIN_Msg; /* a table message being built by the host */

/* Record length of each class the library handles: shorter records are zero-padded to it. */
uint32_t STANDIN_ClassRecordLen(uint32_t classId);

STANDIN_Msg *STANDIN_MsgNew(void);
/* Appends one atom; the record bytes are copied. */
void STANDIN_MsgAddAtom(STANDIN_Msg *msg, uint32_t classId, uint16_t opCode, uint16_t seq, const void *record,
                        uint32_t recordLen);
/*
 * Delivers the message to the handler registered for the class of its first
 * atom (every atom's class for a message of one class), as a loop step posted
 * now; the message is released after delivery. Returns 0, or non-zero when no
 * handler is registered (the message is released and nothing is posted).
 */
uint32_t STANDIN_MsgPost(STANDIN_Msg *msg);
/*
 * Delivers at once, outside the loop; releases the message. Returns 0 and the
 * handler's result in *handlerResult (may be null), or non-zero when no handler is registered.
 */
uint32_t STANDIN_MsgDeliverNow(STANDIN_Msg *msg, uint32_t *handlerResult);
void STANDIN_MsgFree(STANDIN_Msg *msg);
/* Addresses the message to a class other than its first atom's (needed for a message without atoms). */
void STANDIN_MsgSetClass(STANDIN_Msg *msg, uint32_t classId);
/*
 * Called as a handler fetches an atom with QOF_GetNextAtom, before the atom is
 * handed out; `index` counts the message's atoms from 0. The handler is done
 * with the atoms before it, so a host sees the library between two atoms of
 * one message. What the observer calls is left out of the message's entry
 * cost. Null removes the observer; STANDIN_Reset removes it too.
 */
typedef void (*STANDIN_AtomObserver)(size_t index, void *arg);
void STANDIN_MsgSetAtomObserver(STANDIN_AtomObserver observer, void *arg);

typedef struct STANDIN_OpInfo {
    uint16_t opCode;
    uint16_t seq;
    uint32_t code;
} STANDIN_OpInfo;

typedef struct STANDIN_Reply {
    uint32_t handlerResult; /* what the handler returned for the message */
    uint32_t handedBack;    /* 1 when QOF_UloServerAddRecord received it */
    uint32_t hasRetCode;
    uint32_t retCode;
    uint32_t createKind; /* the second argument of QOF_CreateMsg */
    size_t opInfoNum;
    const STANDIN_OpInfo *opInfos;
    size_t infoItemNum;
    const uint32_t *infoItems;
} STANDIN_Reply;

/* Replies handed back with QOF_UloServerAddRecord, in order. */
size_t STANDIN_ReplyCount(void);
const STANDIN_Reply *STANDIN_ReplyGet(size_t index);
void STANDIN_ReplyClear(void);
/* Replies made with QOF_CreateMsg and not yet released with QOF_FreeMsg. */
size_t STANDIN_MsgAliveCount(void);
/* QOF_FreeMsg calls on something that is not a live reply (a released one, a table message). */
uint64_t STANDIN_MsgBadFreeCount(void);
/* Registered handler of a class, or null. */
QOF_UloMsgHandler STANDIN_UloHandler(uint32_t classId, void **userData);

/* ==== RPC and node agents ========================================================== */

/* A location entry as the agent decoded it from a "KorbLocSubscribe" request. */
typedef struct STANDIN_LocEntry {
    uint32_t LocId, LocType, OsInst, LocGrp, LocParam1, Lrid;
    uint32_t LocParam2, LocParam3, LocParam4, LocParam5, LocParam6;
    uint32_t reserved1;
    uint32_t logicId, faultPolicy, grpParam1, grpParam2, grpParam3;
    uint32_t reserved2;
    /* At most 255 characters, "" for a null pointer. The stand-in keeps one copy of each distinct text, until reset. */
    const char *LocName, *imageName, *LocExtName;
    uint32_t nullTexts; /* bit 0 LocName, bit 1 imageName, bit 2 LocExtName were null */
} STANDIN_LocEntry;

/* A component entry as the agent decoded it from a "KorbCompSubscribe" request. */
typedef struct STANDIN_CompEntry {
    uint32_t compType, reserved1, attr7, compClass, compInst, attr1, cfgStatus, attr2, locIndex;
    uint32_t attr3, attr4, attr5, attr6, attr8, attr9, reserved2;
    const char *compTypeName, *compFileName, *compExtName, *compInstName; /* as the location entry's texts */
    uint32_t nullTexts; /* bits 0..3 in the order of the texts above */
} STANDIN_CompEntry;

typedef enum STANDIN_RpcKind {
    STANDIN_RPC_LOC = 0,  /* "KorbLocSubscribe" */
    STANDIN_RPC_COMP = 1, /* "KorbCompSubscribe" */
    STANDIN_RPC_OTHER = 2
} STANDIN_RpcKind;

typedef enum STANDIN_RpcOutcome {
    STANDIN_RPC_PENDING = 0,
    STANDIN_RPC_REFUSED = 1,  /* QOF_ConnRpcCall returned non-zero; no completion */
    STANDIN_RPC_COMPLETED = 2 /* the completion was called */
} STANDIN_RpcOutcome;

typedef struct STANDIN_RpcCall {
    uint64_t callId; /* from 1, in call order */
    uint64_t timeMs; /* when the call was made */
    uint64_t completedMs;
    QOF_ConnHandle handle;
    STANDIN_RpcKind kind;
    const char *method;
    uint32_t reqLen;
    uint32_t callStatus; /* what QOF_ConnRpcCall returned */
    uint32_t flags;      /* its last argument */
    STANDIN_RpcOutcome outcome;
    QOF_RpcResult result; /* status given to the completion */
    uint32_t replied;     /* 1 when the completion got an output message */
    uint32_t replyResult; /* its first u32 */
    /* decoded request */
    uint32_t opType;
    uint32_t locIndex; /* component requests */
    uint32_t reserved; /* component requests: offset 12 */
    uint32_t entryNum; /* locNum or compNum */
    const STANDIN_LocEntry *locEntries;
    const STANDIN_CompEntry *compEntries;
    uint32_t decodedNum; /* entries decoded: entryNum, or fewer when the list pointer is null or the request short */
    uint32_t changedNum; /* entries whose applying changed what the agent holds (set at completion) */
} STANDIN_RpcCall;

size_t STANDIN_RpcCallCount(void);
const STANDIN_RpcCall *STANDIN_RpcCallGet(size_t index);
void STANDIN_RpcCallClear(void);
size_t STANDIN_RpcPendingCount(void);
/* Called after every call and every completion (trace output); null removes it. */
typedef void (*STANDIN_RpcObserver)(const STANDIN_RpcCall *call, int completed, void *arg);
void STANDIN_RpcSetObserver(STANDIN_RpcObserver observer, void *arg);
/*
 * Completes every pending call at once with failure ({0, errNo}, no output
 * message), in call order, outside the loop. A host calls this before it
 * stops the library, so that every request is released by its owner.
 */
void STANDIN_RpcFailPending(uint32_t errNo);

/*
 * Agent behaviour, per server handle. An accepted call completes after the
 * agent's latency (default 1 ms) with success {1, 0} and an output message
 * whose first u32 is the agent's result (default 0).
 * Holding: "KorbLocSubscribe" opType 0 (add) and 2 (smooth) upsert locations
 * by LocId, 1 (delete) removes them; "KorbCompSubscribe" does the same for
 * components by (locIndex, compInst). An agent applies a request when it
 * answers with result 0, and holds nothing new otherwise.
 */
typedef struct STANDIN_AgentScript {
    uint32_t refuseNext;   /* refuse the next N calls: non-zero status, no completion */
    uint32_t refuseStatus; /* the status returned when refusing (default 1 when 0) */
    uint32_t failNext;     /* answer the next N accepted calls with failResult */
    uint32_t failResult;   /* default 1 when 0 */
    uint32_t noReplyNext;  /* complete the next N accepted calls without output message */
    uint64_t latencyMs;    /* delay before completion; 0 means 1 */
    uint32_t result;       /* sticky result for every other call (0 = accept) */
} STANDIN_AgentScript;

int STANDIN_AgentGetScript(QOF_ConnHandle handle, STANDIN_AgentScript *script);
int STANDIN_AgentSetScript(QOF_ConnHandle handle, const STANDIN_AgentScript *script);
/*
 * Takes the agent down: calls are refused with status 2 until it is back up;
 * calls pending on it complete at once with failure {0, 1} and no output.
 */
int STANDIN_AgentSetDown(QOF_ConnHandle handle, int down);

/*
 * What an agent holds: locations by LocId, components by the request's
 * locIndex and their compInst. Find copies the held entry into *entry and
 * returns 0, or returns non-zero and leaves *entry as it was when the agent
 * holds none. ForEach calls `visit` with every held entry in ascending key
 * order; the holdings must not change meanwhile.
 */
size_t STANDIN_AgentLocCount(QOF_ConnHandle handle);
int STANDIN_AgentLocFind(QOF_ConnHandle handle, uint32_t locId, STANDIN_LocEntry *entry);
typedef void (*STANDIN_AgentLocVisit)(const STANDIN_LocEntry *entry, void *arg);
void STANDIN_AgentLocForEach(QOF_ConnHandle handle, STANDIN_AgentLocVisit visit, void *arg);
size_t STANDIN_AgentCompCount(QOF_ConnHandle handle);
int STANDIN_AgentCompFind(QOF_ConnHandle handle, uint32_t locIndex, uint32_t compInst, STANDIN_CompEntry *entry);
typedef void (*STANDIN_AgentCompVisit)(uint32_t locIndex, const STANDIN_CompEntry *entry, void *arg);
void STANDIN_AgentCompForEach(QOF_ConnHandle handle, STANDIN_AgentCompVisit visit, void *arg);

/* ==== Entries: what each call into a user costs ======================================= */

/*
 * Every call the stand-in makes into its users (a configuration message to its
 * handler, an RPC completion, a timer tick, an OS-node link report, a
 * location-status report) is an entry; so is whatever a host brackets with
 * STANDIN_EntryBegin and STANDIN_EntryEnd (its own calls into the library). An
 * entry observer learns, after each entry, what it was and what it cost:
 * calls of the AVL3 tree functions, host allocations and RPC requests made
 * while it ran. Counts only: the same run gives the same figures. An entry
 * made while another runs (an RPC completion failed from inside a host's
 * bracket) counts towards the outer one.
 */
typedef enum STANDIN_EntryKind {
    STANDIN_ENTRY_CONFIG = 0,          /* a configuration message, to the handler of its class */
    STANDIN_ENTRY_RPC_COMPLETION = 1,  /* an RPC completion */
    STANDIN_ENTRY_TIMER_TICK = 2,      /* a timer's tick, to its callback */
    STANDIN_ENTRY_OSNODE_LINK = 3,     /* an OS-node link report */
    STANDIN_ENTRY_LOCATION_STATUS = 4, /* a location-status report */
    STANDIN_ENTRY_HOST = 5,            /* a host's own calls, between STANDIN_EntryBegin and STANDIN_EntryEnd */
    STANDIN_ENTRY_KINDS = 6
} STANDIN_EntryKind;

/* The tree functions an entry's cost counts, by their names' last word. */
typedef enum STANDIN_TreeFunction {
    STANDIN_TREE_FIRST = 0,  /* AXO_AVL3_First */
    STANDIN_TREE_NEXT = 1,   /* AXO_AVL3_Next */
    STANDIN_TREE_FIND = 2,   /* AXO_AVL3_Find */
    STANDIN_TREE_INSERT = 3, /* AXO_AVL3_Insert_Or_Find */
    STANDIN_TREE_DELETE = 4, /* AXO_AVL3_Delete */
    STANDIN_TREE_FUNCTIONS = 5
} STANDIN_TreeFunction;

typedef struct STANDIN_Entry {
    STANDIN_EntryKind kind;
    uint64_t timeMs;
    /* What it was; pointers are valid during the observer's call only. */
    const STANDIN_RpcCall *call; /* RPC completion: the call it completes */
    const char *name;            /* timer tick: the timer's name; location status: the service name */
    uint32_t timerId;            /* timer tick */
    uint32_t osNodeId;           /* link and location-status reports */
    uint32_t up;                 /* link: up; location status: available */
    uint32_t locIndex;           /* location status */
    uint32_t atoms;              /* configuration message */
    /* What it cost. */
    uint64_t treeCalls[STANDIN_TREE_FUNCTIONS];
    uint64_t hostAllocs; /* STANDIN_HostMalloc calls */
    uint64_t hostBytes;  /* the bytes they asked for */
    uint64_t rpcCalls;   /* QOF_ConnRpcCall calls */
    uint64_t rpcEntries; /* the entries their requests carried (locNum or compNum) */
} STANDIN_Entry;

typedef void (*STANDIN_EntryObserver)(const STANDIN_Entry *entry, void *arg);
/* Called after every entry from now on; null removes it. Reset removes it. */
void STANDIN_EntrySetObserver(STANDIN_EntryObserver observer, void *arg);
/* Brackets a host's own calls into a user as one entry of kind STANDIN_ENTRY_HOST. */
void STANDIN_EntryBegin(void);
void STANDIN_EntryEnd(void);

/* ==== KORM node-status service and MIRL HA role ======================================== */

/* (cpu << 16) + (chassis << 8) + slot, cut to 24 bits. */
uint32_t STANDIN_OsNodeId(uint32_t chassis, uint32_t slot, uint32_t cpu);
/*
 * Declares an OS node. With an agent, the node gets a unique non-zero server
 * handle. Returns the node's identifier. Declaring it again updates hasAgent.
 */
uint32_t STANDIN_KormAddOsNode(uint32_t chassis, uint32_t slot, uint32_t cpu, int hasAgent);
/* The agent's server handle of a node, 0 when it has none. */
QOF_ConnHandle STANDIN_KormServerHandle(uint32_t osNodeId);
/* Posts an OS-node link report (a loop step now) to the current subscriber, if any. Non-zero for an unknown node. */
int STANDIN_KormRaiseOsNodeLink(uint32_t osNodeId, int up);
/* Posts a location-status report now, to the current subscriber, if any. */
void STANDIN_KormRaiseLocationStatus(uint32_t osNodeId, const char *serviceName, uint32_t locIndex, int available);
void STANDIN_MirlSetHaRole(uint32_t role);
uint32_t STANDIN_MirlHaRole(void);
/* The service's local data, also while KORM_GetLocalData is made to fail. */
KORM_LocalData *STANDIN_KormLocalData(void);
/* Whether a subscription is in place. */
int STANDIN_KormOsNodeSubscribed(void);
int STANDIN_KormLocationSubscribed(void);

#ifdef __cplusplus
}
#endif

#endif
