// Configuration intake: atom-by-atom dispatch, the reply each message gets, and the four handlers' own refusals.
#include <array>
#include <cstring>
#include <vector>

#include "platform/lorn.h"
#include "support/zelm_test.h"

namespace {

constexpr uint32_t kUnknownClass = 0x0BADC1A5u;

struct HandlerCall {
    int handler;
    uint16_t seq;
    bool argsAsExpected;
};
std::vector<HandlerCall> g_calls;

template <int Which, uint32_t Result>
uint32_t Scripted(QOF_Msg *msg, QOF_Atom *atom, QOF_Msg **replyRef, ZelmLocalData *data, QOF_RecordCtx *recordCtx)
{
    uint16_t seq = 0;
    (void)QOF_GetAtomSeq(atom, &seq);
    g_calls.push_back({Which, seq,
                       msg != nullptr && replyRef != nullptr && *replyRef != nullptr && data == g_zelmLocalData &&
                           recordCtx != nullptr});
    return Result;
}

// A started library whose message table is swapped for scripted rows during a test.
class DispatchTest : public ZelmTest {
protected:
    void SetUp() override
    {
        ZelmTest::SetUp();
        g_calls.clear();
        saved_ = *ZELM_GetLocalData();
        UseRows({{0, ZELM_CLASS_LOCATION, Scripted<0, 0>},
                 {0, ZELM_CLASS_LOGIC_LOC_GRP, Scripted<1, ZELM_ERR>},
                 {0, ZELM_CLASS_COMPONENT, Scripted<2, 0>}});
    }
    void TearDown() override
    {
        ZELM_GetLocalData()->msgTable = saved_.msgTable;
        ZELM_GetLocalData()->msgTableNum = saved_.msgTableNum;
        ZelmTest::TearDown();
    }
    void UseRows(std::vector<ZelmMsgTableEntry> rows)
    {
        rows_ = std::move(rows);
        ZELM_GetLocalData()->msgTable = rows_.data();
        ZELM_GetLocalData()->msgTableNum = static_cast<uint32_t>(rows_.size());
    }
    // Delivers atoms {class, opCode, seq} as one message; returns what the handler returned.
    static uint32_t Deliver(const std::vector<std::array<uint32_t, 3>> &atoms)
    {
        STANDIN_Msg *msg = STANDIN_MsgNew();
        STANDIN_MsgSetClass(msg, ZELM_CLASS_LOCATION);
        const uint8_t record[4] = {};
        for (const auto &[classId, opCode, seq] : atoms) {
            STANDIN_MsgAddAtom(msg, classId, static_cast<uint16_t>(opCode), static_cast<uint16_t>(seq), record, 4);
        }
        uint32_t result = 0x5A5A5A5Au;
        EXPECT_EQ(STANDIN_MsgDeliverNow(msg, &result), 0u);
        return result;
    }
    static std::vector<std::array<uint32_t, 3>> ThreeAtoms()
    {
        return {{ZELM_CLASS_LOCATION, 0, 11}, {ZELM_CLASS_LOGIC_LOC_GRP, 1, 12}, {ZELM_CLASS_COMPONENT, 2, 13}};
    }
    // The one reply, released; "opCode/code/seq ..." per op-info area, then the info items and return code.
    static std::string Reply()
    {
        EXPECT_EQ(STANDIN_MsgAliveCount(), 0u) << "every reply is released";
        if (STANDIN_ReplyCount() != 1) {
            return std::string("replies: ") + std::to_string(STANDIN_ReplyCount());
        }
        const STANDIN_Reply *r = STANDIN_ReplyGet(0);
        std::string s = r->createKind == 3 && r->handedBack != 0 ? "" : "badly made ";
        for (size_t i = 0; i < r->opInfoNum; ++i) {
            s += std::to_string(r->opInfos[i].opCode) + std::string("/") + std::to_string(r->opInfos[i].code) + "/" +
                 std::to_string(r->opInfos[i].seq) + " ";
        }
        for (size_t i = 0; i < r->infoItemNum; ++i) {
            s += std::string("item ") + std::to_string(r->infoItems[i]) + " ";
        }
        return s + (r->hasRetCode != 0 ? std::string("ret ") + std::to_string(r->retCode) : "no ret");
    }

    ZelmLocalData saved_{};
    std::vector<ZelmMsgTableEntry> rows_;
};

TEST_F(DispatchTest, EveryAtomIsAnsweredWithItsHandlersCodeAndAFailureDoesNotStopTheMessage)
{
    EXPECT_EQ(Deliver(ThreeAtoms()), 0u);
    ASSERT_EQ(g_calls.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g_calls[i].handler, static_cast<int>(i));
        EXPECT_EQ(g_calls[i].seq, 11 + i);
        EXPECT_TRUE(g_calls[i].argsAsExpected) << i;
    }
    EXPECT_EQ(Reply(), "0/0/11 1/4294967295/12 2/0/13 item 4294967295 no ret");
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_INFO, "ZelmProTuvCfgAtom", "0x4d30a031"));
}

TEST_F(DispatchTest, MessageWithoutAtomsIsAnsweredWithReturnCodeOneAndFails)
{
    EXPECT_EQ(Deliver({}), ZELM_ERR);
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, "ZelmProcTuvTableMsg"));
    EXPECT_EQ(Reply(), "ret 1");
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(DispatchTest, AtomOfAClassWithoutARowCountsAsAppliedAndTheFirstRowOfAClassTakesIt)
{
    UseRows({{0, ZELM_CLASS_LOCATION, Scripted<0, ZELM_ERR>}, {0, ZELM_CLASS_LOCATION, Scripted<1, 0>}});
    EXPECT_EQ(Deliver({{ZELM_CLASS_LOCATION, 0, 1}, {kUnknownClass, 1, 2}}), 0u);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].handler, 0);
    EXPECT_EQ(Reply(), "0/4294967295/1 1/0/2 item 4294967295 no ret");
}

// A failing platform call while the message is taken apart, the handlers run before it, the reply then.
TEST_F(DispatchTest, AtomThatCannotBeReadOrAnsweredStopsTheMessageWithReturnCodeOne)
{
    struct Case {
        const char *point;
        uint64_t nth;
        size_t handled;
        const char *reply;
    };
    const Case cases[] = {
        {"QOF_GetNextAtom", 2, 1, "0/0/11 ret 1"},
        {"QOF_GetClassId", 2, 1, "0/0/11 ret 1"},
        {"QOF_AddOpInfoArea", 1, 1, "ret 1"},
        {"QOF_GetAtomOpCode", 1, 1, "ret 1"},
        {"QOF_GetAtomSeq", 2, 1, "ret 1"},  // the handler reads the first atom's sequence first
        {"QOF_AddInfoItem", 1, 2, "0/0/11 1/4294967295/12 ret 1"},
        {"QOF_CreateMsg", 1, 0, "replies: 0"},
    };
    for (const Case &c : cases) {
        g_calls.clear();
        STANDIN_ReplyClear();
        ASSERT_EQ(STANDIN_FailCall(c.point, c.nth, 5), 0);
        EXPECT_EQ(Deliver(ThreeAtoms()), std::string(c.point) == "QOF_CreateMsg" ? ZELM_ERR : 0u) << c.point;
        EXPECT_EQ(g_calls.size(), c.handled) << c.point;
        EXPECT_EQ(Reply(), c.reply) << c.point;
        STANDIN_FailClear(nullptr);
    }
    EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, "ZelmProTuvCfgAtom", "= 5"));
}

TEST_F(DispatchTest, MessageForAnotherRecordIsRefusedWithoutAReplyAndLeavesItAlone)
{
    ZelmLocalData foreign;
    std::memset(&foreign, 0x3C, sizeof(foreign));
    const ZelmLocalData pristine = foreign;
    ASSERT_EQ(QOF_UloServerSetClassidMsgHandler(ZELM_CLASS_LOCATION, 0, ZelmProcTuvTableMsg, &foreign), 0u);
    EXPECT_EQ(Deliver(ThreeAtoms()), ZELM_ERR);
    EXPECT_EQ(STANDIN_ReplyCount(), 0u);
    EXPECT_EQ(std::memcmp(&foreign, &pristine, sizeof(foreign)), 0);
    EXPECT_EQ(ZelmProcTuvTableMsg(ZELM_GetLocalData(), nullptr, nullptr), ZELM_ERR);
    EXPECT_EQ(STANDIN_ReplyCount(), 0u);
    EXPECT_EQ(STANDIN_CallCount("QOF_CreateMsg"), 0u) << "not even a reply is made";
    EXPECT_TRUE(g_calls.empty());
}

// Each handler refuses an atom it cannot read, and everything while its module is not started.
using HandlerTest = ZelmTest;

TEST_F(HandlerTest, RefusesWhatItCannotReadOrHasNoModuleFor)
{
    const ZelmLocInstCfg loc = zt::LocCfg(1, 0x101);
    const ZelmLogicLocGrpCfg grp = zt::GrpCfg(1, 2);
    const ZelmCompInstCfg comp = zt::CompCfg(1, 1, 5);
    const ZelmCompNodeCfg type = zt::CompNodeCfg(5);
    const struct {
        const char *handler;
        uint32_t classId;
        const void *record;
        uint32_t len;
    } handlers[] = {{"ZELM_ProcTuvLocation", ZELM_CLASS_LOCATION, &loc, sizeof(loc)},
                    {"ZELM_ProcTuvLocLogicGrp", ZELM_CLASS_LOGIC_LOC_GRP, &grp, sizeof(grp)},
                    {"ZELM_ProcTuvComponent", ZELM_CLASS_COMPONENT, &comp, sizeof(comp)},
                    {"ZELM_ProcTuvCompNode", ZELM_CLASS_COMP_NODE, &type, sizeof(type)}};
    for (const auto &h : handlers) {
        for (const char *point : {"QOF_GetAtomOpCode", "QOF_GetRecData"}) {
            ASSERT_EQ(STANDIN_FailCall(point, 1, 1), 0);
            const size_t from = STANDIN_LogCount();
            EXPECT_EQ(zt::AtomBytes(h.classId, 0, h.record, h.len), ZELM_ERR) << h.handler << " " << point;
            const std::vector<zt::LogLine> lines = zt::Log(from);
            EXPECT_TRUE(!lines.empty() && lines.back().level == LORN_LEVEL_ERROR && lines.back().func == h.handler)
                << h.handler << " " << point;
        }
    }
    EXPECT_EQ(ZEL_SET_Count(zt::LocCb()->locationInstTree) + ZEL_SET_Count(zt::CompCb()->compNodeTree), 0u);
    EXPECT_EQ(ZELM_ComponentProc(nullptr, 0) & ZELM_CompNodeProc(nullptr, 0), ZELM_ERR);

    Stop();
    EXPECT_EQ(ZELM_LocationProc(&loc, 0), ZELM_ERR);
    EXPECT_EQ(ZELM_LocLogicGrpProc(&grp, 0), ZELM_ERR);
    EXPECT_EQ(ZELM_ComponentProc(&comp, 0), ZELM_ERR);
    EXPECT_EQ(ZELM_CompNodeProc(&type, 0), ZELM_ERR);
    ZELM_ComponentDeleteByLoc(1);
    for (const char *func : {"ZELM_LocationProc", "ZELM_LocLogicGrpProc", "ZELM_ComponentProc", "ZELM_CompNodeProc",
                             "ZELM_ComponentDeleteByLoc"}) {
        EXPECT_TRUE(zt::Logged(LORN_LEVEL_ERROR, func)) << func;
    }
}

}  // namespace
