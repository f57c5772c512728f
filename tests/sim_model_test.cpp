// zelm-sim in-process: a scenario run through its programming interface gives the report and each node's
// history; the pieces that read user input keep to their rules for any input.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

#include "report/run_scenario.h"
#include "scenario/scenario.h"
#include "scenario/scenario_fields.h"
#include "scenario/scenario_keys.h"
#include "scenario/scenario_schema.h"
#include "scenario/yaml_read.h"
#include "support/sim_cli.h"
#include "text/printable.h"

namespace {

using zsim::RequestOutcome;

const zsim::Span *SpanAt(const std::vector<zsim::Span> &spans, zsim::Ms t)
{
    const auto it = std::find_if(spans.begin(), spans.end(),
                                 [t](const zsim::Span &s) { return s.from <= t && (!s.to || t < *s.to); });
    return it == spans.end() ? nullptr : &*it;
}

TEST(SimModelTest, RunGivesTheReportAndEachNodesHistory)
{
    const zsim::Scenario sc = zsim::ParseScenario(zsim::BuiltinScenarioText(), "<built-in>");
    zsim::RunOptions options;
    options.history = true;
    const zsim::RunResult run = zsim::RunScenario(sc, options);
    EXPECT_EQ(run.leftBlocks, 0u);
    EXPECT_EQ(run.report.end.reason, zsim::EndReason::Settled);
    ASSERT_EQ(run.history.nodes.size(), 3u);

    // n2's agent is down from 2 s to 12 s: every request meanwhile is refused, the library flags the node,
    // and the smooth timers' ticks republish until a request succeeds after the agent is back.
    const zsim::NodeHistory &n2 = run.history.nodes[1];
    ASSERT_EQ(n2.agentDown.size(), 1u);
    EXPECT_EQ(n2.agentDown[0].from, 2000u);
    EXPECT_EQ(n2.agentDown[0].to, 12000u);
    size_t refused = 0;
    size_t byTick = 0;
    for (const zsim::RequestRecord &r : n2.requests) {
        const bool down = SpanAt(n2.agentDown, r.at) != nullptr;
        EXPECT_EQ(r.outcome == RequestOutcome::Refused, down) << "call " << r.callId << " at " << r.at;
        EXPECT_TRUE(r.outcome == RequestOutcome::Refused || r.outcome == RequestOutcome::Applied);
        EXPECT_EQ(r.timer.empty(), r.event != SIZE_MAX) << "a request follows from an event or from a tick";
        refused += down ? 1 : 0;
        byTick += r.timer.empty() ? 0 : 1;
        if (down) {
            EXPECT_TRUE(std::any_of(n2.faults.begin(), n2.faults.end(),
                                    [&r](const zsim::FaultSpan &f) {
                                        return f.component == r.component && f.span.from <= r.at &&
                                               f.span.to.value_or(UINT64_MAX) > r.at;
                                    }))
                << "the library flags the peer of refused call " << r.callId;
        }
    }
    EXPECT_EQ(refused, 4u);
    EXPECT_GE(byTick, 2u);
    for (const zsim::FaultSpan &f : n2.faults) {
        EXPECT_GE(f.span.from, 2000u);
        EXPECT_LE(f.span.to.value_or(UINT64_MAX), 13001u);
    }
    EXPECT_FALSE(n2.faults.empty());
    EXPECT_EQ(run.report.agents[1].convergedAt, 13001u);

    for (const zsim::NodeHistory &n : run.history.nodes) {
        ASSERT_EQ(n.linkUp.size(), 1u);
        EXPECT_EQ(n.linkUp[0].from, 0u);
        EXPECT_FALSE(n.linkUp[0].to);
    }
    EXPECT_TRUE(run.history.nodes[0].faults.empty());
    EXPECT_FALSE(run.report.agents[2].convergedAt) << "n3 keeps the components left at index 6";
}

TEST(SimModelTest, HistoryFlagsThePeerOfAFailedCompletionUntilARetrySucceeds)
{
    const zsim::Scenario sc = zsim::ParseScenario(R"(
nodes: [{name: n1, chassis: 1, slot: 1}]
timeline:
  - {at: 0, link: {node: n1, up: true}}
  - {at: 0, agent: {node: n1, noReply: 1}}
  - {at: 100ms, config: {class: location, LocId: 1, LocName: a, OsInst: n1, imageName: a.service}}
)",
                                                  "silent.yaml");
    zsim::RunOptions options;
    options.history = true;
    const zsim::NodeHistory n1 = zsim::RunScenario(sc, options).history.nodes[0];
    ASSERT_EQ(n1.requests.size(), 2u);
    EXPECT_EQ(n1.requests[0].outcome, RequestOutcome::NoReply);
    EXPECT_EQ(n1.requests[1].outcome, RequestOutcome::Applied);
    EXPECT_FALSE(n1.requests[1].timer.empty());
    ASSERT_EQ(n1.faults.size(), 1u);
    EXPECT_EQ(n1.faults[0].span.from, *n1.requests[0].doneAt);
    EXPECT_EQ(n1.faults[0].span.to, n1.requests[1].doneAt);
}

// Every entry into the library is counted under its kind, every request it makes under the entry that made
// it; with many component locations, the completions' walk over all of them is what dominates.
TEST(SimModelTest, CostCountsEveryEntryAndNamesTheWalkThatDominates)
{
    const zsim::Scenario sc = zsim::
        ParseScenario("generate: {nodes: 2, locationsPerNode: 150, componentTypes: 1, componentsPerLocation: 1}\n",
                      "cost.yaml");
    const zsim::Report r = zsim::RunScenario(sc, {}).report;
    const auto &kinds = r.cost.kinds;
    const zsim::Counters &c = r.counters;
    uint64_t ticks = 0;
    for (const auto &[name, n] : c.ticks) {
        ticks += n;
    }
    EXPECT_EQ(kinds[STANDIN_ENTRY_CONFIG].total.entries, c.configMessages);
    EXPECT_EQ(kinds[STANDIN_ENTRY_RPC_COMPLETION].total.entries, c.Requests() - c.refused);
    EXPECT_EQ(kinds[STANDIN_ENTRY_TIMER_TICK].total.entries, ticks);
    EXPECT_EQ(kinds[STANDIN_ENTRY_OSNODE_LINK].total.entries, 2u);
    EXPECT_EQ(kinds[STANDIN_ENTRY_LOCATION_STATUS].total.entries, 300u);
    EXPECT_EQ(kinds[STANDIN_ENTRY_HOST].total.entries, 1u) << "the start; the stop comes after the report";
    uint64_t requests = 0;
    for (const zsim::KindCost &k : kinds) {
        requests += k.total.rpcRequests;
        EXPECT_LE(k.largest.TreeSteps(), k.total.TreeSteps());
    }
    EXPECT_EQ(requests, c.Requests());

    const zsim::Dominant d = zsim::DominantCost(r.cost);
    ASSERT_EQ(d.kind, size_t{STANDIN_ENTRY_RPC_COMPLETION});
    EXPECT_GE(d.share, 0.5);
    // The explanation gives the successful completions and the component locations each of them walks.
    EXPECT_NE(d.why.find(std::to_string(c.Requests()) + " "), std::string::npos) << d.why;
    EXPECT_NE(d.why.find("300"), std::string::npos) << d.why;
    const zsim::KindCost &completions = kinds[STANDIN_ENTRY_RPC_COMPLETION];
    EXPECT_GE(completions.largest.tree[STANDIN_TREE_NEXT], 299u) << "a completion walks every component location";
    EXPECT_EQ(completions.peak.compLocations, 300u);
}

std::string PublishedLocation(const std::string &more)
{
    return simcli::OneLocation(simcli::kNodeA, more);
}

// Each drift item as (kind, key, reason code), in order.
std::vector<std::string> DriftOf(const std::string &yaml)
{
    const zsim::RunResult run = zsim::RunScenario(zsim::ParseScenario(yaml, "s.yaml"), {});
    std::vector<std::string> out;
    for (const zsim::DriftItem &d : run.report.drift) {
        out.push_back(std::string(zsim::KindName(d.kind)) + " " + std::to_string(d.component ? d.compInst : d.LocId) +
                      " " + zsim::ReasonCode(d.why.reason));
    }
    return out;
}

struct GroupedAtoms {
    const char *name;
    std::vector<std::string> atoms;  // at 5 s, after PublishedLocation
    const char *drift;               // the one item they leave, as DriftOf gives it
    const char *before = "";         // events at 4 s
};

// The library takes a message's atoms one at a time: the same atoms give the same reasons whether they come in
// one message or each in its own.
TEST(SimModelTest, AtomsGiveTheSameReasonsInOneMessageOrInMany)
{
    const std::string del5 = "{class: location, opCode: delete, LocId: 5, imageName: x.service}";
    const std::string delComp1 = "{class: component, opCode: delete, locIndex: 5, compInst: 1}";
    const std::string update5 =
        "{class: location, opCode: update, LocId: 5, LocName: l5, OsInst: a, imageName: x.service, LocType: 2}";
    const GroupedAtoms cases[] = {
        {"a location added and deleted before its publication completed",
         {"{class: location, LocId: 7, LocName: l7, OsInst: a, imageName: x.service}",
          "{class: location, opCode: delete, LocId: 7, imageName: x.service}"},
         "extra 7 deleted-before-published"},
        {"a location updated and deleted", {update5, del5}, "extra 5 deleted-before-published"},
        {"the same under a forbidding HA role",
         {update5, del5},
         "extra 5 deleted-before-published",
         "  - {at: 4s, haRole: 1}\n"},
        {"a logic group deleted, then its location",
         {"{class: logicGroup, opCode: delete, locIndex: 5}", del5},
         "missing 1 forgotten"},
        {"a logic group deleted, then its component",
         {"{class: logicGroup, opCode: delete, locIndex: 5}", delComp1},
         "missing 5 withdrawn-by-group-delete"},
        {"a component and its location deleted without a channel",
         {delComp1, del5},
         "extra 5 delete-not-sent",
         "  - {at: 4s, link: {node: a, up: false}}\n"},
    };
    for (const GroupedAtoms &c : cases) {
        std::string one = "  - at: 5s\n    config:\n", many;
        for (const std::string &atom : c.atoms) {
            one += "      - " + atom + "\n";
            many += "  - {at: 5s, config: " + atom + "}\n";
        }
        const std::vector<std::string> together = DriftOf(PublishedLocation(c.before + one));
        EXPECT_EQ(together, std::vector<std::string>{c.drift}) << c.name;
        EXPECT_EQ(DriftOf(PublishedLocation(c.before + many)), together) << c.name;
    }
}

// A node's convergence is dated by the last change of what the drift compares: a location-status report that
// announces an index again, or a record stored again as it was, changes nothing.
TEST(SimModelTest, ARepeatedReportOrRecordDoesNotMoveConvergence)
{
    const std::string base = PublishedLocation("");
    const zsim::Ms converged = *zsim::RunScenario(zsim::ParseScenario(base, "s.yaml"), {}).report.agents[0].convergedAt;
    for (const char *again : {"  - {at: 9s, locationStatus: {node: a, service: l5, index: 5}}\n",
                              "  - {at: 9s, config: {class: logicGroup, locIndex: 5, logicId: 100}}\n"}) {
        const zsim::Report r = zsim::RunScenario(zsim::ParseScenario(base + again, "s.yaml"), {}).report;
        EXPECT_EQ(r.agents[0].convergedAt, converged) << again;
        EXPECT_EQ(r.convergedAt, converged) << again;
    }
}

TEST(SimModelTest, TimesReadAsWholeMillisecondsUpToADay)
{
    const std::pair<const char *, zsim::TimeValue> cases[] = {
        {"1500", {1500, zsim::TimeError::None}},     {"1.001s", {1001, zsim::TimeError::None}},
        {"0.1s", {100, zsim::TimeError::None}},      {".5m", {30000, zsim::TimeError::None}},
        {"24h", {86400000, zsim::TimeError::None}},  {"1440min", {86400000, zsim::TimeError::None}},
        {"24.001h", {0, zsim::TimeError::TooLarge}}, {"99999999999999999999h", {0, zsim::TimeError::TooLarge}},
        {"1.5ms", {0, zsim::TimeError::NotWhole}},   {"0.0000001s", {0, zsim::TimeError::NotWhole}},
        {"5 s", {0, zsim::TimeError::Malformed}},    {"1e3", {0, zsim::TimeError::Malformed}},
        {"-1s", {0, zsim::TimeError::Malformed}},    {"1.2.3s", {0, zsim::TimeError::Malformed}},
        {"", {0, zsim::TimeError::Malformed}},       {"s", {0, zsim::TimeError::Malformed}},
    };
    for (const auto &[text, want] : cases) {
        const zsim::TimeValue got = zsim::ReadTime(text);
        EXPECT_EQ(got.error, want.error) << text;
        EXPECT_EQ(got.ms, want.ms) << text;
    }
}

// The schema editors read (docs/scenario.schema.json) must take the keys and words the reader takes, no more and
// no fewer: the reader's own tables against the schema's definitions, which carry the tables' names.
TEST(SimModelTest, ScenarioSchemaHasTheReadersKeysAndWordsAndIsBuiltIn)
{
    const std::string text = simcli::Slurp(simcli::SourceRoot() / "docs" / "scenario.schema.json");
    EXPECT_EQ(zsim::ScenarioSchemaText(), text) << "zelm-sim --print-schema differs from docs/scenario.schema.json";
    const nlohmann::json schema = nlohmann::json::parse(text);
    const auto definition = [&schema](const std::string &name) {
        return name == "scenario" ? schema : schema["definitions"].value(name, nlohmann::json::object());
    };
    const auto names = [](const nlohmann::json &j) {
        std::set<std::string> s;
        for (const auto &[key, value] : j.items()) {
            s.insert(j.is_array() ? value.get<std::string>() : key);
        }
        return s;
    };
    for (const zsim::NamedTable &t : zsim::ScenarioMapKeys()) {
        EXPECT_EQ(names(definition(t.name).value("properties", nlohmann::json::object())),
                  std::set<std::string>(t.entries.begin(), t.entries.end()))
            << "the reader and docs/scenario.schema.json differ on the keys of " << t.name
            << ": give each key the reader takes a property of definitions/" << t.name
            << " in the schema, described in the docs' words";
    }
    for (const zsim::NamedTable &t : zsim::ScenarioWords()) {
        EXPECT_EQ(names(definition(t.name).value("enum", nlohmann::json::array())),
                  std::set<std::string>(t.entries.begin(), t.entries.end()))
            << "the reader and docs/scenario.schema.json differ on the words of " << t.name
            << ": a new one (a fault kind, say) goes into the enum of definitions/" << t.name
            << " in the schema, and its description says what it does";
    }
    // An atom without one of its record's key fields is refused by both.
    using zsim::CfgClass;
    for (const CfgClass c : {CfgClass::Location, CfgClass::LogicGroup, CfgClass::Component, CfgClass::CompNode}) {
        std::set<std::string> keys = {"class"};
        for (const zsim::FieldDesc &f : zsim::FieldsOf(c)) {
            if (f.key) {
                keys.insert(f.name);
            }
        }
        EXPECT_EQ(names(definition(zsim::ClassName(c)).value("required", nlohmann::json::array())), keys)
            << "the schema's required keys of a " << zsim::ClassName(c) << " atom are not its record's key fields";
    }
}

// What a syntax error is blamed on lies in the text, at or before the place where the parser stopped.
RC_GTEST_PROP(SimModelTest, SyntaxSuspectOpensWithinTheTextBeforeTheParserStopped, ())
{
    const std::string text = *rc::gen::container<std::string>(rc::gen::elementOf(std::string("{}[]\"'#:-, a\n|>\\")));
    const zsim::Mark stopped{*rc::gen::inRange(1, 8), *rc::gen::inRange(1, 20)};
    if (const std::optional<zsim::SyntaxSuspect> found = zsim::FindUnclosed(text, stopped)) {
        RC_ASSERT(std::pair(found->opened.line, found->opened.col) <= std::pair(stopped.line, stopped.col));
        RC_ASSERT(found->opened.line >= 1 && found->opened.col >= 1);
        RC_ASSERT(static_cast<size_t>(found->opened.line) <=
                  1 + static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
        RC_ASSERT(!found->problem.empty());
    }
}

RC_GTEST_PROP(SimModelTest, PrintableTextIsValidUtf8WithoutControlCharacters, (const std::string &raw))
{
    const std::string shown = zsim::Printable(raw);
    RC_ASSERT(std::none_of(shown.begin(), shown.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));
    // The strict writer throws on anything that is not UTF-8.
    RC_ASSERT(!nlohmann::json(shown).dump().empty());
    const std::string quoted = zsim::Quoted(raw);
    RC_ASSERT(!nlohmann::json(quoted).dump().empty());
    RC_ASSERT(quoted.size() <= 4 * 40 + 40);
}

RC_GTEST_PROP(SimModelTest, PrintableKeepsWhatIsAlreadyPrintable, ())
{
    const std::string text = *rc::gen::container<std::string>(rc::gen::inRange<char>(0x20, 0x7F));
    RC_ASSERT(zsim::Printable(text) == text);
}

}  // namespace
