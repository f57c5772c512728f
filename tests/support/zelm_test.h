// Shared fixtures and helpers of the example tests: a library on a freshly reset stand-in, and ways to drive it.
#ifndef ZELM_TESTS_SUPPORT_ZELM_TEST_H
#define ZELM_TESTS_SUPPORT_ZELM_TEST_H

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/lorn.h"
#include "support/lib_snapshot.h"
#include "support/lib_step.h"
#include "zelm.h"
#include "zelm_standin.h"

namespace zt {

// Configuration records with the fields the tests care about; the rest zero.
ZelmLocInstCfg LocCfg(uint32_t locId, uint32_t osInst, const char *name = "loc", const char *image = "app.service");
ZelmLogicLocGrpCfg GrpCfg(uint32_t locIndex, uint32_t logicId, uint32_t faultPolicy = 0);
ZelmCompInstCfg CompCfg(uint32_t locIndex, uint32_t compInst, uint32_t compType, const char *name = "comp",
                        int32_t cfgStatus = INT32_MIN);
ZelmCompNodeCfg CompNodeCfg(uint32_t compType, const char *typeName = "type", uint32_t compClass = 1);

// Delivers one atom at once and returns the code its reply recorded (0xDEAD when there was no such reply).
uint32_t AtomBytes(uint32_t classId, uint16_t opCode, const void *record, uint32_t len);
template <typename Rec>
uint32_t Atom(uint32_t classId, uint16_t opCode, const Rec &rec)
{
    return AtomBytes(classId, opCode, &rec, sizeof(rec));
}
inline uint32_t Loc(uint16_t op, const ZelmLocInstCfg &c)
{
    return Atom(ZELM_CLASS_LOCATION, op, c);
}
inline uint32_t Grp(uint16_t op, const ZelmLogicLocGrpCfg &c)
{
    return Atom(ZELM_CLASS_LOGIC_LOC_GRP, op, c);
}
inline uint32_t Comp(uint16_t op, const ZelmCompInstCfg &c)
{
    return Atom(ZELM_CLASS_COMPONENT, op, c);
}
inline uint32_t Type(uint16_t op, const ZelmCompNodeCfg &c)
{
    return Atom(ZELM_CLASS_COMP_NODE, op, c);
}

// Lets the agents answer every call made so far; a tick is one smooth interval, then the answers.
void Settle();
void Tick();
// Declares OS node (0, slot, 0) with an agent, links it up, and reports location "svc<index>" available on it.
QOF_ConnHandle Announce(uint32_t locIndex, uint32_t slot = 1);
// Makes the agent behind a handle answer as given (a step's agent modes).
inline void Answer(QOF_ConnHandle handle, AgentMode mode, uint32_t value = 5)
{
    EXPECT_TRUE(SetAgent(handle, mode, value));
}

// RPC calls of one kind made since call number `from`, in call order.
std::vector<const STANDIN_RpcCall *> Calls(STANDIN_RpcKind kind, size_t from = 0);

// Plain-log lines (LORN_LogWrite) since event number `from` of the recorder.
struct LogLine {
    uint32_t level;
    std::string func;
    std::string body;
};
std::vector<LogLine> Log(size_t from = 0);
// Whether a line with this level and function, its body holding `text` (empty: any body), was written
// since event number `from`.
bool Logged(uint32_t level, const std::string &func, const std::string &text = "", size_t from = 0);

// One row of a module's log table: what to do, and the line it must write: its level, its
// function and a part of its body that tells it from the function's other lines.
struct LogCase {
    std::function<void()> act;
    uint32_t level;
    const char *func;
    const char *text;
};
// Runs the rows in order; each must write its line while it runs.
void ExpectLogTable(const std::vector<LogCase> &table);

// A line a fault must make a function write: at error level unless said otherwise.
struct Reporter {
    Reporter(const char *function, uint32_t lineLevel = LORN_LEVEL_ERROR, const char *lineText = "")
        : func(function), level(lineLevel), text(lineText)
    {}
    const char *func;
    uint32_t level;
    const char *text;
};

// One row of a module's fault table: the nth call of an injection point fails once while `act`
// runs; `act` returns the code its atom got (or what else it reports), which must be `code`; each
// reporter must write its line; `sent` requests of the table's kind may be made (refused ones
// count); and `left`, given the first log event of the row, tells what is wrong with what the
// row left behind ("" when nothing is).
struct FaultCase {
    const char *point;
    uint64_t nth;
    std::function<uint32_t()> act;
    uint32_t code;
    std::vector<Reporter> reporters;
    size_t sent = 0;
    std::function<std::string(size_t from)> left = {};
};
// Runs the rows in order.
void ExpectFaultTable(STANDIN_RpcKind kind, const std::vector<FaultCase> &table);

}  // namespace zt

// A library started on a reset stand-in with the counting host allocator. TearDown stops it as a
// host must (pending calls failed first) and checks that nothing is left behind.
class ZelmTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Stops the library now, checking for leftovers; TearDown then does nothing more.
    void Stop();
    bool startLibrary_ = true;

private:
    size_t hostBefore_ = 0;
    size_t textsBefore_ = 0;
};

// The same stand-in with the library left stopped: the test starts it.
class StoppedTest : public ZelmTest {
protected:
    StoppedTest() { startLibrary_ = false; }
};

#endif
