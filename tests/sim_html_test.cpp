// zelm-sim's timeline page: where its layout puts things on the time axis, which nodes get a lane, how
// crowded runs stay small, and that no text of a scenario becomes markup.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "report/run_scenario.h"
#include "support/sim_cli.h"
#include "timeline/markup.h"
#include "timeline/timeline_layout.h"
#include "timeline/timeline_page.h"

namespace {

using simcli::Count;
using zsim::Ms;

RC_GTEST_PROP(SimHtmlTest, AxisTicksCoverTheRunInRoundSteps, ())
{
    // Runs of every order of magnitude, from milliseconds to two days.
    const Ms end = std::min(2 * zsim::kMaxTime,
                            *rc::gen::inRange<Ms>(0, 2000) * *rc::gen::element<Ms>(1, 10, 100, 1000, 10000, 100000));
    const int maxTicks = *rc::gen::inRange(3, 30);  // a round step fits any run from three ticks on
    const std::vector<Ms> ticks = zsim::AxisTicks(end, maxTicks);
    RC_ASSERT(!ticks.empty());
    RC_ASSERT(ticks.front() == 0u);
    RC_ASSERT(ticks.size() <= static_cast<size_t>(maxTicks));
    RC_ASSERT((ticks.size() == 1) == (end == 0));
    if (ticks.size() == 1) {
        return;
    }
    const Ms step = ticks[1];
    Ms mantissa = step;
    while (mantissa % 10 == 0) {
        mantissa /= 10;
    }
    RC_ASSERT((mantissa == 1 || mantissa == 2 || mantissa == 5));
    for (size_t i = 1; i < ticks.size(); ++i) {
        RC_ASSERT(ticks[i] - ticks[i - 1] == step);
    }
    RC_ASSERT(ticks.back() <= end);
    RC_ASSERT(ticks.back() + step > end);
    for (const Ms t : ticks) {
        RC_ASSERT(std::llround(std::stod(zsim::TickLabel(t, step)) * 1000) == static_cast<long long>(t));
    }
    const std::string label = zsim::TickLabel(step, step);
    RC_ASSERT((label.find('.') == std::string::npos || label.back() != '0'));  // no more decimals than the step needs
}

// Every instant has room for its marks, in their order; time runs left to right; long idle stretches fold;
// bins gather only marks that would overlap.
RC_GTEST_PROP(SimHtmlTest, TheAxisGivesEachInstantRoomAndFoldsIdleStretches, ())
{
    const double left = *rc::gen::inRange(0, 300);
    const double width = *rc::gen::inRange(200, 1500);
    const Ms end = *rc::gen::inRange<Ms>(0, 100000);
    std::vector<zsim::Instant> instants = *rc::gen::container<std::vector<zsim::Instant>>(
        rc::gen::build<zsim::Instant>(rc::gen::set(&zsim::Instant::at, rc::gen::inRange<Ms>(0, end + 1)),
                                      rc::gen::set(&zsim::Instant::slots, rc::gen::inRange<size_t>(1, 24))));
    const zsim::TimeScale scale(left, width, end, instants);
    RC_ASSERT(scale.X(0) == left);
    // Every slot of every instant, in time and slot order: strictly left to right, a slot apart at least.
    std::map<Ms, size_t> room;
    for (const zsim::Instant &i : instants) {
        room[i.at] = std::max(room[i.at], std::min(i.slots, zsim::kMaxSlots));
    }
    double last = -1;
    for (const auto &[at, slots] : room) {
        for (size_t slot = 0; slot < slots; ++slot) {
            const double x = scale.X(at, slot);
            RC_ASSERT((last < 0 || x - last >= scale.SlotPx() - 1e-6));
            RC_ASSERT(scale.SlotPx() > 0);
            last = x;
        }
        RC_ASSERT(scale.After(at) == last);
    }
    RC_ASSERT(last <= scale.Right() + 1e-6);
    const Ms a = *rc::gen::inRange<Ms>(0, end + 1);
    const Ms b = *rc::gen::inRange<Ms>(a, end + 1);
    RC_ASSERT(scale.X(a) <= scale.X(b));
    RC_ASSERT(scale.X(end + 1 + a) == scale.X(end));
    // A break is a long stretch without an instant, narrower than the time it stands for would be.
    for (const zsim::Break &br : scale.Breaks()) {
        RC_ASSERT(br.to - br.from >= 1000u);
        RC_ASSERT(4 * (br.to - br.from) >= end);
        RC_ASSERT(room.lower_bound(br.from + 1) == room.lower_bound(br.to));
        RC_ASSERT(br.x1 > br.x0);
        RC_ASSERT(br.x1 - br.x0 <= 26 + 1e-9);
    }

    std::vector<Ms> times = *rc::gen::container<std::vector<Ms>>(rc::gen::inRange<Ms>(0, end + 1));
    std::sort(times.begin(), times.end());
    const std::vector<zsim::TimePoint> points = zsim::Slotted(times);
    const double binPx = *rc::gen::inRange(1, 20) * 0.5;
    const std::vector<zsim::Bin> bins = zsim::GatherBins(points, scale, binPx);
    size_t next = 0;
    double previous = -1e9;
    for (const zsim::Bin &bin : bins) {
        RC_ASSERT(!bin.items.empty());
        const zsim::TimePoint &first = points[bin.items.front()];
        const double x0 = scale.X(first.at, first.slot);
        RC_ASSERT(x0 - previous >= binPx - 1e-9);
        previous = x0;
        for (const size_t i : bin.items) {
            RC_ASSERT(i == next++);
            RC_ASSERT(scale.X(points[i].at, points[i].slot) < x0 + binPx);
        }
    }
    RC_ASSERT(next == times.size());
}

TEST(SimHtmlTest, PeriodsBecomeBandsMergedBelowAPixel)
{
    const zsim::TimeScale scale{0, 1000, 1000};  // a pixel a millisecond
    const std::vector<zsim::PixelRange> ranges =
        zsim::SpanPixels({{400, std::nullopt}, {201, 300}, {100, 200}, {500, 500}}, scale);
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0].from, 100u);
    EXPECT_EQ(ranges[0].to, 300u) << "a gap of one pixel joins two periods";
    EXPECT_EQ(ranges[1].from, 400u);
    EXPECT_EQ(ranges[1].to, 1000u) << "a period still open lasts to the end";
    EXPECT_DOUBLE_EQ(ranges[1].x1, 1000);
    const std::vector<zsim::PixelRange> last = zsim::SpanPixels({{1000, 1000}}, scale);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_DOUBLE_EQ(last[0].x0, 999) << "a moment at the end stays visible, and on the axis";
    EXPECT_DOUBLE_EQ(last[0].x1, 1000);
}

RC_GTEST_PROP(SimHtmlTest, LanesShowTroubleFirstAndFoldOnlyLargeClusters, ())
{
    const auto trouble =
        rc::gen::build<zsim::NodeTrouble>(rc::gen::set(&zsim::NodeTrouble::driftItems, rc::gen::inRange<size_t>(0, 3)),
                                          rc::gen::set(&zsim::NodeTrouble::converged, rc::gen::arbitrary<bool>()),
                                          rc::gen::set(&zsim::NodeTrouble::failures, rc::gen::inRange<uint64_t>(0, 3)),
                                          rc::gen::set(&zsim::NodeTrouble::faultSpans, rc::gen::inRange<size_t>(0, 2)),
                                          rc::gen::set(&zsim::NodeTrouble::outages, rc::gen::inRange<size_t>(0, 2)));
    const auto nodes = *rc::gen::resize(150, rc::gen::container<std::vector<zsim::NodeTrouble>>(trouble));
    const zsim::LanePlan plan = zsim::PlanLanes(nodes);

    std::vector<size_t> all = plan.lanes;
    all.insert(all.end(), plan.folded.begin(), plan.folded.end());
    std::sort(all.begin(), all.end());
    for (size_t i = 0; i < all.size(); ++i) {
        RC_ASSERT(all[i] == i);
    }
    RC_ASSERT(all.size() == nodes.size());
    RC_ASSERT(std::is_sorted(plan.folded.begin(), plan.folded.end()));
    if (nodes.size() <= zsim::kAllLanesUpTo) {
        RC_ASSERT(plan.folded.empty());
    } else {
        RC_ASSERT(plan.lanes.size() <= zsim::kMaxLanes);
        for (const size_t n : plan.lanes) {
            RC_ASSERT(!zsim::IsQuiet(nodes[n]));
        }
        for (const size_t n : plan.folded) {
            RC_ASSERT((zsim::IsQuiet(nodes[n]) || plan.lanes.size() == zsim::kMaxLanes));
        }
    }
    for (size_t i = 1; i < plan.lanes.size(); ++i) {
        const zsim::NodeTrouble &before = nodes[plan.lanes[i - 1]];
        const zsim::NodeTrouble &after = nodes[plan.lanes[i]];
        RC_ASSERT((after.converged || !before.converged));
        RC_ASSERT((!zsim::IsQuiet(before) || zsim::IsQuiet(after)));
    }
}

RC_GTEST_PROP(SimHtmlTest, EscapedTextCannotOpenATagOrEndAnAttribute, (const std::string &raw))
{
    const std::string text = zsim::EscapeMarkup(raw);
    RC_ASSERT(text.find_first_of("<>\"'") == std::string::npos);
    for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
        const size_t end = text.find(';', at);
        RC_ASSERT((end != std::string::npos && end - at <= 5));
    }
}

TEST(SimHtmlTest, NamesFromTheScenarioStayText)
{
    const zsim::Scenario sc = zsim::ParseScenario(R"yaml(
description: "</p><img src=x onerror=alert(1)>"
nodes:
  - {name: "<script>alert(1)</script>", chassis: 1, slot: 1}
  - {name: "a\"b' onmouseover='alert(2)", chassis: 1, slot: 2}
timeline:
  - {at: 0, config: {class: location, LocId: 1, LocName: "<b>x</b>", OsInst: "<script>alert(1)</script>"}}
  - {at: 10ms, link: {node: "<script>alert(1)</script>", up: true}}
  - {at: 20ms, locationStatus: {node: "a\"b' onmouseover='alert(2)", service: "<i>s</i>", index: 1}}
)yaml",
                                                  "names.yaml");
    zsim::RunOptions options;
    options.history = true;
    const zsim::RunResult run = zsim::RunScenario(sc, options);
    const std::string page = zsim::TimelinePage(sc, run.report, run.history);
    for (const char *tag : {"<script", "<img", "<b>", "<i>", "onmouseover='"}) {
        EXPECT_EQ(page.find(tag), std::string::npos) << tag;
    }
    // Shown, as text: a node's name, a record's name and a service in the events' details.
    for (const char *text : {"&lt;script&gt;alert(1)&lt;/script&gt;", "&lt;b&gt;x&lt;/b&gt;", "&lt;i&gt;s&lt;/i&gt;"}) {
        EXPECT_NE(page.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(Count(page, "<g class=\"lane\""), 2u);

    // Below the chart and the drift table, the counts and the convergence as the text report has them.
    FILE *text = std::tmpfile();
    ASSERT_NE(text, nullptr);
    zsim::WriteCountsAndConvergence(run.report, text);
    std::rewind(text);
    char line[512];
    while (std::fgets(line, sizeof line, text) != nullptr) {
        EXPECT_NE(page.find(zsim::EscapeMarkup(std::string(line, std::strcspn(line, "\n")))), std::string::npos)
            << line;
    }
    std::fclose(text);
}

// The x of each event mark of the page, in the order the page draws them, with its hover's first line.
std::vector<std::pair<double, std::string>> EventMarks(const std::string &page)
{
    std::vector<std::pair<double, std::string>> marks;
    const std::string open = "<g class=\"ev\"><title>";
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        const size_t title = at + open.size();
        const size_t d = page.find(" d=\"M", title);  // the diamond of a configuration message starts at its top
        marks.emplace_back(std::stod(page.substr(d + 5)), page.substr(title, page.find('\n', title) - title));
    }
    return marks;
}

// A shrunk run's events of one instant stand apart in their order, its settling folds, and marks that really
// overlap become one bar whose hover lists them.
TEST(SimHtmlTest, OneInstantReadsInOrderAndACrowdedMarkListsItsEvents)
{
    std::string yaml = "nodes: [{name: a, slot: 1}]\ntimeline:\n";
    for (int i = 0; i < 3; ++i) {  // at one instant, as a shrunk run has them
        yaml += "  - {at: 0, config: {class: compNode, compType: " + std::to_string(i + 1) + ", compTypeName: t}}\n";
    }
    for (int i = 0; i < 40; ++i) {  // an hour later, more reports at one instant than it has room for
        yaml += std::string("  - {at: 1h, link: {node: a, up: ") + (i % 2 == 0 ? "true" : "false") + "}}\n";
    }
    const zsim::Scenario sc = zsim::ParseScenario(yaml, "story.yaml");
    zsim::RunOptions options;
    options.history = true;
    const zsim::RunResult run = zsim::RunScenario(sc, options);
    const std::string page = zsim::TimelinePage(sc, run.report, run.history);
    const auto marks = EventMarks(page);
    ASSERT_EQ(marks.size(), 3u + zsim::kMaxSlots - 1) << "the reports that have no room crowd into one bar";
    for (size_t i = 1; i < marks.size(); ++i) {
        EXPECT_GT(marks[i].first, marks[i - 1].first + 5) << marks[i].second;
    }
    EXPECT_LT(marks[3].first, 400) << "the hour between folds into a break";
    EXPECT_EQ(Count(page, "<g class=\"break\">"), 1u);

    const std::string dense = "<g class=\"ev dense\" data-count=\"25\"><title>";
    const size_t bar = page.find(dense);
    ASSERT_NE(bar, std::string::npos);
    const std::string tip = page.substr(bar, page.find("</title>", bar) - bar);
    for (const char *line : {"12 links up", "13 links down", "3600.000 s link a down", "... and 5 more"}) {
        EXPECT_NE(tip.find(line), std::string::npos) << line << " in " << tip;
    }
    EXPECT_EQ(Count(tip, " s link a "), 20u);
}

// A lane's label cuts a long name between characters, whatever their widths, and says that it did.
TEST(SimHtmlTest, ALongNodeNameIsCutBetweenCharacters)
{
    zsim::Scenario sc;
    zsim::Report report;
    report.time = 1000;
    std::string tail;
    for (int i = 0; i < 8; ++i) {
        tail += "\u00e9\u20ac\U0001F600";  // two, three and four bytes
    }
    // Leading letters move the cut to each place within a character.
    for (const std::string lead : {"", "a", "ab", "abc"}) {
        sc.nodes.push_back({lead + tail, 1, static_cast<uint32_t>(sc.nodes.size()), 0, true, 0x100});
        zsim::AgentReport agent;
        agent.node = sc.nodes.back().name;
        report.agents.push_back(agent);
    }
    const std::string page = zsim::TimelinePage(sc, report, zsim::RunHistory{});
    const std::string open = "<text class=\"node\"";
    size_t labels = 0;
    for (size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        const size_t from = page.find('>', at) + 1;
        const std::string label = page.substr(from, page.find("</text>", from) - from);
        const std::string ellipsis = "\u2026";
        ASSERT_GT(label.size(), ellipsis.size());
        ASSERT_EQ(label.substr(label.size() - ellipsis.size()), ellipsis) << label;
        const std::string kept = label.substr(0, label.size() - ellipsis.size());
        EXPECT_EQ(label.find("\\x"), std::string::npos) << "a byte of a cut character: " << label;
        EXPECT_TRUE(std::any_of(sc.nodes.begin(), sc.nodes.end(), [&](const zsim::NodeDecl &d) {
            return d.name.compare(0, kept.size(), kept) == 0;
        })) << label;
        ++labels;
    }
    EXPECT_EQ(labels, sc.nodes.size());
}

// Drawn things and the number each stands for: 1 for a mark, its data-count for a density bar.
size_t Drawn(const std::string &page, const std::string &cls)
{
    size_t n = Count(page, "<g class=\"" + cls + "\">");
    const std::string dense = "<g class=\"" + cls + " dense\" data-count=\"";
    for (size_t at = page.find(dense); at != std::string::npos; at = page.find(dense, at + 1)) {
        n += std::stoul(page.substr(at + dense.size()));
    }
    return n;
}

// A long run of a large cluster, some nodes troubled in each way a node can be, every lane crowded.
TEST(SimHtmlTest, ALargeLongRunFoldsQuietNodesDrawsEverythingOnceAndStaysSmall)
{
    constexpr size_t kNodes = 60;
    constexpr Ms kEnd = 2 * zsim::kMaxTime;
    zsim::Scenario sc;
    zsim::Report report;
    zsim::RunHistory history;
    report.time = kEnd;
    size_t requests = 0;
    for (size_t n = 0; n < kNodes; ++n) {
        sc.nodes.push_back(
            {"node-" + std::to_string(n), 1, static_cast<uint32_t>(n), 0, true, static_cast<uint32_t>(0x100 + n)});
        zsim::AgentReport agent;
        agent.node = sc.nodes.back().name;
        agent.failures = n % 6 == 0 ? 1 : 0;
        agent.convergedAt = kEnd / 2;
        report.agents.push_back(agent);
        zsim::NodeHistory h;
        for (Ms t = n; t < kEnd; t += 5000 * 31) {
            const auto outcome = static_cast<zsim::RequestOutcome>(t / 5000 % 6);
            h.requests.push_back({t, t, t + 250, t % 2 == 0, 2, 7, 3, outcome, 2, "ZelmLocSmooth", SIZE_MAX});
            (n % 6 == 1 ? h.agentDown : h.linkUp).push_back({t + 100, t + 200});
            if (n % 6 == 2) {
                h.faults.push_back({true, 7, {t, t + 2500}});
            }
        }
        requests += h.requests.size();
        history.nodes.push_back(std::move(h));
    }
    for (Ms t = 0; t < kEnd; t += 60000) {
        zsim::Event ev;
        ev.at = t;
        ev.kind = t % 120000 == 0 ? zsim::EventKind::Link : zsim::EventKind::HaRole;
        sc.events.push_back(ev);
    }
    const std::string page = zsim::TimelinePage(sc, report, history);
    EXPECT_LT(page.size(), 5u << 20);
    EXPECT_EQ(Count(page, "<g class=\"lane\""), kNodes / 2) << "a lane for each troubled node";
    EXPECT_NE(page.find("data-nodes=\"" + std::to_string(kNodes / 2) + "\""), std::string::npos)
        << "a band for the quiet";
    EXPECT_EQ(Drawn(page, "req"), requests);
    EXPECT_EQ(Drawn(page, "ev"), sc.events.size());
}

}  // namespace
