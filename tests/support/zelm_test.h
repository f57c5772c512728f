// Shared fixture and helpers for the tests: a started library on a freshly reset stand-in.
#ifndef ZELM_TESTS_SUPPORT_ZELM_TEST_H
#define ZELM_TESTS_SUPPORT_ZELM_TEST_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zelm.h"
#include "zelm_standin.h"

namespace zt {

// Plain-log events (LORN_LogWrite calls) as the recorder holds them.
struct LogLine {
    uint32_t level;
    std::string func;
    std::string body;
};
std::vector<LogLine> PlainLog();
// Number of plain-log events whose body equals `body` (and, when given, whose function is `func`).
size_t CountLog(const std::string &body, const char *func = nullptr);
bool HasLog(const std::string &body, uint32_t level, const char *func = nullptr);
// Index of the first plain-log event with this body at or after `from`, or SIZE_MAX.
size_t FindLog(const std::string &body, size_t from = 0);

// Builds a one-atom message and delivers it at once; returns the handler's result.
uint32_t DeliverAtom(uint32_t classId, uint16_t opCode, const void *record, uint32_t len, uint16_t seq = 0);
template <typename Rec>
uint32_t Deliver(uint32_t classId, uint16_t opCode, const Rec &rec, uint16_t seq = 0)
{
    return DeliverAtom(classId, opCode, &rec, sizeof(rec), seq);
}

// Configuration records with the fields the tests care about; the rest zero.
ZelmLocInstCfg LocCfg(uint32_t locId, uint32_t osInst, const char *name, const char *image = "app.service");
ZelmLogicLocGrpCfg GrpCfg(uint32_t locIndex, uint32_t logicId, uint32_t faultPolicy = 0);
ZelmCompInstCfg CompCfg(uint32_t locIndex, uint32_t compInst, uint32_t compType, const char *name,
                        int32_t cfgStatus = INT32_MIN);
ZelmCompNodeCfg CompNodeCfg(uint32_t compType, const char *typeName, uint32_t compClass = 1,
                            const char *fileName = "comp.bin", const char *extName = "ext");

}  // namespace zt

// A library started on a reset stand-in with the counting host allocator.
// TearDown completes pending calls with failure, stops the library and checks
// that no host block is left.
class ZelmTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Stops the library (completing pending calls first) and checks for leaks; TearDown then does nothing more.
    void StopLibrary();
    bool started_ = false;
};

// A reset stand-in without the library started (for lifecycle tests).
class StandinTest : public ::testing::Test {
protected:
    void SetUp() override { STANDIN_Reset(); }
    void TearDown() override { STANDIN_Reset(); }
};

#endif
