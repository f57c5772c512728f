// The stand-in's configuration server: registrations, table messages, atoms, records and replies.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/zelm_test.h"
#include "zelm_standin.h"

namespace {

constexpr uint32_t kLocClass = 0x4D30A02Bu;
constexpr uint32_t kGrpClass = 0x4D30A031u;
constexpr uint32_t kCompClass = 0x4D30A02Du;
constexpr uint32_t kNodeClass = 0x5D32B983u;

// A tiny host dispatcher: one reply per message, one op-info area per atom with the code the
// atom's class is given in `codes`, an info item for a non-zero code, a return code when asked.
struct Host {
    int calls = 0;
    std::vector<uint32_t> classes;
    std::vector<std::string> texts;   // each record read as text
    std::vector<size_t> zeroTails;    // bytes of zero padding seen behind the given record
    std::vector<uint32_t> codes;      // code per atom, by position
    bool addRetCode = false;
    uint32_t result = 0;
    void *seenUserData = nullptr;
};
Host g_host;

uint32_t Dispatch(void *userData, QOF_Msg *msg, QOF_RecordCtx *ctx)
{
    Host &h = g_host;
    ++h.calls;
    h.seenUserData = userData;
    QOF_Msg *reply = nullptr;
    EXPECT_EQ(QOF_CreateMsg(msg, 3, &reply), 0u);
    const uint16_t n = QOF_GetBlockNum(msg);
    for (uint16_t i = 0; i < n; ++i) {
        QOF_Atom *atom = nullptr;
        if (QOF_GetNextAtom(msg, &atom) != 0) {
            break;
        }
        uint32_t classId = 0xFFFFFFFFu;
        uint16_t op = 0, seq = 0;
        void *rec = nullptr;
        EXPECT_EQ(QOF_GetClassId(atom, &classId), 0u);
        EXPECT_EQ(QOF_GetAtomOpCode(atom, &op), 0u);
        EXPECT_EQ(QOF_GetAtomSeq(atom, &seq), 0u);
        EXPECT_EQ(QOF_GetRecData(atom, &rec), 0u);
        h.classes.push_back(classId);
        h.texts.emplace_back(static_cast<const char *>(rec));
        const uint32_t code = i < h.codes.size() ? h.codes[i] : 0u;
        EXPECT_EQ(QOF_AddOpInfoArea(&reply, op, code, seq), 0u);
        if (code != 0) {
            EXPECT_EQ(QOF_AddInfoItem(&reply, code), 0u);
        }
    }
    if (h.addRetCode) {
        EXPECT_EQ(QOF_AddRetCode(&reply, 1), 0u);
    }
    EXPECT_EQ(QOF_UloServerAddRecord(ctx, reply), 0u);
    QOF_FreeMsg(reply);
    return h.result;
}

class UloServerTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        g_host = {};
        for (uint32_t c : {kLocClass, kGrpClass, kCompClass, kNodeClass}) {
            ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(c, 0, Dispatch, &g_host), 0u);
        }
    }
    void TearDown() override
    {
        EXPECT_EQ(STANDIN_MsgAliveCount(), 0u) << "a reply was not released";
        EXPECT_EQ(STANDIN_MsgBadFreeCount(), 0u);
        StandinTest::TearDown();
    }
};

TEST_F(UloServerTest, ThreeAtomMessageGetsOneReplyWithThreeOpInfoAreas)
{
    g_host.codes = {0, 0xFFFFFFFFu, 0};
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, kCompClass, 0, 7, "a", 2);
    STANDIN_MsgAddAtom(msg, kCompClass, 1, 8, "b", 2);
    STANDIN_MsgAddAtom(msg, kCompClass, 2, 9, "c", 2);
    uint32_t result = 1;
    ASSERT_EQ(STANDIN_MsgDeliverNow(msg, &result), 0u);
    EXPECT_EQ(result, 0u);
    ASSERT_EQ(STANDIN_ReplyCount(), 1u);
    const STANDIN_Reply *r = STANDIN_ReplyGet(0);
    EXPECT_EQ(r->handedBack, 1u);
    EXPECT_EQ(r->createKind, 3u);
    EXPECT_EQ(r->hasRetCode, 0u);
    ASSERT_EQ(r->opInfoNum, 3u);
    EXPECT_EQ(r->opInfos[0].opCode, 0u);
    EXPECT_EQ(r->opInfos[0].seq, 7u);
    EXPECT_EQ(r->opInfos[0].code, 0u);
    EXPECT_EQ(r->opInfos[1].opCode, 1u);
    EXPECT_EQ(r->opInfos[1].seq, 8u);
    EXPECT_EQ(r->opInfos[1].code, 0xFFFFFFFFu);
    EXPECT_EQ(r->opInfos[2].opCode, 2u);
    EXPECT_EQ(r->opInfos[2].seq, 9u);
    ASSERT_EQ(r->infoItemNum, 1u);
    EXPECT_EQ(r->infoItems[0], 0xFFFFFFFFu);
    EXPECT_EQ(g_host.texts, (std::vector<std::string>{"a", "b", "c"}));
}

} // namespace
