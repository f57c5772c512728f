// Fixture of the COMP tests: a started library with helpers to announce locations and configure types and components.
#ifndef ZELM_TESTS_COMP_FIXTURE_H
#define ZELM_TESTS_COMP_FIXTURE_H

#include <string>
#include <vector>

#include "support/zelm_test.h"

class CompTest : public ZelmTest {
protected:
    static ZelmCompCb *Cb() { return static_cast<ZelmCompCb *>(ZELM_GetModCb(ZELM_MOD_COMP)); }

    // Declares OS node (0, slot, 0) with an agent and reports location "svc<locIndex>" available there.
    static QOF_ConnHandle Announce(uint32_t locIndex, uint32_t slot = 1)
    {
        const uint32_t node = STANDIN_KormAddOsNode(0, slot, 0, 1);
        const std::string service = "svc" + std::to_string(locIndex);
        STANDIN_KormRaiseLocationStatus(node, service.c_str(), locIndex, 1);
        STANDIN_RunDue();
        return STANDIN_KormServerHandle(node);
    }

    // Delivers one atom and returns the code its reply recorded: the handler's result.
    template <typename Rec>
    static uint32_t Atom(uint32_t classId, uint16_t opCode, const Rec &rec)
    {
        const size_t before = STANDIN_ReplyCount();
        EXPECT_EQ(zt::Deliver(classId, opCode, rec), 0u);
        if (STANDIN_ReplyCount() != before + 1 || STANDIN_ReplyGet(before)->opInfoNum != 1) {
            ADD_FAILURE() << "no reply with one op-info area";
            return 0xDEADu;
        }
        return STANDIN_ReplyGet(before)->opInfos[0].code;
    }

    static uint32_t Type(uint16_t opCode, const ZelmCompNodeCfg &cfg) { return Atom(ZELM_CLASS_COMP_NODE, opCode, cfg); }
    static uint32_t Comp(uint16_t opCode, const ZelmCompInstCfg &cfg) { return Atom(ZELM_CLASS_COMPONENT, opCode, cfg); }
    static uint32_t AddType(uint32_t compType) { return Type(ZELM_CFG_OP_ADD, zt::CompNodeCfg(compType, "type")); }
    static uint32_t AddComp(uint32_t locIndex, uint32_t compInst, uint32_t compType)
    {
        return Comp(ZELM_CFG_OP_ADD, zt::CompCfg(locIndex, compInst, compType, "comp"));
    }

    // Lets the agents answer every call made so far (agents answer after 1 ms; ticks are 5 s apart).
    static void Settle() { STANDIN_RunFor(10); }

    // Component calls made since call number `from`, in call order.
    static std::vector<const STANDIN_RpcCall *> CompCalls(size_t from = 0)
    {
        std::vector<const STANDIN_RpcCall *> calls;
        for (size_t i = from; i < STANDIN_RpcCallCount(); ++i) {
            if (STANDIN_RpcCallGet(i)->kind == STANDIN_RPC_COMP) {
                calls.push_back(STANDIN_RpcCallGet(i));
            }
        }
        return calls;
    }

    static const STANDIN_TimerInfo *SmoothTimer() { return STANDIN_TimerFind("ZelmCompSmooth"); }

    static ZelmCompLocation *Location(uint32_t locIndex)
    {
        return static_cast<ZelmCompLocation *>(ZEL_SET_Find(Cb()->locationTree, &locIndex, sizeof(locIndex)));
    }
};

#endif
