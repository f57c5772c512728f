// RPC of the stand-in where the library cannot reach it: completion in a later step, and requests decoded byte by byte.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "zelm_standin.h"

namespace {

// Location request and entry laid out by hand, byte by byte, as a peer reads them.
constexpr size_t kEntry = 96;

void PutU32(uint8_t *p, size_t off, uint32_t v) { std::memcpy(p + off, &v, 4); }
void PutPtr(uint8_t *p, size_t off, const void *v) { std::memcpy(p + off, &v, 8); }

struct LocReq {
    uint8_t head[16]{};
    std::vector<uint8_t> list;
    LocReq(uint32_t opType, uint32_t n) : list(n * kEntry)
    {
        PutU32(head, 0, opType);
        PutU32(head, 4, n);
        PutPtr(head, 8, n != 0 ? list.data() : nullptr);
    }
    uint8_t *Entry(uint32_t i) { return list.data() + i * kEntry; }
};

struct CompReq {
    uint8_t head[24]{};
    std::vector<uint8_t> list;
    CompReq(uint32_t locIndex, uint32_t opType, uint32_t n) : list(n * kEntry)
    {
        PutU32(head, 0, locIndex);
        PutU32(head, 4, opType);
        PutU32(head, 8, n);
        PutU32(head, 12, 0);
        PutPtr(head, 16, n != 0 ? list.data() : nullptr);
    }
    uint8_t *Entry(uint32_t i) { return list.data() + i * kEntry; }
};

// A completion as seen by the host.
struct Done {
    uint64_t atMs;
    QOF_RpcResult result;
    bool hadOut;
    uint32_t outResult;
    void *userData;
};
std::vector<Done> g_done;
bool g_inCall = false;

void OnDone(QOF_RpcResult result, void *, void *outMsg, void *userData)
{
    EXPECT_FALSE(g_inCall) << "completion called from inside QOF_ConnRpcCall";
    Done d{STANDIN_Now(), result, outMsg != nullptr, 0, userData};
    if (outMsg != nullptr) {
        std::memcpy(&d.outResult, outMsg, 4);
    }
    g_done.push_back(d);
}

class RpcTest : public ::testing::Test {
protected:
    void TearDown() override { STANDIN_Reset(); }
    void SetUp() override
    {
        STANDIN_Reset();
        g_done.clear();
        node_ = STANDIN_KormAddOsNode(1, 2, 0, 1);
        handle_ = STANDIN_KormServerHandle(node_);
        ASSERT_NE(handle_, 0u);
    }
    uint32_t Call(const char *method, const void *req, uint32_t len, void *user = nullptr, QOF_ConnHandle h = 0)
    {
        QOF_RpcCbPair pair{OnDone, user};
        g_inCall = true;
        const uint32_t rc = QOF_ConnRpcCall(h != 0 ? h : handle_, method, req, len, &pair, 0);
        g_inCall = false;
        return rc;
    }
    uint32_t node_ = 0;
    QOF_ConnHandle handle_ = 0;
};

TEST_F(RpcTest, AcceptedCallCompletesInALaterStepWithTheAgentsReply)
{
    LocReq req(0, 0);
    ASSERT_EQ(Call("KorbLocSubscribe", req.head, 16, &req), 0u);
    EXPECT_TRUE(g_done.empty());
    EXPECT_EQ(STANDIN_RpcPendingCount(), 1u);
    STANDIN_RunUntilIdle(10);
    ASSERT_EQ(g_done.size(), 1u);
    EXPECT_EQ(g_done[0].atMs, 1u);
    EXPECT_EQ(g_done[0].result.success, 1u);
    EXPECT_TRUE(g_done[0].hadOut);
    EXPECT_EQ(g_done[0].outResult, 0u);
    EXPECT_EQ(g_done[0].userData, &req);
    EXPECT_EQ(STANDIN_RpcCallGet(0)->outcome, STANDIN_RPC_COMPLETED);
    EXPECT_EQ(STANDIN_RpcPendingCount(), 0u);
}

TEST_F(RpcTest, LocationRequestIsDecodedFromItsBytes)
{
    LocReq req(2, 2);
    const std::string tooLong(300, 'x');
    const uint32_t offs[] = {0, 4, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 72, 76, 80, 84, 88, 92};
    for (uint32_t i = 0; i < 2; ++i) {
        uint8_t *e = req.Entry(i);
        for (uint32_t off : offs) {
            PutU32(e, off, 1000 * (i + 1) + off);
        }
        PutPtr(e, 8, i == 0 ? "loc-a" : tooLong.c_str());
        PutPtr(e, 56, i == 0 ? "app.service" : nullptr);
        PutPtr(e, 64, "ext");
    }
    ASSERT_EQ(Call("KorbLocSubscribe", req.head, 16), 0u);
    const STANDIN_RpcCall *call = STANDIN_RpcCallGet(0);
    EXPECT_EQ(call->kind, STANDIN_RPC_LOC);
    EXPECT_STREQ(call->method, "KorbLocSubscribe");
    EXPECT_EQ(call->opType, 2u);
    ASSERT_EQ(call->entryNum, 2u);
    ASSERT_EQ(call->decodedNum, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const STANDIN_LocEntry &d = call->locEntries[i];
        const uint32_t base = 1000 * (i + 1);
        const uint32_t got[] = {d.LocId, d.LocType, d.OsInst, d.LocGrp, d.LocParam1, d.Lrid,
                                d.LocParam2, d.LocParam3, d.LocParam4, d.LocParam5, d.LocParam6, d.reserved1,
                                d.logicId, d.faultPolicy, d.grpParam1, d.grpParam2, d.grpParam3, d.reserved2};
        for (size_t k = 0; k < 18; ++k) {
            EXPECT_EQ(got[k], base + offs[k]) << "entry " << i << " offset " << offs[k];
        }
        EXPECT_STREQ(d.LocExtName, "ext");
    }
    EXPECT_STREQ(call->locEntries[0].LocName, "loc-a");
    EXPECT_STREQ(call->locEntries[0].imageName, "app.service");
    EXPECT_EQ(std::string(call->locEntries[1].LocName), std::string(255, 'x')) << "texts are copied bounded";
    EXPECT_STREQ(call->locEntries[1].imageName, "");
    EXPECT_EQ(call->locEntries[1].nullTexts, 2u);
    STANDIN_RunUntilIdle(10);
}

TEST_F(RpcTest, ComponentRequestIsDecodedFromItsBytes)
{
    CompReq req(7, 0, 1);
    uint8_t *e = req.Entry(0);
    const size_t offs[] = {0, 4, 40, 44, 48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 92};
    for (size_t off : offs) {
        PutU32(e, off, static_cast<uint32_t>(500 + off));
    }
    PutPtr(e, 8, "type");
    PutPtr(e, 16, "file.bin");
    PutPtr(e, 24, nullptr);
    PutPtr(e, 32, "inst");
    PutU32(req.head, 12, 0x77);
    ASSERT_EQ(Call("KorbCompSubscribe", req.head, 24), 0u);
    const STANDIN_RpcCall *call = STANDIN_RpcCallGet(0);
    EXPECT_EQ(call->kind, STANDIN_RPC_COMP);
    EXPECT_EQ(call->locIndex, 7u);
    EXPECT_EQ(call->opType, 0u);
    EXPECT_EQ(call->reserved, 0x77u);
    ASSERT_EQ(call->decodedNum, 1u);
    const STANDIN_CompEntry &d = call->compEntries[0];
    const uint32_t got[] = {d.compType, d.reserved1, d.attr7, d.compClass, d.compInst, d.attr1, d.cfgStatus, d.attr2,
                            d.locIndex, d.attr3, d.attr4, d.attr5, d.attr6, d.attr8, d.attr9, d.reserved2};
    for (size_t k = 0; k < 16; ++k) {
        EXPECT_EQ(got[k], 500 + offs[k]) << "offset " << offs[k];
    }
    EXPECT_STREQ(d.compTypeName, "type");
    EXPECT_STREQ(d.compFileName, "file.bin");
    EXPECT_STREQ(d.compExtName, "");
    EXPECT_STREQ(d.compInstName, "inst");
    EXPECT_EQ(d.nullTexts, 4u);
    STANDIN_RunUntilIdle(10);
}

}  // namespace
