// Configuration intake: class registration, atom-by-atom dispatch and the reply each message gets.
#include <array>
#include <cstring>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

struct HandlerCall {
    int handler;
    uint16_t seq;
    bool argsAsExpected;
};

std::vector<HandlerCall> g_calls;

uint32_t Record(int which, uint32_t result, QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, ZelmLocalData *data,
                QOF_RecordCtx *recordCtx)
{
    uint16_t seq = 0;
    (void)QOF_GetAtomSeq(atom, &seq);
    const bool args = msg != nullptr && atom != nullptr && replyRef != nullptr && *replyRef != nullptr &&
                      data == g_zelmLocalData && recordCtx != nullptr;
    g_calls.push_back({which, seq, args});
    return result;
}

uint32_t PassA(QOF_Msg *m, QOF_Atom *a, QOF_Msg **r, ZelmLocalData *d, QOF_RecordCtx *c)
{
    return Record(0, ZELM_OK, m, a, r, d, c);
}
uint32_t FailB(QOF_Msg *m, QOF_Atom *a, QOF_Msg **r, ZelmLocalData *d, QOF_RecordCtx *c)
{
    return Record(1, ZELM_ERR, m, a, r, d, c);
}
uint32_t PassC(QOF_Msg *m, QOF_Atom *a, QOF_Msg **r, ZelmLocalData *d, QOF_RecordCtx *c)
{
    return Record(2, ZELM_OK, m, a, r, d, c);
}

constexpr uint32_t kUnknownClass = 0x0BADC1A5u;

// A started library whose message table can be swapped for a scripted one during a test.
class DispatchTest : public ZelmTest {
protected:
    void SetUp() override
    {
        ZelmTest::SetUp();
        g_calls.clear();
        STANDIN_LogClear();
        STANDIN_ReplyClear();
    }
    void TearDown() override
    {
        RestoreTable();
        ZelmTest::TearDown();
    }
    void UseTable(ZelmMsgTableEntry *rows, uint32_t num)
    {
        ZelmLocalData *data = ZELM_GetLocalData();
        if (!swapped_) {
            savedTable_ = data->msgTable;
            savedNum_ = data->msgTableNum;
            swapped_ = true;
        }
        data->msgTable = rows;
        data->msgTableNum = num;
    }
    void RestoreTable()
    {
        if (swapped_ && ZELM_GetLocalData() != nullptr) {
            ZELM_GetLocalData()->msgTable = savedTable_;
            ZELM_GetLocalData()->msgTableNum = savedNum_;
        }
        swapped_ = false;
    }
    // Rows for the three scripted handlers on the first three real classes.
    void UseScriptedTable()
    {
        rows_[0] = {0, ZELM_CLASS_LOCATION, PassA};
        rows_[1] = {0, ZELM_CLASS_LOGIC_LOC_GRP, FailB};
        rows_[2] = {0, ZELM_CLASS_COMPONENT, PassC};
        UseTable(rows_, 3);
    }
    // Delivers atoms (class, opCode, seq) as one message; returns the handler's result.
    uint32_t Deliver(const std::vector<std::array<uint32_t, 3>> &atoms)
    {
        STANDIN_Msg *msg = STANDIN_MsgNew();
        STANDIN_MsgSetClass(msg, ZELM_CLASS_LOCATION);
        const uint8_t record[4] = {};
        for (const auto &[classId, opCode, seq] : atoms) {
            STANDIN_MsgAddAtom(msg, classId, static_cast<uint16_t>(opCode), static_cast<uint16_t>(seq), record,
                               sizeof(record));
        }
        uint32_t result = 0x5A5A5A5Au;
        EXPECT_EQ(STANDIN_MsgDeliverNow(msg, &result), 0u);
        return result;
    }
    const STANDIN_Reply *OnlyReply()
    {
        EXPECT_EQ(STANDIN_ReplyCount(), 1u);
        EXPECT_EQ(STANDIN_MsgAliveCount(), 0u) << "every reply is released";
        EXPECT_EQ(STANDIN_MsgBadFreeCount(), 0u);
        return STANDIN_ReplyCount() == 1 ? STANDIN_ReplyGet(0) : nullptr;
    }
    static std::vector<std::array<uint32_t, 3>> ThreeAtoms()
    {
        return {{ZELM_CLASS_LOCATION, 0, 11}, {ZELM_CLASS_LOGIC_LOC_GRP, 1, 12}, {ZELM_CLASS_COMPONENT, 2, 13}};
    }

    ZelmMsgTableEntry rows_[ZELM_MSG_TABLE_NUM] = {};
    ZelmMsgTableEntry *savedTable_ = nullptr;
    uint32_t savedNum_ = 0;
    bool swapped_ = false;
};

void ExpectOpInfo(const STANDIN_Reply *reply, size_t i, uint16_t opCode, uint32_t code, uint16_t seq)
{
    ASSERT_LT(i, reply->opInfoNum);
    EXPECT_EQ(reply->opInfos[i].opCode, opCode) << "op-info " << i;
    EXPECT_EQ(reply->opInfos[i].code, code) << "op-info " << i;
    EXPECT_EQ(reply->opInfos[i].seq, seq) << "op-info " << i;
}

TEST_F(DispatchTest, EveryAtomIsAnsweredWithItsHandlersCodeAndAFailureDoesNotStopTheMessage)
{
    UseScriptedTable();
    EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_OK);

    ASSERT_EQ(g_calls.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g_calls[i].handler, static_cast<int>(i));
        EXPECT_EQ(g_calls[i].seq, 11 + i);
        EXPECT_TRUE(g_calls[i].argsAsExpected) << "call " << i;
    }
    const STANDIN_Reply *reply = OnlyReply();
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->createKind, 3u);
    EXPECT_EQ(reply->handedBack, 1u);
    ASSERT_EQ(reply->opInfoNum, 3u);
    ExpectOpInfo(reply, 0, 0, ZELM_OK, 11);
    ExpectOpInfo(reply, 1, 1, ZELM_ERR, 12);
    ExpectOpInfo(reply, 2, 2, ZELM_OK, 13);
    ASSERT_EQ(reply->infoItemNum, 1u);
    EXPECT_EQ(reply->infoItems[0], ZELM_ERR);
    EXPECT_EQ(reply->hasRetCode, 0u);
    EXPECT_EQ(reply->handlerResult, ZELM_OK);

    EXPECT_TRUE(zt::HasLog("[ZELM] GetClassId classId = 0x4d30a02b", LORN_LEVEL_INFO, "ZelmProTuvCfgAtom"));
    EXPECT_TRUE(zt::HasLog("[ZELM] GetClassId classId = 0x4d30a031", LORN_LEVEL_INFO, "ZelmProTuvCfgAtom"));
}

TEST_F(DispatchTest, MessageWithoutAtomsGetsReturnCodeOneAndFails)
{
    UseScriptedTable();
    EXPECT_EQ(Deliver({}), ZELM_ERR);
    EXPECT_TRUE(zt::HasLog("[ZELM] CFG Upgrade Msg, Atom BlockNum is zero!", LORN_LEVEL_ERROR, "ZelmProcTuvTableMsg"));
    const STANDIN_Reply *reply = OnlyReply();
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->opInfoNum, 0u);
    EXPECT_EQ(reply->infoItemNum, 0u);
    EXPECT_EQ(reply->hasRetCode, 1u);
    EXPECT_EQ(reply->retCode, 1u);
    EXPECT_EQ(reply->handlerResult, ZELM_ERR);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(DispatchTest, AtomsAfterAnUnreadableAtomAreNotHandled)
{
    UseScriptedTable();
    ASSERT_EQ(STANDIN_FailCall("QOF_GetNextAtom", 2, 1), 0);
    EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_OK);

    ASSERT_EQ(g_calls.size(), 1u);
    const STANDIN_Reply *reply = OnlyReply();
    ASSERT_NE(reply, nullptr);
    ASSERT_EQ(reply->opInfoNum, 1u);
    ExpectOpInfo(reply, 0, 0, ZELM_OK, 11);
    EXPECT_EQ(reply->hasRetCode, 1u);
    EXPECT_EQ(reply->retCode, 1u);
    EXPECT_EQ(STANDIN_CallCount("QOF_GetNextAtom"), 2u);
}

TEST_F(DispatchTest, UnreadableClassStopsTheMessage)
{
    UseScriptedTable();
    ASSERT_EQ(STANDIN_FailCall("QOF_GetClassId", 2, 5), 0);
    EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_OK);

    EXPECT_TRUE(zt::HasLog("[ZELM] TUV_GetClassId failed! ret = 5", LORN_LEVEL_ERROR, "ZelmProTuvCfgAtom"));
    ASSERT_EQ(g_calls.size(), 1u);
    const STANDIN_Reply *reply = OnlyReply();
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->opInfoNum, 1u);
    EXPECT_EQ(reply->hasRetCode, 1u);
}

TEST_F(DispatchTest, OutcomeThatCannotBeRecordedStopsTheMessage)
{
    UseScriptedTable();
    struct Case {
        const char *function;
        size_t handled;
        size_t opInfos;
    };
    // The handler has run when its outcome is recorded; the op-info area goes in before the info item.
    const Case cases[] = {
        {"QOF_AddOpInfoArea", 1, 0},
        {"QOF_GetAtomOpCode", 1, 0},
        {"QOF_GetAtomSeq", 1, 0},
        {"QOF_AddInfoItem", 2, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.function);
        g_calls.clear();
        STANDIN_ReplyClear();
        STANDIN_FailClear(nullptr);
        // The handlers read the sequence too: fail only the dispatcher's read of the first atom.
        const uint64_t nth = std::strcmp(c.function, "QOF_GetAtomSeq") == 0 ? 2 : 1;
        ASSERT_EQ(STANDIN_FailCall(c.function, nth, 1), 0);
        EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_OK);
        EXPECT_EQ(g_calls.size(), c.handled);
        const STANDIN_Reply *reply = OnlyReply();
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(reply->opInfoNum, c.opInfos);
        EXPECT_EQ(reply->infoItemNum, 0u);
        EXPECT_EQ(reply->hasRetCode, 1u);
        EXPECT_EQ(reply->retCode, 1u);
    }
}

TEST_F(DispatchTest, AtomOfAClassWithoutARowCountsAsApplied)
{
    rows_[0] = {0, ZELM_CLASS_LOCATION, PassA};
    UseTable(rows_, 1);
    EXPECT_EQ(Deliver({{ZELM_CLASS_LOCATION, 0, 1}, {kUnknownClass, 1, 2}, {ZELM_CLASS_COMP_NODE, 2, 3}}), ZELM_OK);

    ASSERT_EQ(g_calls.size(), 1u);
    const STANDIN_Reply *reply = OnlyReply();
    ASSERT_NE(reply, nullptr);
    ASSERT_EQ(reply->opInfoNum, 3u);
    ExpectOpInfo(reply, 1, 1, ZELM_OK, 2);
    ExpectOpInfo(reply, 2, 2, ZELM_OK, 3);
    EXPECT_EQ(reply->infoItemNum, 0u);
    EXPECT_EQ(reply->hasRetCode, 0u);
    EXPECT_TRUE(zt::HasLog("[ZELM] GetClassId classId = 0xbadc1a5", LORN_LEVEL_INFO, "ZelmProTuvCfgAtom"));
    EXPECT_EQ(zt::CountLog("[ZELM] GetClassId classId = 0xbadc1a5"), 1u) << "an unknown class logs nothing more";
}

TEST_F(DispatchTest, FirstRowOfAClassTakesTheAtom)
{
    rows_[0] = {0, ZELM_CLASS_COMP_NODE, PassC};
    rows_[1] = {0, ZELM_CLASS_LOCATION, FailB};
    rows_[2] = {0, ZELM_CLASS_LOCATION, PassA};
    UseTable(rows_, 3);
    EXPECT_EQ(Deliver({{ZELM_CLASS_LOCATION, 0, 1}}), ZELM_OK);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].handler, 1);
    const STANDIN_Reply *reply = OnlyReply();
    ASSERT_NE(reply, nullptr);
    ASSERT_EQ(reply->opInfoNum, 1u);
    ExpectOpInfo(reply, 0, 0, ZELM_ERR, 1);
}

TEST_F(DispatchTest, ReplyThatCannotBeMadeMeansNoReplyAndNoHandling)
{
    UseScriptedTable();
    ASSERT_EQ(STANDIN_FailCall("QOF_CreateMsg", 1, 1), 0);
    EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_ERR);
    EXPECT_EQ(STANDIN_ReplyCount(), 0u);
    EXPECT_EQ(STANDIN_MsgAliveCount(), 0u);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(DispatchTest, RegistrationsFromAnotherRecordAreRefusedWithoutAReply)
{
    UseScriptedTable();
    ZelmLocalData foreign;
    std::memset(&foreign, 0x3C, sizeof(foreign));
    const ZelmLocalData pristine = foreign;
    ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(ZELM_CLASS_LOCATION, 0, ZelmProcTuvTableMsg, &foreign), 0u);

    EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_ERR);
    EXPECT_EQ(STANDIN_ReplyCount(), 0u);
    EXPECT_EQ(STANDIN_CallCount("QOF_CreateMsg"), 0u);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(std::memcmp(&foreign, &pristine, sizeof(foreign)), 0) << "foreign user data is not touched";

    ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(ZELM_CLASS_LOCATION, 0, ZelmProcTuvTableMsg, ZELM_GetLocalData()), 0u);
    EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_OK);
    EXPECT_EQ(STANDIN_ReplyCount(), 1u);
}

using RegistrationTest = StandinTest;

TEST_F(RegistrationTest, RefusedRowTwoKeepsRowsZeroAndOneAndReleasesTheTable)
{
    ASSERT_EQ(STANDIN_FailCall("QOF_UloServerSetClassidMsgHandler", 3, 0x17), 0);
    EXPECT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_ERR);

    EXPECT_TRUE(zt::HasLog("[ZELM] Ulo Server Set Classid Msg failed, ret=0x17 index=0x2.", LORN_LEVEL_ERROR,
                           "ZELM_RegisterMsgTable"));
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_LOCATION, nullptr), ZelmProcTuvTableMsg);
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_LOGIC_LOC_GRP, nullptr), ZelmProcTuvTableMsg);
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_COMPONENT, nullptr), nullptr);
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_COMP_NODE, nullptr), nullptr);
    ZelmLocalData *data = ZELM_GetLocalData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->msgTable, nullptr);
    EXPECT_EQ(data->msgTableNum, 0u);

    ZELM_FInit();  // must not release the table a second time
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

TEST_F(RegistrationTest, StoppedLibraryAnswersNoMessageThoughItsClassesStayRegistered)
{
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    ZELM_FInit();
    void *userData = nullptr;
    EXPECT_EQ(STANDIN_UloHandler(ZELM_CLASS_COMPONENT, &userData), ZelmProcTuvTableMsg);
    STANDIN_LogClear();

    const ZelmCompInstCfg comp = zt::CompCfg(1, 1, 1, "c");
    EXPECT_EQ(zt::Deliver(ZELM_CLASS_COMPONENT, ZELM_CFG_OP_ADD, comp), ZELM_ERR);
    EXPECT_EQ(STANDIN_ReplyCount(), 0u);
    EXPECT_EQ(STANDIN_CallCount("QOF_CreateMsg"), 0u);
    EXPECT_EQ(STANDIN_LogCount(), 0u);

    // A new start registers its own record and messages are answered again.
    ASSERT_EQ(ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree), ZELM_OK);
    EXPECT_EQ(zt::Deliver(ZELM_CLASS_COMPONENT, 7, comp), ZELM_OK);
    EXPECT_EQ(STANDIN_ReplyCount(), 1u);
    STANDIN_RpcFailPending(1);
    ZELM_FInit();
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

}  // namespace
