// zelm-sim run as a user runs it: a fixture with a scratch folder of its own, the program and its results.
#ifndef ZELM_TESTS_SUPPORT_SIM_CLI_H
#define ZELM_TESTS_SUPPORT_SIM_CLI_H

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <string>

namespace simcli {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// The repository, and the program: beside the tests in the same build tree, unless ZELM_SIM names it.
fs::path SourceRoot();
fs::path SimBinary();
std::string Slurp(const fs::path &p);
// `s` as one word of shell text.
std::string Quote(const std::string &s);
// How often `what` occurs in `text`, overlaps included.
size_t Count(const std::string &text, const std::string &what);
// `text` with every `from` replaced by `to`.
std::string Replaced(std::string text, const std::string &from, const std::string &to);

// A scenario: `nodes` (YAML list items, among them `a`), and on `a` one published location (LocId and index 5,
// logic group 100) holding one published component (compInst 1), then `more` events.
std::string OneLocation(const std::string &nodes, const std::string &more);
inline constexpr char kNodeA[] = "  - {name: a, slot: 1}\n";

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

}  // namespace simcli

class SimCliTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs zelm-sim from the repository root, so that scenario paths in reports read "examples/...". `args`
    // is shell text: a redirection of standard input or output in it wins over the test's own.
    simcli::Result Run(const std::string &args);
    // A file of the scratch folder with this text.
    std::filesystem::path Write(const std::string &name, const std::string &text);
    // The JSON report of a run that must succeed.
    simcli::Json JsonReport(const std::string &scenario, const std::string &more = "");

    std::filesystem::path dir_;
};

#endif
