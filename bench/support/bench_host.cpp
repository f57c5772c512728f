// The library benchmarks' host: library start and stop on the stand-in, records and their delivery.
#include "bench_host.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace zelm_bench {

namespace {

FILE *DevNull()
{
    static FILE *stream = std::fopen("/dev/null", "w");
    return stream;
}

void CopyText(char *dst, size_t size, const std::string &src)
{
    std::memset(dst, 0, size);
    std::memcpy(dst, src.data(), std::min(size - 1, src.size()));
}

}  // namespace

const char *SinkName(Sink sink)
{
    return sink == Sink::Count ? "count_sink" : "text_sink";
}

bool StartLibrary(benchmark::State &state, Sink sink)
{
    STANDIN_Reset();
    if (sink == Sink::Count) {
        STANDIN_LogSetSink(STANDIN_LOG_COUNT, nullptr);
    } else {
        STANDIN_LogSetSink(STANDIN_LOG_TEXT, DevNull());
    }
    if (ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree) != 0) {
        state.SkipWithError("the library did not start");
        return false;
    }
    return true;
}

void StopLibrary()
{
    STANDIN_RpcFailPending(1);
    ZELM_FInit();
    STANDIN_Reset();
}

void ClearRecorders()
{
    STANDIN_ReplyClear();
    STANDIN_RpcCallClear();
    STANDIN_TimerEventClear();
    STANDIN_LogClear();
}

ZelmLocInstCfg LocationRecord(uint32_t locId, uint32_t osInst)
{
    ZelmLocInstCfg cfg{};
    cfg.LocId = locId;
    cfg.OsInst = osInst;
    CopyText(cfg.LocName, sizeof(cfg.LocName), "loc" + std::to_string(locId));
    CopyText(cfg.imageName, sizeof(cfg.imageName), "node.service");
    CopyText(cfg.LocExtName, sizeof(cfg.LocExtName), "ext");
    return cfg;
}

ZelmCompInstCfg ComponentRecord(uint32_t locIndex, uint32_t compInst, uint32_t compType)
{
    ZelmCompInstCfg cfg{};
    cfg.compInst = compInst;
    cfg.compType = compType;
    CopyText(cfg.compInstName, sizeof(cfg.compInstName), "comp" + std::to_string(compInst));
    cfg.cfgStatus = INT32_MIN;  // bit 31: acted on
    cfg.locIndex = locIndex;
    return cfg;
}

ZelmCompNodeCfg CompNodeRecord(uint32_t compType)
{
    ZelmCompNodeCfg cfg{};
    cfg.compType = compType;
    CopyText(cfg.compTypeName, sizeof(cfg.compTypeName), "type" + std::to_string(compType));
    cfg.compClass = 1;
    CopyText(cfg.compFileName, sizeof(cfg.compFileName), "comp.bin");
    CopyText(cfg.compExtName, sizeof(cfg.compExtName), "ext");
    return cfg;
}

STANDIN_Msg *BuildMessage(uint32_t classId, uint16_t opCode, const void *records, size_t recordSize, size_t count)
{
    const auto *bytes = static_cast<const unsigned char *>(records);
    STANDIN_Msg *msg = STANDIN_MsgNew();
    for (size_t i = 0; i < count; ++i) {
        STANDIN_MsgAddAtom(msg, classId, opCode, static_cast<uint16_t>(i), bytes + i * recordSize,
                           static_cast<uint32_t>(recordSize));
    }
    return msg;
}

size_t DeliverMessage(STANDIN_Msg *msg)
{
    const size_t before = STANDIN_ReplyCount();
    uint32_t result = 0;
    if (STANDIN_MsgDeliverNow(msg, &result) != 0 || STANDIN_ReplyCount() != before + 1) {
        return SIZE_MAX / 2;  // no handler, or no reply: count it as refused wholesale
    }
    const STANDIN_Reply *reply = STANDIN_ReplyGet(before);
    size_t refused = 0;
    for (size_t i = 0; i < reply->opInfoNum; ++i) {
        refused += reply->opInfos[i].code != 0;
    }
    return refused;
}

void AnnounceLocation(uint32_t osNodeId, uint32_t locIndex)
{
    const std::string service = "svc" + std::to_string(locIndex);
    STANDIN_KormRaiseLocationStatus(osNodeId, service.c_str(), locIndex, 1);
    (void)STANDIN_RunDue();
}

ZelmCompCb *CompCb()
{
    return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP));
}
locationCb *LocationCb()
{
    return static_cast<locationCb *>(ZELM_GetModCb(ZELM_MOD_LOCATION));
}

}  // namespace zelm_bench
