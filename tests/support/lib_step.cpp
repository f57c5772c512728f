// Running a step against the library on the stand-in, and printing it.
#include "support/lib_step.h"

namespace zt {
namespace {

constexpr uint64_t kAgentLatency = 1;       // the stand-in's agents answer one millisecond after a call
constexpr uint64_t kSmoothInterval = 5000;  // both smooth timers

template <typename Rec>
std::string DeliverOne(uint32_t classId, uint16_t opCode, const Rec &rec)
{
    const AtomAnswer answer = DeliverAtom(classId, opCode, &rec, sizeof(rec));
    if (!answer.trouble.empty()) {
        return answer.trouble;
    }
    if (answer.handlerResult != 0 || answer.reply->opInfos[0].code != 0 || answer.reply->infoItemNum != 0 ||
        answer.reply->hasRetCode != 0) {
        return "the atom was not answered as applied";
    }
    return "";
}

}  // namespace

AtomAnswer DeliverAtom(uint32_t classId, uint16_t opCode, const void *record, uint32_t len)
{
    const size_t before = STANDIN_ReplyCount();
    STANDIN_Msg *msg = STANDIN_MsgNew();
    STANDIN_MsgAddAtom(msg, classId, opCode, 0, record, len);
    AtomAnswer answer;
    if (STANDIN_MsgDeliverNow(msg, &answer.handlerResult) != 0) {
        answer.trouble = "no handler registered";
    } else if (STANDIN_ReplyCount() != before + 1 || STANDIN_ReplyGet(before)->opInfoNum != 1) {
        answer.trouble = "no reply with one op-info area";
    } else {
        answer.reply = STANDIN_ReplyGet(before);
    }
    return answer;
}

bool SetAgent(QOF_ConnHandle handle, AgentMode mode, uint32_t value)
{
    STANDIN_AgentScript script{};
    script.result = mode == AgentMode::Fail ? value : 0;
    script.noReplyNext = mode == AgentMode::NoReply ? UINT32_MAX : 0;
    script.refuseNext = mode == AgentMode::Refuse ? UINT32_MAX : 0;
    script.refuseStatus = value;
    return STANDIN_AgentSetScript(handle, &script) == 0 &&
           STANDIN_AgentSetDown(handle, mode == AgentMode::Down ? 1 : 0) == 0;
}

std::string RunStep(const Step &step)
{
    switch (step.kind) {
    case StepKind::Location:
        return DeliverOne(ZELM_CLASS_LOCATION, step.opCode, step.loc);
    case StepKind::Group:
        return DeliverOne(ZELM_CLASS_LOGIC_LOC_GRP, step.opCode, step.grp);
    case StepKind::CompNode:
        return DeliverOne(ZELM_CLASS_COMP_NODE, step.opCode, step.compNode);
    case StepKind::Component:
        return DeliverOne(ZELM_CLASS_COMPONENT, step.opCode, step.comp);
    case StepKind::OsNodeLink:
        if (STANDIN_KormRaiseOsNodeLink(step.node, step.on ? 1 : 0) != 0) {
            return "unknown OS node";
        }
        STANDIN_RunDue();
        return "";
    case StepKind::LocationStatus:
        STANDIN_KormRaiseLocationStatus(step.node, step.service.c_str(), step.index, step.on ? 1 : 0);
        STANDIN_RunDue();
        return "";
    case StepKind::Agent:
        return SetAgent(STANDIN_KormServerHandle(step.node), step.mode, step.value) ? "" : "no agent on that node";
    case StepKind::Settle:
        STANDIN_RunFor(kAgentLatency);
        return "";
    case StepKind::Tick:
        // Pending calls complete first (a failure may start a timer now), then every running
        // timer ticks once, then the calls of the ticks complete.
        STANDIN_RunFor(kAgentLatency);
        STANDIN_RunFor(kSmoothInterval);
        STANDIN_RunFor(kAgentLatency);
        return "";
    case StepKind::HaRole:
        STANDIN_MirlSetHaRole(step.value);
        return "";
    }
    return "unknown step";
}

std::ostream &operator<<(std::ostream &os, const Step &step)
{
    static const char *const kKinds[] = {"location",        "group", "compNode", "component", "OS-node link",
                                         "location status", "agent", "settle",   "tick",      "HA role"};
    os << kKinds[static_cast<int>(step.kind)] << std::hex;
    switch (step.kind) {
    case StepKind::Location:
        return os << " op " << step.opCode << " id " << step.loc.LocId << " os " << step.loc.OsInst << " image "
                  << TextOf(step.loc.imageName) << std::dec;
    case StepKind::Group:
        return os << " op " << step.opCode << " index " << step.grp.locIndex << std::dec;
    case StepKind::CompNode:
        return os << " op " << step.opCode << " type " << step.compNode.compType << " class " << step.compNode.compClass
                  << std::dec;
    case StepKind::Component:
        return os << " op " << step.opCode << " at " << step.comp.locIndex << " inst " << step.comp.compInst << " type "
                  << step.comp.compType << " status " << step.comp.cfgStatus << std::dec;
    default:
        return os << " node " << step.node << (step.on ? " up/on " : " down/off ") << step.service << " index "
                  << step.index << " mode " << static_cast<int>(step.mode) << " value " << step.value << std::dec;
    }
}

}  // namespace zt
