// Checked reading of YAML values: maps with known keys, numbers, booleans, texts and durations.
#include "yaml_read.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <vector>

namespace zsim {

namespace {

bool IsPlainScalar(const YAML::Node &node)
{
    // yaml-cpp tags a quoted scalar "!": "5" is a text, 5 is a number.
    return node.IsScalar() && node.Tag() != "!";
}

size_t EditDistance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (same ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

std::string Describe(const YAML::Node &node)
{
    if (node.IsScalar()) {
        return "'" + node.Scalar() + "'";
    }
    if (node.IsSequence()) {
        return "a list";
    }
    if (node.IsMap()) {
        return "a map";
    }
    return "nothing";
}

}  // namespace

std::string Suggest(const std::string &word, const std::vector<const char *> &candidates)
{
    // A typo is a few edits away; anything further is another word.
    std::string best;
    size_t bestDist = std::max<size_t>(2, word.size() / 3) + 1;
    for (const char *c : candidates) {
        const size_t d = EditDistance(word, c);
        if (d < bestDist) {
            best = c;
            bestDist = d;
        }
    }
    return best;
}

Mark YamlReader::MarkOf(const YAML::Node &node)
{
    const YAML::Mark m = node.Mark();
    if (m.line < 0) {
        return {};
    }
    return {m.line + 1, m.column + 1};
}

void YamlReader::Fail(const YAML::Node &node, const std::string &msg) const
{
    throw ScenarioError(file_, MarkOf(node), msg);
}

void YamlReader::Fail(Mark mark, const std::string &msg) const
{
    throw ScenarioError(file_, mark, msg);
}

void YamlReader::ExpectMap(const YAML::Node &node, const char *what) const
{
    if (!node.IsMap()) {
        Fail(node, std::string(what) + " must be a map of fields, not " + Describe(node));
    }
}

void YamlReader::CheckKeys(const YAML::Node &map, const std::vector<const char *> &allowed,
                           const char *what) const
{
    ExpectMap(map, what);
    std::set<std::string> seen;
    for (const auto &kv : map) {
        if (!kv.first.IsScalar()) {
            Fail(kv.first, std::string("a key of ") + what + " must be a name");
        }
        const std::string key = kv.first.Scalar();
        if (!seen.insert(key).second) {
            Fail(kv.first, "'" + key + "' is given twice in " + what);
        }
        if (std::find_if(allowed.begin(), allowed.end(), [&](const char *a) { return key == a; }) ==
            allowed.end()) {
            std::string msg = "unknown field '" + key + "' in " + what;
            const std::string hint = Suggest(key, allowed);
            if (!hint.empty()) {
                msg += "; did you mean '" + hint + "'?";
            } else {
                msg += " (known fields:";
                for (const char *a : allowed) {
                    msg += std::string(" ") + a;
                }
                msg += ")";
            }
            Fail(kv.first, msg);
        }
    }
}

YAML::Node YamlReader::Required(const YAML::Node &map, const char *key, const char *what) const
{
    const YAML::Node value = map[key];
    if (!value) {
        Fail(map, std::string(what) + " needs '" + key + "'");
    }
    return value;
}

uint64_t YamlReader::UInt(const YAML::Node &node, uint64_t max, const char *what) const
{
    const std::string limit = max == UINT16_MAX ? "an unsigned 16-bit number"
                              : max == UINT32_MAX ? "an unsigned 32-bit number"
                                                  : "a number from 0 to " + std::to_string(max);
    if (!IsPlainScalar(node)) {
        Fail(node, std::string(what) + " must be " + limit + ", not " + Describe(node) +
                       (node.IsScalar() ? " (a quoted text)" : ""));
    }
    const std::string &s = node.Scalar();
    errno = 0;
    char *end = nullptr;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const unsigned long long v = s.empty() || s[0] == '-' || s[0] == '+'
                                     ? 0
                                     : std::strtoull(hex ? s.c_str() + 2 : s.c_str(), &end, hex ? 16 : 10);
    if (end == nullptr || *end != '\0' || end == (hex ? s.c_str() + 2 : s.c_str()) || errno != 0 || v > max) {
        Fail(node, std::string(what) + " must be " + limit + ", not '" + s + "'");
    }
    return v;
}

uint32_t YamlReader::Word32(const YAML::Node &node, const char *what) const
{
    if (IsPlainScalar(node) && !node.Scalar().empty() && node.Scalar()[0] == '-') {
        errno = 0;
        char *end = nullptr;
        const long long v = std::strtoll(node.Scalar().c_str(), &end, 10);
        if (*end != '\0' || errno != 0 || v < INT32_MIN) {
            Fail(node, std::string(what) + " must be a 32-bit number, not '" + node.Scalar() + "'");
        }
        return static_cast<uint32_t>(static_cast<int32_t>(v));
    }
    return U32(node, what);
}

bool YamlReader::Bool(const YAML::Node &node, const char *what) const
{
    if (IsPlainScalar(node)) {
        const std::string &s = node.Scalar();
        if (s == "true" || s == "yes" || s == "on") {
            return true;
        }
        if (s == "false" || s == "no" || s == "off") {
            return false;
        }
    }
    Fail(node, std::string(what) + " must be true or false, not " + Describe(node));
}

std::string YamlReader::Text(const YAML::Node &node, const char *what) const
{
    if (!node.IsScalar()) {
        Fail(node, std::string(what) + " must be a text, not " + Describe(node));
    }
    return node.Scalar();
}

Ms YamlReader::Duration(const YAML::Node &node, const char *what) const
{
    if (node.IsScalar()) {
        if (const std::optional<Ms> d = ParseDuration(node.Scalar())) {
            return *d;
        }
    }
    Fail(node, std::string(what) + " must be a time such as 250, 250ms, 5s or 1.5m, not " + Describe(node));
}

}  // namespace zsim
