// Shared fixtures and helpers of the example tests.
#include "support/zelm_test.h"

#include "platform/lorn.h"
#include "support/lib_world.h"
#include "support/text_copies.h"

namespace zt {

ZelmLocInstCfg LocCfg(uint32_t locId, uint32_t osInst, const char *name, const char *image)
{
    ZelmLocInstCfg cfg{};
    cfg.LocId = locId;
    cfg.OsInst = osInst;
    SetText(cfg.LocName, name);
    SetText(cfg.imageName, image);
    SetText(cfg.LocExtName, "ext");
    return cfg;
}

ZelmLogicLocGrpCfg GrpCfg(uint32_t locIndex, uint32_t logicId, uint32_t faultPolicy)
{
    return ZelmLogicLocGrpCfg{locIndex, logicId, faultPolicy, 0, 0, 0};
}

ZelmCompInstCfg CompCfg(uint32_t locIndex, uint32_t compInst, uint32_t compType, const char *name, int32_t cfgStatus)
{
    ZelmCompInstCfg cfg{};
    cfg.locIndex = locIndex;
    cfg.compInst = compInst;
    cfg.compType = compType;
    cfg.cfgStatus = cfgStatus;
    SetText(cfg.compInstName, name);
    return cfg;
}

ZelmCompNodeCfg CompNodeCfg(uint32_t compType, const char *typeName, uint32_t compClass)
{
    ZelmCompNodeCfg cfg{};
    cfg.compType = compType;
    cfg.compClass = compClass;
    SetText(cfg.compTypeName, typeName);
    SetText(cfg.compFileName, "comp.bin");
    SetText(cfg.compExtName, "ext");
    return cfg;
}

uint32_t AtomBytes(uint32_t classId, uint16_t opCode, const void *record, uint32_t len)
{
    const AtomAnswer answer = DeliverAtom(classId, opCode, record, len);
    if (!answer.trouble.empty()) {
        ADD_FAILURE() << answer.trouble << " (class " << std::hex << classId << ")";
        return 0xDEADu;
    }
    return answer.reply->opInfos[0].code;
}

void Settle()
{
    STANDIN_RunFor(10);
}

void Tick()
{
    STANDIN_RunFor(5000);
    Settle();
}

QOF_ConnHandle Announce(uint32_t locIndex, uint32_t slot)
{
    const uint32_t node = STANDIN_KormAddOsNode(0, slot, 0, 1);
    EXPECT_EQ(STANDIN_KormRaiseOsNodeLink(node, 1), 0);
    STANDIN_KormRaiseLocationStatus(node, (std::string("svc") + std::to_string(locIndex)).c_str(), locIndex, 1);
    STANDIN_RunDue();
    return STANDIN_KormServerHandle(node);
}

std::vector<const STANDIN_RpcCall *> Calls(STANDIN_RpcKind kind, size_t from)
{
    std::vector<const STANDIN_RpcCall *> calls;
    for (size_t i = from; i < STANDIN_RpcCallCount(); ++i) {
        if (STANDIN_RpcCallGet(i)->kind == kind) {
            calls.push_back(STANDIN_RpcCallGet(i));
        }
    }
    return calls;
}

std::vector<LogLine> Log(size_t from)
{
    std::vector<LogLine> lines;
    for (size_t i = from; i < STANDIN_LogCount(); ++i) {
        const STANDIN_LogEvent *ev = STANDIN_LogGet(i);
        if (ev->diagnostic == 0) {
            lines.push_back({ev->level, ev->funcName, ev->body});
        }
    }
    return lines;
}

bool Logged(uint32_t level, const std::string &func, const std::string &text, size_t from)
{
    for (const LogLine &l : Log(from)) {
        if (l.level == level && l.func == func && l.body.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

namespace {

// What is wrong with the two writes of the plain event `at`: the plain one with its level's code,
// then, at once, its diagnostic twin: module 0x80cf0026, the same level, code, function and body,
// from the same format with "[%#x]" in front. "" when nothing is.
std::string TwinTrouble(size_t at)
{
    const STANDIN_LogEvent *plain = STANDIN_LogGet(at);
    const STANDIN_LogEvent *diag = STANDIN_LogGet(at + 1);
    const uint32_t code = plain->level == LORN_LEVEL_INFO ? 0u : 0xFFFFFFFFu;
    if (plain->code != code || plain->reserved != 0) {
        return "the plain write has code " + std::to_string(plain->code) + ", third argument " +
               std::to_string(plain->reserved);
    }
    if (diag == nullptr || diag->diagnostic == 0) {
        return "no diagnostic write follows the plain one";
    }
    if (diag->modId != 0x80cf0026u || diag->level != plain->level || diag->code != code ||
        std::string(diag->funcName) != plain->funcName || std::string(diag->body) != plain->body ||
        std::string(diag->format) != std::string("[%#x]") + plain->format) {
        return std::string("the diagnostic write differs: ") + diag->line;
    }
    return "";
}

}  // namespace

void ExpectLogTable(const std::vector<LogCase> &table)
{
    for (const LogCase &row : table) {
        const size_t from = STANDIN_LogCount();
        row.act();
        size_t at = from;
        for (; at < STANDIN_LogCount(); ++at) {
            const STANDIN_LogEvent *ev = STANDIN_LogGet(at);
            if (ev->diagnostic == 0 && ev->level == row.level && row.func == std::string(ev->funcName) &&
                std::string(ev->body).find(row.text) != std::string::npos) {
                break;
            }
        }
        if (at == STANDIN_LogCount()) {
            ADD_FAILURE() << "no line from " << row.func << " at level " << row.level << " with \"" << row.text << "\"";
        } else {
            EXPECT_EQ(TwinTrouble(at), "") << row.func << ": " << STANDIN_LogGet(at)->line;
        }
    }
}

void ExpectFaultTable(STANDIN_RpcKind kind, const std::vector<FaultCase> &table)
{
    for (const FaultCase &row : table) {
        const size_t sent = Calls(kind).size();
        const size_t from = STANDIN_LogCount();
        ASSERT_EQ(STANDIN_FailCall(row.point, row.nth, 0), 0);
        EXPECT_EQ(row.act(), row.code) << row.point << " #" << row.nth;
        STANDIN_FailClear(nullptr);
        EXPECT_EQ(Calls(kind).size(), sent + row.sent) << row.point << " #" << row.nth;
        for (const Reporter &r : row.reporters) {
            EXPECT_TRUE(Logged(r.level, r.func, r.text, from)) << row.point << " #" << row.nth << ": " << r.func;
        }
        if (row.left) {
            EXPECT_EQ(row.left(from), "") << row.point << " #" << row.nth;
        }
    }
}

}  // namespace zt

void ZelmTest::SetUp()
{
    STANDIN_Reset();
    hostBefore_ = STANDIN_HostLiveBlocks();
    textsBefore_ = zt::TextCopiesLive();
    if (startLibrary_) {
        ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    }
}

void ZelmTest::Stop()
{
    STANDIN_FailClear(nullptr);
    STANDIN_RpcFailPending(1);
    ZELM_FInit();
    EXPECT_EQ(zt::LeftBehind(hostBefore_, textsBefore_), "") << "left behind after ZELM_FInit";
}

void ZelmTest::TearDown()
{
    Stop();
    STANDIN_Reset();
}
