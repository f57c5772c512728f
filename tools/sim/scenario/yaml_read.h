// Checked reading of YAML values for the scenario parser: every failure names file, line and column, what
// was found and what is expected.
#ifndef ZELM_SIM_YAML_READ_H
#define ZELM_SIM_YAML_READ_H

#include <yaml-cpp/yaml.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scenario/scenario.h"

namespace zsim {

class YamlReader {
public:
    explicit YamlReader(std::string file) : file_(std::move(file)) {}

    const std::string &file() const { return file_; }
    static Mark MarkOf(const YAML::Node &node);
    [[noreturn]] void Fail(const YAML::Node &node, const std::string &msg) const;
    [[noreturn]] void Fail(Mark mark, const std::string &msg) const;

    void ExpectMap(const YAML::Node &node, const char *what) const;
    // Checks that `node` is a map whose keys are all in `allowed` and appear once.
    void CheckKeys(const YAML::Node &map, std::span<const char *const> allowed, const char *what) const;
    // Checks that `node` is a list; `what` names it ("timeline").
    void ExpectList(const YAML::Node &node, const char *what, const char *of) const;
    // The value of a key that must be present.
    YAML::Node Required(const YAML::Node &map, const char *key, const char *what) const;

    uint64_t UInt(const YAML::Node &node, uint64_t max, const char *what) const;
    uint32_t U32(const YAML::Node &node, const char *what) const
    {
        return static_cast<uint32_t>(UInt(node, UINT32_MAX, what));
    }
    // A 32-bit word written as an unsigned number (0x80000000) or a signed one (-1).
    uint32_t Word32(const YAML::Node &node, const char *what) const;
    bool Bool(const YAML::Node &node, const char *what) const;
    std::string Text(const YAML::Node &node, const char *what) const;
    // A text of 1 to `max` characters, none of them a control character.
    std::string Name(const YAML::Node &node, size_t max, const char *what) const;
    // A time: a number of milliseconds, or a number with its unit. A number without its unit draws a warning.
    Ms Duration(const YAML::Node &node, const char *what) const;
    // Notes a warning about `node`: the scenario is read as it stands, but may not mean what its author meant.
    void Warn(const YAML::Node &node, const std::string &msg) const;
    void WarnIfUnitless(const YAML::Node &node, const char *what, const std::string &text, Ms ms) const;
    // The warnings noted so far, "file:line:col: warning: message" each, in file order.
    std::vector<std::string> TakeWarnings();

private:
    void CheckTag(const YAML::Node &node) const;

    std::string file_;
    // Reading checks values without changing them; what it notes on the way is kept aside, with its place.
    mutable std::vector<std::pair<Mark, std::string>> warnings_;
};

// The one YAML document of `text`; fails (ScenarioError) on malformed YAML, a second document or an empty one.
YAML::Node LoadDocument(const YamlReader &r, const std::string &text);
// A `{`, `[` or quote that a syntax error is likely due to, and what is wrong with it ("this '{' is never closed").
struct SyntaxSuspect {
    Mark opened;
    std::string problem;
};
// The flow bracket or quote of `text` that opened at or before the place where the parser `stopped` and was
// never closed, closed by the wrong bracket, or (a quote) closed only on a later line; none when all close.
std::optional<SyntaxSuspect> FindUnclosed(const std::string &text, Mark stopped);
// What a node holds, for messages: 'text' (cut to a readable length), a list, a map, nothing.
std::string Describe(const YAML::Node &node);
// The closest of `candidates` to `word`, when close enough to be a likely typo; empty otherwise.
std::string Suggest(const std::string &word, std::span<const char *const> candidates);
// "; did you mean 'x'?" after a word that is not among `known` when one of them is close enough to be a likely
// typo; empty otherwise.
std::string DidYouMean(const std::string &word, std::span<const char *const> known);
// What to say after naming a word that is not among `known`: "; did you mean 'x'?" when one is close enough to
// be a likely typo, otherwise the known ones, ten at most: " (declared: a, b, c, and 12 more)", `listed` being
// what comes before the colon. `total` counts the known words when `known` holds only the first of them.
std::string NotAmong(const std::string &word, std::span<const char *const> known, const char *listed, size_t total = 0);

}  // namespace zsim

#endif
