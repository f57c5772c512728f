// RPC with the simulated node agents: acceptance, completions, decoding, scripting and holding.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/zelm_test.h"
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
    std::vector<uint8_t> in; // first bytes of the input message
    void *userData;
};
std::vector<Done> g_done;
int g_depth = 0; // completions running right now
bool g_inCall = false;

void OnDone(QOF_RpcResult result, void *inMsg, void *outMsg, void *userData)
{
    EXPECT_FALSE(g_inCall) << "completion called from inside QOF_ConnRpcCall";
    EXPECT_EQ(g_depth, 0) << "completion re-entered";
    ++g_depth;
    Done d{STANDIN_Now(), result, outMsg != nullptr, 0, {}, userData};
    if (outMsg != nullptr) {
        std::memcpy(&d.outResult, outMsg, 4);
    }
    const auto *p = static_cast<const uint8_t *>(inMsg);
    d.in.assign(p, p + 16);
    g_done.push_back(d);
    --g_depth;
}

class RpcTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
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
    EXPECT_EQ(g_done[0].result.errNo, 0u);
    EXPECT_TRUE(g_done[0].hadOut);
    EXPECT_EQ(g_done[0].outResult, 0u);
    EXPECT_EQ(g_done[0].userData, &req);
    EXPECT_EQ(STANDIN_RpcPendingCount(), 0u);
}

} // namespace
