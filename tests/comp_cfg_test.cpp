// COMP configuration: the component and component type tables, their gates, fan-out and deletes.
#include <cstring>
#include <string>

#include "comp_fixture.h"
#include "platform/lorn.h"

namespace {

class CompCfgTest : public CompTest {
protected:
    // Number of components the module keeps at a location it knows.
    static size_t HeldAt(uint32_t locIndex) { return ZEL_SET_Count(Location(locIndex)->componentTree); }
};

TEST_F(CompCfgTest, CfgStatusBitThirtyOneGatesAddsAndDeletes)
{
    struct Case {
        int32_t cfgStatus;
        bool acted;
        const char *shown;
    };
    const Case cases[] = {
        {INT32_MIN, true, ""}, {-1, true, ""}, {0, false, "0"}, {INT32_MAX, false, "0x7fffffff"}};
    uint32_t locIndex = 1;
    for (const Case &c : cases) {
        ASSERT_EQ(Comp(ZELM_CFG_OP_ADD, zt::CompCfg(locIndex, 1, 10, "comp", c.cfgStatus)), 0u);
        const std::string ignored = "zelm comp, comp proc by instcfg ignore. compInstName comp(1) locIndex " +
                                    std::to_string(locIndex) + " cfgStatus " + c.shown;
        EXPECT_EQ(Location(locIndex) != nullptr, c.acted) << c.cfgStatus;
        EXPECT_EQ(zt::HasLog(ignored, LORN_LEVEL_INFO, "ZELM_ComponentProc"), !c.acted) << c.cfgStatus;
        ++locIndex;
    }

    ASSERT_EQ(Comp(ZELM_CFG_OP_DEL, zt::CompCfg(1, 1, 10, "comp", 0)), 0u);
    EXPECT_EQ(HeldAt(1), 1u) << "a delete with bit 31 clear is ignored too";
    ASSERT_EQ(Comp(ZELM_CFG_OP_DEL, zt::CompCfg(1, 1, 10, "comp", -1)), 0u);
    EXPECT_EQ(HeldAt(1), 0u);
}

TEST_F(CompCfgTest, OperationCodesAboveTwoDoNothing)
{
    const size_t logs = zt::PlainLog().size();
    EXPECT_EQ(Comp(3, zt::CompCfg(5, 1, 10, "comp")), 0u);
    EXPECT_EQ(Type(7, zt::CompNodeCfg(10, "type")), 0u);
    EXPECT_EQ(Location(5), nullptr);
    EXPECT_EQ(ZEL_SET_Count(Cb()->compNodeTree), 0u);
    const auto lines = zt::PlainLog();
    for (size_t i = logs; i < lines.size(); ++i) {
        const std::string &func = lines[i].func;
        EXPECT_EQ(func.find("Comp"), std::string::npos) << func;
        EXPECT_EQ(func.find("COMP"), std::string::npos) << func;
    }
}

TEST_F(CompCfgTest, UnreadableAtomsFailWithTheirOwnLine)
{
    struct Case {
        const char *platformFn;
        const char *line;
        bool compNode;
    };
    const Case cases[] = {
        {"QOF_GetAtomOpCode", "ZELM Proc component table get opcode failed.", false},
        {"QOF_GetRecData", "ZELM Proc component table get RecData failed.", false},
        {"QOF_GetAtomOpCode", "ZELM Proc compNode table get opcode failed.", true},
        {"QOF_GetRecData", "ZELM Proc compNode table get RecData failed.", true},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(STANDIN_FailCall(c.platformFn, 1, 1), 0);
        const uint32_t code = c.compNode ? AddType(10) : AddComp(5, 1, 10);
        STANDIN_FailClear(nullptr);
        EXPECT_EQ(code, 0xFFFFFFFFu) << c.line;
        EXPECT_TRUE(zt::HasLog(c.line, LORN_LEVEL_ERROR, c.compNode ? "ZELM_ProcTuvCompNode" : "ZELM_ProcTuvComponent"));
    }
    EXPECT_EQ(Location(5), nullptr);
    EXPECT_EQ(ZEL_SET_Count(Cb()->compNodeTree), 0u);
}

TEST_F(CompCfgTest, DeletionCarriesTheStoredValuesAndKeepsTheLocation)
{
    const QOF_ConnHandle agent = Announce(5);
    ASSERT_EQ(AddType(10), 0u);
    ZelmCompInstCfg stored = zt::CompCfg(5, 1, 10, "stored");
    stored.attr1 = 7;
    ASSERT_EQ(Comp(ZELM_CFG_OP_ADD, stored), 0u);
    Settle();

    ZelmCompInstCfg del = zt::CompCfg(5, 1, 99, "other");
    del.attr1 = 99;
    const size_t from = STANDIN_RpcCallCount();
    ASSERT_EQ(Comp(ZELM_CFG_OP_DEL, del), 0u);
    Settle();

    const auto calls = CompCalls(from);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->opType, ZELM_COMP_OP_DEL);
    ASSERT_EQ(calls[0]->entryNum, 1u);
    EXPECT_EQ(calls[0]->compEntries[0].attr1, 7u);
    EXPECT_EQ(calls[0]->compEntries[0].compType, 10u);
    EXPECT_STREQ(calls[0]->compEntries[0].compInstName, "stored");
    EXPECT_EQ(STANDIN_AgentCompFind(agent, 5, 1), nullptr);
    ASSERT_NE(Location(5), nullptr);
    EXPECT_EQ(HeldAt(5), 0u);

    ASSERT_EQ(Comp(ZELM_CFG_OP_DEL, del), 0u);
    EXPECT_TRUE(zt::HasLog("zelm comp, delete comp by instcfg Not find component. compInstName other(1) locIndex 5",
                           LORN_LEVEL_INFO, "ZELM_COMP_DelComponentByInstCfg"));
    ASSERT_EQ(Comp(ZELM_CFG_OP_DEL, zt::CompCfg(6, 1, 10, "x")), 0u);
    EXPECT_TRUE(zt::HasLog("zelm comp, delete comp by instcfg Not find location. compInstName x(1) locIndex 6",
                           LORN_LEVEL_INFO, "ZELM_COMP_DelComponentByInstCfg"));
}

TEST_F(CompCfgTest, TypeUpdateFansOutByAscendingLocationThenInstance)
{
    Announce(3, 1);
    Announce(1, 2);
    ASSERT_EQ(AddComp(1, 9, 10), 0u);
    ASSERT_EQ(AddComp(1, 5, 11), 0u);
    ASSERT_EQ(AddComp(1, 4, 10), 0u);
    ASSERT_EQ(AddComp(2, 1, 10), 0u);  // no channel
    ASSERT_EQ(AddComp(3, 2, 10), 0u);
    const size_t from = STANDIN_RpcCallCount();

    ASSERT_EQ(AddType(10), 0u);
    const auto calls = CompCalls(from);
    ASSERT_EQ(calls.size(), 3u);
    const uint32_t expected[][2] = {{1, 4}, {1, 9}, {3, 2}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i]->opType, ZELM_COMP_OP_ADD);
        EXPECT_EQ(calls[i]->locIndex, expected[i][0]);
        ASSERT_EQ(calls[i]->entryNum, 1u);
        EXPECT_EQ(calls[i]->compEntries[0].compInst, expected[i][1]);
    }
    EXPECT_EQ(zt::CountLog("zelm comp, compNode publish opType 0. location 2 is Not register.",
                           "ZELM_COMP_CompNodePublish"),
              1u);
    EXPECT_TRUE(zt::HasLog("zelm compNode publish opertype 0. locIndex 1, cid 9, compInstName comp, compType 10.",
                           LORN_LEVEL_INFO, "ZELM_COMP_CompPublishByCompType"));
    EXPECT_TRUE(zt::HasLog("zelm comp, add compNode by cfg ok. compType (10) compTypeName (type) compFileName(comp.bin)",
                           LORN_LEVEL_INFO, "ZELM_COMP_UpdateCompNodeByCfg"));
}

TEST_F(CompCfgTest, TypeOfClassZeroIsNeitherStoredNorDeleted)
{
    Announce(5);
    ASSERT_EQ(Type(ZELM_CFG_OP_ADD, zt::CompNodeCfg(10, "old")), 0u);
    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    const size_t from = STANDIN_RpcCallCount();

    ASSERT_EQ(Type(ZELM_CFG_OP_ADD, zt::CompNodeCfg(10, "new", 0)), 0u);
    ASSERT_EQ(Type(ZELM_CFG_OP_DEL, zt::CompNodeCfg(10, "new", 0)), 0u);
    EXPECT_TRUE(CompCalls(from).empty());
    EXPECT_TRUE(zt::HasLog("zelm comp, add compNode by cfg ignore. compType (10) compTypeName (new) compClass(Not QOF)",
                           LORN_LEVEL_INFO, "ZELM_COMP_UpdateCompNodeByCfg"));
    EXPECT_TRUE(zt::HasLog("zelm comp, del compNode by cfg ignore. compType (10) compTypeName (new) compClass(Not QOF)",
                           LORN_LEVEL_INFO, "ZELM_COMP_DelCompNodeByCfg"));

    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    const auto calls = CompCalls(from);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_STREQ(calls[0]->compEntries[0].compTypeName, "old");
}

TEST_F(CompCfgTest, DeleteByLocationWithdrawsEverythingInOneRequest)
{
    const QOF_ConnHandle agent = Announce(5);
    ASSERT_EQ(AddType(10), 0u);
    ASSERT_EQ(AddComp(5, 1, 10), 0u);
    ASSERT_EQ(AddComp(5, 2, 10), 0u);
    Settle();
    const size_t from = STANDIN_RpcCallCount();

    ZELM_ComponentDeleteByLoc(5);
    const auto calls = CompCalls(from);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->opType, ZELM_COMP_OP_DEL);
    EXPECT_EQ(calls[0]->entryNum, 2u);
    EXPECT_EQ(Location(5), nullptr);
    const size_t destroyed = zt::FindLog("zelm destroy location locIndex 5");
    ASSERT_NE(destroyed, SIZE_MAX);
    EXPECT_NE(zt::FindLog("zelm comp, delete comp by locIndex 5 finished.", destroyed), SIZE_MAX);
    Settle();
    EXPECT_EQ(STANDIN_AgentCompCount(agent), 0u);
}

TEST_F(CompCfgTest, DeleteByLocationWithoutChannelOrLocation)
{
    ASSERT_EQ(AddComp(6, 1, 10), 0u);
    ZELM_ComponentDeleteByLoc(6);
    EXPECT_TRUE(CompCalls().empty());
    EXPECT_EQ(Location(6), nullptr);
    EXPECT_TRUE(zt::HasLog("zelm comp, location(locIndex 6) chanHandle is NULL.", LORN_LEVEL_INFO));
    EXPECT_TRUE(zt::HasLog("zelm destroy location locIndex 6", LORN_LEVEL_INFO));

    const size_t logs = zt::PlainLog().size();
    ZELM_ComponentDeleteByLoc(9);
    const auto lines = zt::PlainLog();
    ASSERT_EQ(lines.size(), logs + 1);
    EXPECT_EQ(lines[logs].body, "zelm comp, delete comp by locIndex 9 finished.");
    EXPECT_EQ(lines[logs].func, "ZELM_ComponentDeleteByLoc");
}

TEST_F(CompCfgTest, TextsWithoutTerminatorAreCopiedUpToTheirWidth)
{
    const std::string inst(32, 'i'), typeName(32, 't'), file(64, 'f'), ext(68, 'e');
    ZelmCompNodeCfg type = zt::CompNodeCfg(10, "");
    std::memcpy(type.compTypeName, typeName.data(), 32);
    std::memcpy(type.compFileName, file.data(), 64);
    std::memcpy(type.compExtName, ext.data(), 68);
    ZelmCompInstCfg comp = zt::CompCfg(5, 1, 10, "");
    std::memcpy(comp.compInstName, inst.data(), 32);
    comp.attr1 = 0x41414141;  // letters after the name: an unbounded copy would run on into them

    const QOF_ConnHandle agent = Announce(5);
    ASSERT_EQ(Type(ZELM_CFG_OP_ADD, type), 0u);
    ASSERT_EQ(Comp(ZELM_CFG_OP_ADD, comp), 0u);
    Settle();

    const STANDIN_CompEntry *held = STANDIN_AgentCompFind(agent, 5, 1);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(std::string(held->compInstName), inst);
    EXPECT_EQ(std::string(held->compTypeName), typeName);
    EXPECT_EQ(std::string(held->compFileName), file);
    EXPECT_EQ(std::string(held->compExtName), ext);
    EXPECT_TRUE(zt::HasLog("zelm comp, add comp inst to location ok. compInstName " + inst + "(1) locIndex 5",
                           LORN_LEVEL_INFO, "ZELM_COMP_AddComponentByInstCfg"));
}

}  // namespace
