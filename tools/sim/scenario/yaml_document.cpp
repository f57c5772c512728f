// Loading the one YAML document of a scenario, around two habits of yaml-cpp 0.7: YAML::LoadAll loops for
// ever, making empty documents, on a character it cannot start a document with (a ','), and YAML::Load
// quietly stops before a second document.
#include <fmt/format.h>
#include <yaml-cpp/depthguard.h>
#include <yaml-cpp/eventhandler.h>

#include <sstream>

#include "scenario/yaml_read.h"
#include "text/printable.h"

namespace zsim {

namespace {

// Notes where documents start; nothing else.
class DocumentStarts : public YAML::EventHandler {
public:
    std::vector<YAML::Mark> starts;

    void OnDocumentStart(const YAML::Mark &mark) override { starts.push_back(mark); }
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark &, YAML::anchor_t) override {}
    void OnAlias(const YAML::Mark &, YAML::anchor_t) override {}
    void OnScalar(const YAML::Mark &, const std::string &, YAML::anchor_t, const std::string &) override {}
    void OnSequenceStart(const YAML::Mark &, const std::string &, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnSequenceEnd() override {}
    void OnMapStart(const YAML::Mark &, const std::string &, YAML::anchor_t, YAML::EmitterStyle::value) override {}
    void OnMapEnd() override {}
};

Mark MarkOf(const YAML::Mark &m)
{
    return {m.line + 1, m.column + 1};
}

// Where a line of `text` indents with a tab (which YAML does not allow), if it does.
std::optional<Mark> TabIndent(const std::string &text, int line)
{
    size_t begin = 0;
    for (int i = 0; i < line && begin != std::string::npos; ++i) {
        begin = text.find('\n', begin);
        begin = begin == std::string::npos ? begin : begin + 1;
    }
    for (size_t i = begin; i < text.size() && (text[i] == ' ' || text[i] == '\t'); ++i) {
        if (text[i] == '\t') {
            return Mark{line + 1, static_cast<int>(i - begin) + 1};
        }
    }
    return std::nullopt;
}

// Checks that the text holds one document at most, reading no further than the second one's start.
void CheckOneDocument(const YamlReader &r, const std::string &text)
{
    std::istringstream in(text);
    YAML::Parser parser(in);
    DocumentStarts docs;
    while (docs.starts.size() < 2 && parser.HandleNextDocument(docs)) {
    }
    if (docs.starts.size() < 2) {
        return;
    }
    const YAML::Mark &second = docs.starts[1];
    if (second.pos == docs.starts[0].pos) {
        const size_t at = static_cast<size_t>(second.pos);
        r.Fail(MarkOf(second), "unexpected " + Quoted(text.substr(at, 1)) + ": a YAML document cannot start with it");
    }
    r.Fail(MarkOf(second), "a scenario file holds one YAML document; a second one starts here");
}

}  // namespace

YAML::Node LoadDocument(const YamlReader &r, const std::string &text)
{
    try {
        CheckOneDocument(r, text);
        YAML::Node root = YAML::Load(text);
        if (root.IsNull()) {
            r.Fail(Mark{}, "the scenario is empty: give at least 'nodes' (or 'generate') and 'timeline'");
        }
        return root;
    } catch (const YAML::DeepRecursion &e) {
        r.Fail(MarkOf(e.mark), fmt::format("the document nests {} levels deep; a scenario needs a few", e.depth()));
    } catch (const YAML::ParserException &e) {
        for (const int line : {e.mark.line, e.mark.line - 1}) {
            if (const std::optional<Mark> tab = line >= 0 ? TabIndent(text, line) : std::nullopt) {
                r.Fail(*tab, "a tab indents this line; YAML indents with spaces only");
            }
        }
        const Mark stopped = MarkOf(e.mark);
        if (const std::optional<SyntaxSuspect> open = FindUnclosed(text, stopped)) {
            r.Fail(open->opened, fmt::format("{} (the YAML parser stopped at {}:{}: {})", open->problem, stopped.line,
                                             stopped.col, e.msg));
        }
        r.Fail(stopped, e.msg);
    }
}

}  // namespace zsim
