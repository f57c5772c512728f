// One entry into the library, as the model-based test and the fuzz target drive it through the stand-in.
#ifndef ZELM_TESTS_SUPPORT_LIB_STEP_H
#define ZELM_TESTS_SUPPORT_LIB_STEP_H

#include <cstdint>
#include <ostream>
#include <string>

#include "zelm.h"
#include "zelm_standin.h"

namespace zt {

enum class StepKind : uint8_t {
    Location,        // a one-atom message of the location table: opCode, loc
    Group,           // ... of the logic group table: opCode, grp
    CompNode,        // ... of the compNode table: opCode, compNode
    Component,       // ... of the component table: opCode, comp
    OsNodeLink,      // the node-status service reports node's link up (on) or down
    LocationStatus,  // it reports (node, service, index) available (on) or not
    Agent,           // the agent of node answers from now on by mode
    Settle,          // the agents answer every call made so far
    Tick,            // settle, one smooth interval, settle
    HaRole,          // the HA role becomes value
};

// How an agent answers every call until told otherwise. Down also fails the calls pending on it.
enum class AgentMode : uint8_t { Accept, Fail, NoReply, Refuse, Down };

struct Step {
    StepKind kind = StepKind::Settle;
    uint16_t opCode = 0;
    ZelmLocInstCfg loc{};
    ZelmLogicLocGrpCfg grp{};
    ZelmCompNodeCfg compNode{};
    ZelmCompInstCfg comp{};
    uint32_t node = 0;
    bool on = false;
    std::string service{};
    uint32_t index = 0;
    AgentMode mode = AgentMode::Accept;
    uint32_t value = 0;  // Agent: the failing result (Fail) or the refusal status (Refuse); HaRole: the role
};

std::ostream &operator<<(std::ostream &os, const Step &step);

// What a one-atom message delivered at once got back.
struct AtomAnswer {
    std::string trouble;                   // "" when a handler took it and it got one reply of one op-info area
    uint32_t handlerResult = 0;            // what the handler returned
    const STANDIN_Reply *reply = nullptr;  // that reply, when there is no trouble
};
AtomAnswer DeliverAtom(uint32_t classId, uint16_t opCode, const void *record, uint32_t len);

// Makes the agent behind a handle answer by a mode; false when there is no such agent.
bool SetAgent(QOF_ConnHandle handle, AgentMode mode, uint32_t value);

// Delivers the step to the library through the stand-in and runs the loop steps it causes.
// Returns what went wrong on the way ("" when nothing did): a configuration atom must be
// answered with one op-info area of code 0, a link report must reach a declared node.
std::string RunStep(const Step &step);

// Fills a fixed-width text field; a text as long as the field leaves it without a NUL.
template <size_t N>
void SetText(char (&field)[N], const std::string &text)
{
    for (size_t i = 0; i < N; ++i) {
        field[i] = i < text.size() ? text[i] : '\0';
    }
}

// A field's text, up to its NUL or its width.
template <size_t N>
std::string TextOf(const char (&field)[N])
{
    size_t n = 0;
    while (n < N && field[n] != '\0') {
        ++n;
    }
    return std::string(field, n);
}

}  // namespace zt

#endif
