// Checked reading of YAML values for the scenario parser: every failure names file, line and column, what
// was found and what is expected.
#ifndef ZELM_SIM_YAML_READ_H
#define ZELM_SIM_YAML_READ_H

#include <yaml-cpp/yaml.h>

#include <cstdint>
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

    // Checks that `node` is a map whose keys are all in `allowed` and appear once.
    void ExpectMap(const YAML::Node &node, const char *what) const;
    void CheckKeys(const YAML::Node &map, const std::vector<const char *> &allowed, const char *what) const;
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
    Ms Duration(const YAML::Node &node, const char *what) const;

private:
    void CheckTag(const YAML::Node &node) const;

    std::string file_;
};

// The one YAML document of `text`; fails (ScenarioError) on malformed YAML, a second document or an empty one.
YAML::Node LoadDocument(const YamlReader &r, const std::string &text);
// What a node holds, for messages: 'text' (cut to a readable length), a list, a map, nothing.
std::string Describe(const YAML::Node &node);
// The closest of `candidates` to `word`, when close enough to be a likely typo; empty otherwise.
std::string Suggest(const std::string &word, const std::vector<const char *> &candidates);

}  // namespace zsim

#endif
