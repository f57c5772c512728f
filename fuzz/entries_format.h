// The fuzz input format: the operations an input is decoded into and the choices each one makes.
//
// An input is read with FuzzedDataProvider: every number is a choice
// ConsumeIntegralInRange<uint32_t>(0, max) (taken from the end of the input),
// every text is ConsumeBytes (taken from the front). The decoder
// (entries_ops.cpp) and the seed writer (zelm_fuzz_seeds.cpp) both follow the
// order written next to each operation below; change them together.
#ifndef ZELM_FUZZ_ENTRIES_FORMAT_H
#define ZELM_FUZZ_ENTRIES_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace zf {

// The first choice of every operation: Pick(kOpCount - 1).
enum Op : uint32_t {
    kOpConfigMsg = 0,       // atoms Pick(kMaxAtoms), route Pick(4), then each atom (below)
    kOpOsNodeLink = 1,      // Node(), up Pick(1)
    kOpLocationStatus = 2,  // Node(), Name(), Index(), available Pick(1)
    kOpAgentScript = 3,     // Node(), refuse Pick(3), refuseStatus Pick(2)[+Word], fail Pick(3), failResult
                            // Pick(2)[+Word], noReply Pick(3), latency Pick(5), result Pick(3)[+Word]
    kOpAgentDown = 4,       // Node(), down Pick(1)
    kOpAdvanceClock = 5,    // Pick(7)[+Pick(65535)]
    kOpHaRole = 6,          // Pick(3)[+Word]
    kOpLifecycle = 7,       // Pick(3), then errNo Pick(3) when it stops
    kOpInject = 8,          // Pick(4); host: n Pick(23) or Pick(63); platform: name Pick(kInjectNum - 1), nth
                            // Pick(7), status Pick(1)[+Word]; text copy: n Pick(15)
    kOpFailPending = 9,     // errNo Pick(3)
    kOpDeclareNode = 10,    // chassis Pick(300), slot Pick(300), cpu Pick(300), agent Pick(1)
    kOpOddEntry = 11,       // Pick(4), then Node() and Index() for the report kinds
    kOpCount = 12
};

// kOpConfigMsg. route: 0-3 addresses the message to known class `route`, 4 to its first atom's class.
inline constexpr uint32_t kMaxAtoms = 6;
inline constexpr uint32_t kKnownClasses[4] = {0x4D30A02Bu, 0x4D30A031u, 0x4D30A02Du, 0x5D32B983u};
// Each atom: class Pick(9) (0-7 known[c & 3], 8 Word, 9 known[Pick(3)] with bit Pick(31) flipped),
// opCode Pick(4) (4: Pick(65535)), seq Pick(65535), record Pick(3) (3 or an unknown class: raw),
// then the record: raw is length Pick(kMaxRawRecord) and the bytes; structured is, per class,
//   location:   Index, Word LocType, Text(32) LocName, OsInst, Word LocGrp, LocParam1, Lrid,
//               LocParam2..6, Image, Text(32) LocExtName
//   logic grp:  Index, Word logicId, faultPolicy, grpParam1..3
//   component:  compInst Pick(8) (8: Word), CompType, Text(32) name, Word attr1, CfgStatus,
//               Word attr2, Index, Word attr3..attr9
//   compNode:   CompType, Text(32) typeName, class Pick(2) (2: Word), Text(64) file, Text(68) ext
inline constexpr uint32_t kMaxRawRecord = 200;

// Word: Pick(2): 0 -> 0, 1 -> Pick(15), 2 -> Pick(0xFFFFFFFF).
// Index (location index): Pick(9): 0-7 itself, 8 -> 0xFFFFFFFF, 9 -> Word.
// CompType: Pick(7): kCompTypes[i], 7 -> Word.
inline constexpr uint32_t kCompTypes[7] = {1u, 2u, 3u, 207u, 4u, 5u, 0u};
// CfgStatus: Pick(3): 0 -> bit 31 only, 1 -> all bits, 2 -> 0, 3 -> Word.
// OsInst: Node(), then high byte Pick(1) (1: Pick(255)) placed in bits 24-31.
// Node: Pick(kMaxNodes): a declared node by number (wrapping), kMaxNodes -> Pick(0xFFFFFF).
inline constexpr uint32_t kMaxNodes = 12;
// Image: Pick(5): kImages[i], 5 -> Text(32).
inline constexpr const char *kImages[5] = {"app.service", "x.services", "a.service.b", "app.Service", "appservice"};
// Text(width): Pick(3): 0 -> kWords[Pick(kWordNum - 1)], 1 -> length Pick(width) and bytes,
// 2 -> width bytes (the field holds no NUL), 3 -> empty. NUL bytes read become 'x'.
inline constexpr uint32_t kWordNum = 4;
inline constexpr const char *kWords[kWordNum] = {"alpha", "beta", "loc-7", "%s%n%x"};
// Name (service name): Pick(3): 0 -> kServices[Pick(2)], 1 -> length Pick(kMaxName) and bytes,
// 2 -> 63 characters, 3 -> 64 characters.
inline constexpr const char *kServices[3] = {"svc-a", "svc-b", "svc-c"};
inline constexpr uint32_t kMaxName = 100;

// kOpAgentScript latency choices.
inline constexpr uint64_t kLatencies[6] = {0, 1, 3, 50, 5000, 12000};
// kOpAdvanceClock: Pick(7): 0 runs what is due now, 1-6 run kAdvances[i] ms, 7 -> Pick(65535) ms.
inline constexpr uint64_t kAdvances[7] = {0, 1, 2, 100, 5000, 5001, 30000};
// kOpHaRole: Pick(3): kRoles[i], 3 -> Word.
inline constexpr uint32_t kRoles[3] = {0u, 1u, 0xFFFFFFFFu};
// kOpLifecycle: 0 stop and start, 1 stop, 2 start (again), 3 start with a null free hook.
// kOpInject: 0 host fails the n-th allocation (n = Pick(23) + 1), 1 host fails from the n-th on
// (n = Pick(63) + 1), 2 the n-th call of a platform function from now fails (n = Pick(7) + 1: a start
// makes up to eight calls of one function, four timer attributes per module), 3 clear every injected
// failure, 4 the library's
// n-th text copy (strdup, strndup) fails (n = Pick(15) + 1).
// Platform functions whose failure the library must survive. The withdrawals and destroys are
// not among them: a platform that keeps calling a stopped library's callbacks breaks its contract.
inline constexpr const char *kInjectable[] = {
    "QOF_TimerCreateAttr", "QOF_TimerSetAttr",     "QOF_TimerCreate",       "QOF_TimerStart",
    "QOF_TimerStop",       "QOF_UloServerSetClassidMsgHandler",             "QOF_CreateMsg",
    "QOF_GetBlockNum",     "QOF_GetNextAtom",      "QOF_GetClassId",        "QOF_GetAtomOpCode",
    "QOF_GetAtomSeq",      "QOF_GetRecData",       "QOF_AddOpInfoArea",     "QOF_AddInfoItem",
    "QOF_AddRetCode",      "QOF_UloServerAddRecord", "QOF_ConnRpcCall",     "KORM_GetLocalData",
    "KORM_FindKorbCb",     "KORM_SubOsNodeStatusIntf", "KORM_SubLocationStatus", "MIRL_GetCompHaRole",
};
inline constexpr uint32_t kInjectNum = sizeof(kInjectable) / sizeof(kInjectable[0]);
// kOpOddEntry: 0 both completions without input message, 1 both timer ticks without user data,
// 2 the three report callbacks without user data (Node, Index), 3 unknown module and stopped-library
// calls, 4 a second ZELM_Init while started.

// The cluster every input starts with: {chassis, slot, cpu, has an agent}.
struct NodeDecl {
    uint32_t chassis;
    uint32_t slot;
    uint32_t cpu;
    int hasAgent;
};
inline constexpr NodeDecl kCluster[4] = {{1, 1, 0, 1}, {1, 2, 0, 1}, {1, 3, 0, 0}, {2, 1, 1, 1}};

// Operations decoded per input at most; the rest of a longer input is ignored.
inline constexpr uint32_t kMaxOps = 200;

}  // namespace zf

#endif
