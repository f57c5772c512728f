// Shared fixture and helpers for the tests.
#include "support/zelm_test.h"

#include <cstring>

namespace zt {

std::vector<LogLine> PlainLog()
{
    std::vector<LogLine> lines;
    for (size_t i = 0; i < STANDIN_LogCount(); ++i) {
        const STANDIN_LogEvent *ev = STANDIN_LogGet(i);
        if (ev->diagnostic == 0) {
            lines.push_back({ev->level, ev->funcName, ev->body});
        }
    }
    return lines;
}

size_t CountLog(const std::string &body, const char *func)
{
    size_t n = 0;
    for (const LogLine &l : PlainLog()) {
        if (l.body == body && (func == nullptr || l.func == func)) {
            ++n;
        }
    }
    return n;
}

bool HasLog(const std::string &body, uint32_t level, const char *func)
{
    for (const LogLine &l : PlainLog()) {
        if (l.body == body && l.level == level && (func == nullptr || l.func == func)) {
            return true;
        }
    }
    return false;
}

size_t FindLog(const std::string &body, size_t from)
{
    std::vector<LogLine> lines = PlainLog();
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].body == body) {
            return i;
        }
    }
    return SIZE_MAX;
}

uint32_t DeliverAtom(uint32_t classId, uint16_t opCode, const void *record, uint32_t len, uint16_t seq)
{
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, classId, opCode, seq, record, len);
    uint32_t result = 0xFFFFFFFFu;
    EXPECT_EQ(STANDIN_MsgDeliverNow(msg, &result), 0u) << "no handler for class " << classId;
    return result;
}

// Fills a fixed-width field; a text as long as the field leaves it without a NUL, as tests sometimes want.
static void CopyText(char *dst, size_t size, const char *src)
{
    std::memset(dst, 0, size);
    std::memcpy(dst, src, strnlen(src, size));
}

ZelmLocInstCfg LocCfg(uint32_t locId, uint32_t osInst, const char *name, const char *image)
{
    ZelmLocInstCfg cfg{};
    cfg.LocId = locId;
    cfg.OsInst = osInst;
    CopyText(cfg.LocName, sizeof(cfg.LocName), name);
    CopyText(cfg.imageName, sizeof(cfg.imageName), image);
    CopyText(cfg.LocExtName, sizeof(cfg.LocExtName), "ext");
    return cfg;
}

ZelmLogicLocGrpCfg GrpCfg(uint32_t locIndex, uint32_t logicId, uint32_t faultPolicy)
{
    ZelmLogicLocGrpCfg cfg{};
    cfg.locIndex = locIndex;
    cfg.logicId = logicId;
    cfg.faultPolicy = faultPolicy;
    return cfg;
}

ZelmCompInstCfg CompCfg(uint32_t locIndex, uint32_t compInst, uint32_t compType, const char *name, int32_t cfgStatus)
{
    ZelmCompInstCfg cfg{};
    cfg.locIndex = locIndex;
    cfg.compInst = compInst;
    cfg.compType = compType;
    cfg.cfgStatus = cfgStatus;
    CopyText(cfg.compInstName, sizeof(cfg.compInstName), name);
    return cfg;
}

ZelmCompNodeCfg CompNodeCfg(uint32_t compType, const char *typeName, uint32_t compClass, const char *fileName,
                            const char *extName)
{
    ZelmCompNodeCfg cfg{};
    cfg.compType = compType;
    cfg.compClass = compClass;
    CopyText(cfg.compTypeName, sizeof(cfg.compTypeName), typeName);
    CopyText(cfg.compFileName, sizeof(cfg.compFileName), fileName);
    CopyText(cfg.compExtName, sizeof(cfg.compExtName), extName);
    return cfg;
}

}  // namespace zt

void ZelmTest::SetUp()
{
    STANDIN_Reset();
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), 0u);
    started_ = true;
}

void ZelmTest::StopLibrary()
{
    if (!started_) {
        return;
    }
    started_ = false;
    STANDIN_RpcFailPending(1);
    ZELM_FInit();
    EXPECT_EQ(ZELM_GetLocalData(), nullptr);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u) << "host blocks left after ZELM_FInit";
}

void ZelmTest::TearDown()
{
    StopLibrary();
    STANDIN_Reset();
}
