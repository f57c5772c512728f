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
    std::vector<std::string> texts;   // each record read as text
    std::vector<uint32_t> codes;      // code per atom, by position
    bool addRetCode = false;
    uint32_t result = 0;
    void *seenUserData = nullptr;
};
Host g_host;

// Stops at the first failing call, as the library's dispatcher does, and answers with return code 1.
uint32_t Dispatch(void *userData, QOF_Msg *msg, QOF_RecordCtx *ctx)
{
    Host &h = g_host;
    ++h.calls;
    h.seenUserData = userData;
    QOF_Msg *reply = nullptr;
    if (QOF_CreateMsg(msg, 3, &reply) != 0) {
        return 0xFFFFFFFFu;
    }
    bool stopped = false;
    const uint16_t n = QOF_GetBlockNum(msg);
    for (uint16_t i = 0; i < n && !stopped; ++i) {
        QOF_Atom *atom = nullptr;
        uint32_t classId = 0xFFFFFFFFu;
        uint16_t op = 0, seq = 0;
        void *rec = nullptr;
        stopped = QOF_GetNextAtom(msg, &atom) != 0 || QOF_GetClassId(atom, &classId) != 0 ||
                  QOF_GetAtomOpCode(atom, &op) != 0 || QOF_GetAtomSeq(atom, &seq) != 0 ||
                  QOF_GetRecData(atom, &rec) != 0;
        if (stopped) {
            break;
        }
        h.texts.emplace_back(static_cast<const char *>(rec));
        const uint32_t code = i < h.codes.size() ? h.codes[i] : 0u;
        stopped = QOF_AddOpInfoArea(&reply, op, code, seq) != 0 ||
                  (code != 0 && QOF_AddInfoItem(&reply, code) != 0);
    }
    if (h.addRetCode || stopped) {
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
    g_host.addRetCode = true;
    g_host.result = 0xFFFFFFFFu;
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, kCompClass, 0, 7, "a", 2);
    STANDIN_MsgAddAtom(msg, kCompClass, 1, 8, "b", 2);
    STANDIN_MsgAddAtom(msg, kCompClass, 2, 9, "c", 2);
    uint32_t result = 0;
    ASSERT_EQ(STANDIN_MsgDeliverNow(msg, &result), 0u);
    EXPECT_EQ(result, 0xFFFFFFFFu);
    ASSERT_EQ(STANDIN_ReplyCount(), 1u);
    const STANDIN_Reply *r = STANDIN_ReplyGet(0);
    EXPECT_EQ(r->handedBack, 1u);
    EXPECT_EQ(r->createKind, 3u);
    EXPECT_EQ(r->handlerResult, 0xFFFFFFFFu);
    EXPECT_EQ(r->hasRetCode, 1u);
    EXPECT_EQ(r->retCode, 1u);
    ASSERT_EQ(r->opInfoNum, 3u);
    for (uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r->opInfos[i].opCode, i);
        EXPECT_EQ(r->opInfos[i].seq, 7u + i);
        EXPECT_EQ(r->opInfos[i].code, g_host.codes[i]);
    }
    ASSERT_EQ(r->infoItemNum, 1u);
    EXPECT_EQ(r->infoItems[0], 0xFFFFFFFFu);
    EXPECT_EQ(g_host.texts, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(g_host.seenUserData, &g_host);
}

// Checks the record bytes behind QOF_GetRecData: the given bytes, zeros up to the record's
// length, then a NUL.
struct RecCheck {
    uint32_t given;
    uint32_t expectLen;
    bool ok = false;
};
RecCheck g_check;

uint32_t CheckRecord(void *, QOF_Msg *msg, QOF_RecordCtx *)
{
    QOF_Atom *atom = nullptr;
    void *rec = nullptr;
    if (QOF_GetNextAtom(msg, &atom) != 0 || QOF_GetRecData(atom, &rec) != 0) {
        return 1;
    }
    const auto *p = static_cast<const uint8_t *>(rec);
    bool ok = true;
    for (uint32_t i = 0; i < g_check.given; ++i) {
        ok = ok && p[i] == static_cast<uint8_t>(0xA0 + (i % 16));
    }
    for (uint32_t i = g_check.given; i <= g_check.expectLen; ++i) {
        ok = ok && p[i] == 0;
    }
    g_check.ok = ok;
    return 0;
}

TEST_F(UloServerTest, RecordsAreAtLeastTheirClassLongAndEndWithANul)
{
    const struct {
        uint32_t classId, given, expectLen;
    } cases[] = {
        {kLocClass, 3, 140}, {kGrpClass, 5, 24}, {kCompClass, 83, 84}, {kNodeClass, 0, 172},
        {kGrpClass, 200, 200}, {0x1234u, 9, 9},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(c.classId, 0, CheckRecord, nullptr), 0u);
        std::vector<uint8_t> bytes(c.given);
        for (uint32_t i = 0; i < c.given; ++i) {
            bytes[i] = static_cast<uint8_t>(0xA0 + (i % 16));
        }
        g_check = {c.given, c.expectLen};
        STANDIN_Msg *msg = STANDIN_MsgNew();
        STANDIN_MsgAddAtom(msg, c.classId, 0, 0, bytes.data(), c.given);
        ASSERT_EQ(STANDIN_MsgDeliverNow(msg, nullptr), 0u);
        EXPECT_TRUE(g_check.ok) << "class " << std::hex << c.classId << " given " << std::dec << c.given;
    }
}

QOF_Atom *g_keptAtom = nullptr;
QOF_Msg *g_keptReply = nullptr;

// A careless host: passes the reply handle itself, frees the reply twice, keeps an atom.
uint32_t Careless(void *, QOF_Msg *msg, QOF_RecordCtx *ctx)
{
    QOF_Msg *reply = nullptr;
    EXPECT_EQ(QOF_CreateMsg(msg, 3, &reply), 0u);
    EXPECT_NE(QOF_AddOpInfoArea(reinterpret_cast<QOF_Msg **>(reply), 0, 0, 0), 0u);
    EXPECT_NE(QOF_AddInfoItem(reinterpret_cast<QOF_Msg **>(reply), 1), 0u);
    EXPECT_NE(QOF_AddRetCode(reinterpret_cast<QOF_Msg **>(reply), 1), 0u);
    QOF_Msg *notAReply = msg;
    EXPECT_NE(QOF_AddOpInfoArea(&notAReply, 0, 0, 0), 0u) << "a table message is no reply";
    EXPECT_NE(QOF_UloServerAddRecord(ctx, msg), 0u);
    EXPECT_EQ(QOF_GetNextAtom(msg, &g_keptAtom), 0u);
    QOF_FreeMsg(reply);
    EXPECT_NE(QOF_AddRetCode(&reply, 1), 0u) << "a released reply is refused";
    QOF_FreeMsg(reply);
    g_keptReply = reply;
    return 0;
}

TEST_F(UloServerTest, RepliesAreCheckedAgainstTheLiveOnes)
{
    ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(kLocClass, 0, Careless, nullptr), 0u);
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, kLocClass, 0, 0, "x", 1);
    ASSERT_EQ(STANDIN_MsgDeliverNow(msg, nullptr), 0u);
    EXPECT_EQ(STANDIN_ReplyCount(), 0u);
    EXPECT_EQ(STANDIN_MsgBadFreeCount(), 1u);
    uint32_t classId = 0;
    EXPECT_NE(QOF_GetClassId(g_keptAtom, &classId), 0u) << "an atom outlives no delivery";
    STANDIN_Reset();
}

TEST_F(UloServerTest, PostedMessageIsDeliveredByTheLoopToTheHandlerRegisteredThen)
{
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, kGrpClass, 0, 0, "g", 1);
    ASSERT_EQ(STANDIN_MsgPost(msg), 0u);
    EXPECT_EQ(g_host.calls, 0);
    Host other;
    ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(kGrpClass, 0, Dispatch, &other), 0u);
    EXPECT_EQ(STANDIN_RunDue(), 1u);
    EXPECT_EQ(g_host.calls, 1);
    EXPECT_EQ(g_host.seenUserData, &other) << "a registration replaces the earlier one";
}

} // namespace
