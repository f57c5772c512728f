// The stand-in's RPC where the library cannot reach it: requests decoded byte by byte as an agent reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "zelm_standin.h"

namespace {

void PutU32(uint8_t *p, size_t off, uint32_t v)
{
    std::memcpy(p + off, &v, 4);
}
void PutPtr(uint8_t *p, size_t off, const void *v)
{
    std::memcpy(p + off, &v, 8);
}

bool g_inCall = false;

void OnDone(QOF_RpcResult, void *, void *, void *)
{
    EXPECT_FALSE(g_inCall) << "completion inside the call";
}

class RpcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        STANDIN_Reset();
        handle_ = STANDIN_KormServerHandle(STANDIN_KormAddOsNode(1, 2, 0, 1));
    }
    void TearDown() override { STANDIN_Reset(); }
    const STANDIN_RpcCall *Call(const char *method, const uint8_t *head, uint32_t len, void *user = nullptr)
    {
        const QOF_RpcCbPair pair{OnDone, user};
        g_inCall = true;
        EXPECT_EQ(QOF_ConnRpcCall(handle_, method, head, len, &pair, 0), 0u);
        g_inCall = false;
        return STANDIN_RpcCallGet(STANDIN_RpcCallCount() - 1);
    }
    QOF_ConnHandle handle_ = 0;
};

TEST_F(RpcTest, LocationRequestIsDecodedFromItsBytes)
{
    uint8_t head[16] = {};
    std::vector<uint8_t> list(2 * 96);
    PutU32(head, 0, 2);
    PutU32(head, 4, 2);
    PutPtr(head, 8, list.data());
    const std::string tooLong(300, 'x');
    const uint32_t offs[] = {0, 4, 16, 20, 24, 28, 32, 36, 40, 44, 48, 52, 72, 76, 80, 84, 88, 92};
    for (uint32_t i = 0; i < 2; ++i) {
        uint8_t *e = list.data() + i * 96;
        for (uint32_t off : offs) {
            PutU32(e, off, 1000 * (i + 1) + off);
        }
        PutPtr(e, 8, i == 0 ? "loc-a" : tooLong.c_str());
        PutPtr(e, 56, i == 0 ? "app.service" : nullptr);
        PutPtr(e, 64, "ext");
    }
    const STANDIN_RpcCall *call = Call("KorbLocSubscribe", head, 16);
    EXPECT_EQ(call->kind, STANDIN_RPC_LOC);
    EXPECT_EQ(call->opType, 2u);
    ASSERT_EQ(call->decodedNum, 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const uint32_t *fields = &call->locEntries[i].LocId;  // the 18 numbers lie in offset order
        for (size_t k = 0; k < 18; ++k) {
            EXPECT_EQ(fields[k], 1000 * (i + 1) + offs[k]) << "entry " << i << " offset " << offs[k];
        }
        EXPECT_STREQ(call->locEntries[i].LocExtName, "ext");
    }
    EXPECT_STREQ(call->locEntries[0].LocName, "loc-a");
    EXPECT_STREQ(call->locEntries[0].imageName, "app.service");
    EXPECT_EQ(std::string(call->locEntries[1].LocName), std::string(255, 'x')) << "texts are copied bounded";
    EXPECT_EQ(call->locEntries[1].nullTexts, 2u);
}

TEST_F(RpcTest, ComponentRequestIsDecodedFromItsBytes)
{
    uint8_t head[24] = {};
    std::vector<uint8_t> list(96);
    PutU32(head, 0, 7);
    PutU32(head, 8, 1);
    PutU32(head, 12, 0x77);
    PutPtr(head, 16, list.data());
    const uint32_t offs[] = {0, 4, 40, 44, 48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 88, 92};
    for (uint32_t off : offs) {
        PutU32(list.data(), off, 500 + off);
    }
    PutPtr(list.data(), 8, "type");
    PutPtr(list.data(), 16, "file.bin");
    PutPtr(list.data(), 32, "inst");
    const STANDIN_RpcCall *call = Call("KorbCompSubscribe", head, 24);
    EXPECT_EQ(call->kind, STANDIN_RPC_COMP);
    EXPECT_EQ(call->locIndex, 7u);
    EXPECT_EQ(call->reserved, 0x77u);
    ASSERT_EQ(call->decodedNum, 1u);
    const STANDIN_CompEntry &d = call->compEntries[0];
    for (size_t k = 0; k < 16; ++k) {
        EXPECT_EQ((&d.compType)[k], 500 + offs[k]) << "offset " << offs[k];
    }
    EXPECT_STREQ(d.compTypeName, "type");
    EXPECT_STREQ(d.compFileName, "file.bin");
    EXPECT_STREQ(d.compExtName, "");
    EXPECT_STREQ(d.compInstName, "inst");
    EXPECT_EQ(d.nullTexts, 4u);
}

// Many requests of random keys, in random order, against a plain map: an agent applies what it answers with
// result 0, counts what that changed, and hands its holdings back in key order, each text as it was sent.
TEST_F(RpcTest, AgentHoldsWhatItAppliedInKeyOrder)
{
    std::mt19937 random(7);
    const std::vector<std::string> names = {"a", "b", std::string(255, 'n'), ""};
    std::map<std::pair<uint32_t, uint32_t>, std::pair<uint32_t, std::string>> model;  // -> (attr1, name)
    for (int round = 0; round < 400; ++round) {
        const uint32_t locIndex = 1 + random() % 3;
        const uint32_t opType = random() % 3;  // add, delete, smooth
        const uint32_t n = 1 + random() % 40;
        uint8_t head[24] = {};
        std::vector<uint8_t> list(n * 96);
        std::vector<std::string> texts(n);
        uint32_t changed = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t inst = random() % 2000;
            const uint32_t attr1 = random() % 2;
            texts[i] = names[random() % names.size()] + std::to_string(random() % 3);
            PutU32(list.data() + i * 96, 48, inst);
            PutU32(list.data() + i * 96, 52, attr1);
            PutPtr(list.data() + i * 96, 32, texts[i].c_str());
            const auto key = std::make_pair(locIndex, inst);
            const auto it = model.find(key);
            if (opType == 1) {
                changed += it != model.end() ? 1 : 0;
                model.erase(key);
            } else {
                const auto value = std::make_pair(attr1, texts[i].substr(0, 255));
                changed += it == model.end() || it->second != value ? 1 : 0;
                model[key] = value;
            }
        }
        PutU32(head, 0, locIndex);
        PutU32(head, 4, opType);
        PutU32(head, 8, n);
        PutPtr(head, 16, list.data());
        const uint64_t callId = Call("KorbCompSubscribe", head, 24)->callId;
        STANDIN_RunFor(1);
        const STANDIN_RpcCall *done = nullptr;
        for (size_t i = 0; i < STANDIN_RpcCallCount(); ++i) {
            done = STANDIN_RpcCallGet(i)->callId == callId ? STANDIN_RpcCallGet(i) : done;
        }
        ASSERT_NE(done, nullptr);
        ASSERT_EQ(done->changedNum, changed) << "round " << round;
    }
    ASSERT_EQ(STANDIN_AgentCompCount(handle_), model.size());
    std::map<std::pair<uint32_t, uint32_t>, std::pair<uint32_t, std::string>> held;
    STANDIN_AgentCompForEach(
        handle_,
        [](uint32_t locIndex, const STANDIN_CompEntry *e, void *out) {
            auto &into = *static_cast<decltype(held) *>(out);
            EXPECT_TRUE(into.empty() || std::prev(into.end())->first < std::make_pair(locIndex, e->compInst));
            into[{locIndex, e->compInst}] = {e->attr1, e->compInstName};
        },
        &held);
    EXPECT_EQ(held, model);
    STANDIN_CompEntry e{};
    for (const auto &[key, value] : model) {
        ASSERT_EQ(STANDIN_AgentCompFind(handle_, key.first, key.second, &e), 0);
        EXPECT_EQ(e.compInstName, value.second);
    }
    EXPECT_NE(STANDIN_AgentCompFind(handle_, 9, 9, &e), 0);
}

}  // namespace
