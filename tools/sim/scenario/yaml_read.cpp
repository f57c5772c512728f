// Checked reading of YAML values: maps with known keys, lists, numbers, booleans, texts and durations.
#include "scenario/yaml_read.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <set>
#include <vector>

#include "text/printable.h"

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

std::string Limit(uint64_t max)
{
    return max == UINT16_MAX   ? "an unsigned 16-bit number"
           : max == UINT32_MAX ? "an unsigned 32-bit number"
                               : fmt::format("a number from 0 to {}", max);
}

}  // namespace

std::string Describe(const YAML::Node &node)
{
    if (node.IsScalar()) {
        return Quoted(node.Scalar());
    }
    if (node.IsSequence()) {
        return "a list";
    }
    if (node.IsMap()) {
        return "a map";
    }
    return "nothing";
}

std::string Suggest(const std::string &word, std::span<const char *const> candidates)
{
    // A typo is a few edits away; anything further (or longer than any name) is another word.
    std::string best;
    if (word.size() > 64) {
        return best;
    }
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

std::string DidYouMean(const std::string &word, std::span<const char *const> known)
{
    const std::string hint = Suggest(word, known);
    return hint.empty() ? hint : fmt::format("; did you mean '{}'?", hint);
}

std::string NotAmong(const std::string &word, std::span<const char *const> known, const char *listed, size_t total)
{
    constexpr size_t kListed = 10;
    if (std::string hint = DidYouMean(word, known); !hint.empty()) {
        return hint;
    }
    std::string list;
    for (size_t i = 0; i < known.size() && i < kListed; ++i) {
        fmt::format_to(std::back_inserter(list), "{}{}", i == 0 ? "" : ", ", Printable(ShortName(known[i], 40)));
    }
    total = std::max(total, known.size());
    if (total > kListed) {
        fmt::format_to(std::back_inserter(list), ", and {} more", total - kListed);
    }
    return fmt::format(" ({}: {})", listed, list);
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

void YamlReader::CheckTag(const YAML::Node &node) const
{
    // "?" is a plain node's tag, "!" a quoted scalar's; any other was written out and means nothing here.
    const std::string &tag = node.Tag();
    if (!tag.empty() && tag != "?" && tag != "!") {
        Fail(node, "the tag " + Quoted(tag) + " has no meaning in a scenario: write the value plainly (quote a text)");
    }
}

void YamlReader::ExpectMap(const YAML::Node &node, const char *what) const
{
    CheckTag(node);
    if (!node.IsMap()) {
        Fail(node, std::string(what) + " must be a map of fields, not " + Describe(node));
    }
}

void YamlReader::ExpectList(const YAML::Node &node, const char *what, const char *of) const
{
    CheckTag(node);
    if (!node.IsSequence()) {
        Fail(node, std::string(what) + " must be a list of " + of + ", not " + Describe(node));
    }
}

void YamlReader::CheckKeys(const YAML::Node &map, std::span<const char *const> allowed, const char *what) const
{
    ExpectMap(map, what);
    std::set<std::string> seen;
    for (const auto &kv : map) {
        if (!kv.first.IsScalar()) {
            Fail(kv.first, std::string("a key of ") + what + " must be a name, not " + Describe(kv.first));
        }
        const std::string key = kv.first.Scalar();
        if (key == "<<") {
            Fail(kv.first, "merge keys ('<<') are not supported: write the fields of " + std::string(what) + " out");
        }
        if (!seen.insert(key).second) {
            Fail(kv.first, Quoted(key) + " is given twice in " + what);
        }
        if (std::find_if(allowed.begin(), allowed.end(), [&](const char *a) { return key == a; }) != allowed.end()) {
            continue;
        }
        Fail(kv.first,
             fmt::format("unknown field {} in {}{}", Quoted(key), what, NotAmong(key, allowed, "known fields")));
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
    CheckTag(node);
    if (!IsPlainScalar(node)) {
        Fail(node, std::string(what) + " must be " + Limit(max) + ", not " + Describe(node) +
                       (node.IsScalar() ? " (a quoted text)" : ""));
    }
    const std::string &s = node.Scalar();
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const char *digits = hex ? s.c_str() + 2 : s.c_str();
    const bool wellFormed = !s.empty() && std::all_of(digits, s.c_str() + s.size(), [hex](char c) {
        return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                   : std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
    if (!wellFormed || *digits == '\0') {
        Fail(node, std::string(what) + " must be " + Limit(max) + " such as 12 or 0x1f, not " + Describe(node));
    }
    errno = 0;
    const unsigned long long v = std::strtoull(digits, nullptr, hex ? 16 : 10);
    if (errno != 0 || v > max) {
        Fail(node, fmt::format("{} {} is too large: at most {}", what, Quoted(s), max));
    }
    return v;
}

uint32_t YamlReader::Word32(const YAML::Node &node, const char *what) const
{
    if (IsPlainScalar(node) && !node.Scalar().empty() && node.Scalar()[0] == '-') {
        CheckTag(node);
        const std::string &s = node.Scalar();
        const bool digits = s.size() > 1 && std::all_of(s.begin() + 1, s.end(), [](char c) {
                                return std::isdigit(static_cast<unsigned char>(c)) != 0;
                            });
        errno = 0;
        const long long v = digits ? std::strtoll(s.c_str(), nullptr, 10) : 0;
        if (!digits || errno != 0 || v < INT32_MIN) {
            Fail(node,
                 std::string(what) + " must be a 32-bit number from -2147483648 to 4294967295, not " + Describe(node));
        }
        return static_cast<uint32_t>(static_cast<int32_t>(v));
    }
    return U32(node, what);
}

bool YamlReader::Bool(const YAML::Node &node, const char *what) const
{
    // Only the two spellings: yes, on, True and the like read differently in other YAML tools.
    CheckTag(node);
    if (IsPlainScalar(node) && (node.Scalar() == "true" || node.Scalar() == "false")) {
        return node.Scalar() == "true";
    }
    Fail(node, std::string(what) + " must be true or false, not " + Describe(node));
}

std::string YamlReader::Text(const YAML::Node &node, const char *what) const
{
    CheckTag(node);
    if (!node.IsScalar()) {
        Fail(node, std::string(what) + " must be a text, not " + Describe(node));
    }
    return node.Scalar();
}

std::string YamlReader::Name(const YAML::Node &node, size_t max, const char *what) const
{
    std::string text = Text(node, what);
    if (text.empty()) {
        Fail(node, std::string(what) + " must not be empty");
    }
    if (text.size() > max) {
        Fail(node, fmt::format("{} {} is too long: at most {} characters", what, Quoted(text), max));
    }
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        Fail(node, std::string(what) + " " + Quoted(text) + " holds a control character");
    }
    return text;
}

Ms YamlReader::Duration(const YAML::Node &node, const char *what) const
{
    CheckTag(node);
    if (!node.IsScalar()) {
        Fail(node, std::string(what) + " must be a time such as 250, 250ms, 5s or 1.5m, not " + Describe(node));
    }
    const TimeValue t = ReadTime(node.Scalar());
    if (t.error != TimeError::None) {
        Fail(node, TimeProblem(what, node.Scalar(), t.error));
    }
    WarnIfUnitless(node, what, node.Scalar(), t.ms);
    return t.ms;
}

void YamlReader::Warn(const YAML::Node &node, const std::string &msg) const
{
    const Mark mark = MarkOf(node);
    warnings_.emplace_back(mark, Place(file_, mark) + ": warning: " + msg);
}

std::vector<std::string> YamlReader::TakeWarnings()
{
    // Read in the order the scenario needs (its nodes before its events), told in the order of the file.
    std::stable_sort(warnings_.begin(), warnings_.end(), [](const auto &a, const auto &b) {
        return std::pair(a.first.line, a.first.col) < std::pair(b.first.line, b.first.col);
    });
    std::vector<std::string> texts;
    for (auto &[mark, text] : warnings_) {
        texts.push_back(std::move(text));
    }
    warnings_.clear();
    return texts;
}

void YamlReader::WarnIfUnitless(const YAML::Node &node, const char *what, const std::string &text, Ms ms) const
{
    // 0 is the same in every unit.
    if (ms != 0 && text.find_first_not_of("0123456789.") == std::string::npos) {
        Warn(node, fmt::format("{} {} has no unit, so it means {} ms; write {}ms, or {}s if seconds were meant", what,
                               Quoted(text), ms, text, text));
    }
}

}  // namespace zsim
