// The page around the chart: summary, legend, chart, and the text report's drift and counts.
#include "timeline/timeline_page.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "text/units.h"
#include "timeline/markup.h"
#include "timeline/timeline_chart.h"
#include "timeline/timeline_marks.h"

namespace zsim {

namespace {

constexpr const char *kPageStyle =
    "body{font:14px/1.4 system-ui,'DejaVu Sans',sans-serif;margin:20px 24px;color:#111;background:#fff}"
    "h1{font-size:22px;margin:0 0 2px}h1 small{font-size:13px;font-weight:400;color:#666;margin-left:8px}"
    "h2{font-size:16px;margin:18px 0 6px}h3{font-size:12px;margin:8px 0 3px;color:#333}"
    "p{margin:2px 0}.desc{color:#444;max-width:1100px}.ok{color:#00674b;font-weight:600}.bad{color:#a33a00;font-weight:600}"
    ".legend ul{list-style:none;display:flex;flex-wrap:wrap;gap:2px 16px;padding:0;margin:0}"
    ".legend li{display:flex;align-items:center;gap:4px;font-size:12px}"
    "figure{margin:10px 0 0;overflow-x:auto}figcaption{font-size:12px;color:#555}"
    "svg.chart{font-family:system-ui,'DejaVu Sans',sans-serif;font-size:12px;display:block;width:100%;height:auto;max-width:1480px}"
    ".node{font-weight:600;font-size:13px}.sub{fill:#555;font-size:11px}.row{fill:#666;font-size:10px;text-anchor:end}"
    ".side{font-size:12px;font-weight:600;fill:#00674b}.side.bad{fill:#a33a00}.reason{font-size:11px;fill:#7a2b00}"
    ".axis text{fill:#333;font-size:11px;text-anchor:middle}.axis .endlabel{text-anchor:end;fill:#555}"
    ".axis .title{font-weight:600;text-anchor:end}.grid{stroke:#e6e6e6}.end{stroke:#888;stroke-dasharray:3 2}"
    ".fold{fill:#f4f4f4;stroke:#d8d8d8;stroke-dasharray:2 2}.zigzag{stroke:#555;fill:none;stroke-width:1.2}"
    ".axis .breaklabel{font-size:10px;fill:#555}"
    ".lane-bg{fill:#fff;stroke:#e2e2e2}.band-bg{fill:#f2f2f2;stroke:#e2e2e2}.evline{stroke:#d0d0d0}"
    ".rule{stroke:#000;stroke-dasharray:4 3;opacity:.55}.conv{stroke:#009E73;stroke-width:2.5}"
    ".lat{stroke:#666;stroke-width:1.2;fill:none}.d-events{fill:#8a8a8a;stroke:#333;stroke-width:.5}.b-conv{fill:#009E73;opacity:.7}.stopped{fill:#000;opacity:.13}"
    "g.req:hover,g.ev:hover,g.tick:hover,g.cause:hover{opacity:.6}"
    "pre{font:12px/1.35 ui-monospace,'DejaVu Sans Mono',monospace;background:#f6f6f6;padding:10px 12px;overflow-x:auto}"
    "ul.reasons{margin:2px 0 8px;font-size:13px}table.drift{border-collapse:collapse;font-size:12px}"
    "table.drift th{text-align:left;border-bottom:1px solid #bbb;padding:2px 8px}"
    "table.drift td{padding:2px 8px;vertical-align:top;border-bottom:1px solid #eee}"
    "table.drift tr:target{background:#fff3c4}.missing{color:#a33a00}.extra{color:#7a5b00}.stale{color:#6b2d5c}"
    ".code{color:#666}";

// The text report's counts and convergence, as it prints them.
std::vector<std::string> CountsText(const Report &r)
{
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    if (f == nullptr) {
        return {};
    }
    WriteCountsAndConvergence(r, f);
    std::fclose(f);
    const std::string text(buf, len);
    std::free(buf);
    std::vector<std::string> lines;
    for (size_t from = 0; from < text.size();) {
        const size_t end = std::min(text.find('\n', from), text.size());
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

std::string Verdict(const Report &r)
{
    if (!r.converged) {
        return "not converged: " + Plural(r.driftTotal, "drift item remains", "drift items remain");
    }
    return "converged at " + Seconds(r.convergedAt);
}

// The drift by reason, one line each: "4 extra forgotten: the library forgot it when ...".
std::vector<std::string> ByReason(const Report &r)
{
    std::vector<std::string> lines;
    for (const ReasonCount &c : r.driftByReason) {
        lines.push_back(
            fmt::format("{} {} {}: {}", c.items, KindName(c.kind), ReasonCode(c.reason), ReasonLabel(c.reason)));
    }
    return lines;
}

// A span whose hover shows `lines`; an HTML title attribute takes a line break as a character reference.
void TitledSpan(Markup &m, const std::string &cls, const std::vector<std::string> &lines, const std::string &text)
{
    std::string title;
    for (const std::string &line : lines) {
        title += (title.empty() ? "" : "&#10;") + EscapeMarkup(line);
    }
    m.Raw("<span class=\"" + cls + "\" title=\"" + title + "\">").Text(text).Raw("</span>");
}

// The drift table: each item, and a link to the mark of its cause on its node's lane (or to the lane).
void DriftTable(Markup &m, const Report &r, const std::vector<size_t> &lanes)
{
    m.Element("h2", {}, "Drift");
    if (r.driftTotal == 0) {
        m.Element("p", {}, "None: every agent holds what the configuration says.");
        return;
    }
    m.Element("p", {},
              Plural(r.driftTotal, "item", "items") +
                  (r.drift.size() < r.driftTotal ? fmt::format(" (the first {} listed)", r.drift.size()) : "") +
                  ", by reason:");
    m.Open("ul", {{"class", "reasons"}});
    for (const std::string &line : ByReason(r)) {
        m.Element("li", {}, line);
    }
    m.Close("ul");
    std::map<size_t, std::string> target;  // item -> the anchor of its cause's mark
    for (const size_t n : lanes) {
        for (const CauseMark &cm : CausesOf(r, n)) {
            for (const size_t i : cm.items) {
                target[i] = fmt::format("#{}", cm.id);
            }
        }
    }
    std::map<std::string, size_t> laneOf;
    for (const size_t n : lanes) {
        laneOf[r.agents[n].node] = n;
    }
    m.Open("table", {{"class", "drift"}}).Open("thead").Open("tr");
    for (const char *head : {"kind", "entry", "node", "name", "reason", "on the lane"}) {
        m.Element("th", {}, head);
    }
    m.Close("tr").Close("thead").Open("tbody");
    for (size_t i = 0; i < r.drift.size(); ++i) {
        const DriftItem &d = r.drift[i];
        m.Open("tr", {{"id", fmt::format("drift-{}", i)}});
        m.Element("td", {{"class", KindName(d.kind)}}, KindName(d.kind));
        m.Element("td", {}, DriftEntry(d)).Element("td", {}, d.node).Element("td", {}, d.name);
        m.Open("td")
            .Text(d.why.text)
            .Element("span", {{"class", "code"}}, fmt::format(" [{}]", ReasonCode(d.why.reason)));
        for (const Difference &diff : d.differences) {
            m.Empty("br", {}).Text(diff.field + ": held " + DifferenceText(diff, true) + ", configured " +
                                   DifferenceText(diff, false));
        }
        m.Close("td").Open("td");
        if (const auto it = target.find(i); it != target.end()) {
            m.Element("a", {{"href", it->second}}, fmt::format("cause at {}", CompactSeconds(d.why.cause->at)));
        } else if (const auto lane = laneOf.find(d.node); lane != laneOf.end()) {
            m.Element("a", {{"href", fmt::format("#{}", LaneId(lane->second))}}, "lane");
        }
        m.Close("td").Close("tr");
    }
    m.Close("tbody").Close("table");
}

}  // namespace

std::string TimelinePage(const Scenario &sc, const Report &report, const RunHistory &history)
{
    Markup m;
    m.Raw("<!DOCTYPE html>\n").Open("html", {{"lang", "en"}}).Open("head");
    m.Empty("meta", {{"charset", "utf-8"}});
    m.Empty("meta", {{"name", "viewport"}, {"content", "width=device-width, initial-scale=1"}});
    m.Element("title", {}, "zelm-sim: " + report.scenario);
    m.Open("style").Raw(kPageStyle).Raw(MarkStyles()).Close("style");
    m.Close("head").Raw("\n").Open("body");

    m.Open("h1").Text(report.scenario).Element("small", {}, "zelm-sim timeline of " + report.source).Close("h1");
    std::string description = sc.description;
    std::replace(description.begin(), description.end(), '\n', ' ');
    if (description.find_first_not_of(' ') != std::string::npos) {
        m.Element("p", {{"class", "desc"}}, description.substr(0, description.find_last_not_of(' ') + 1));
    }
    m.Open("p");
    if (report.converged) {
        m.Element("span", {{"class", "ok"}}, Verdict(report));
    } else {
        TitledSpan(m, "bad", ByReason(report), Verdict(report));
    }
    m.Text(". Report at " + Seconds(report.time) + ": " + RunEndText(report) + ".").Close("p");
    m.Element("p", {},
              fmt::format("{}, {}; library {} at the end, HA role {}.", Plural(sc.nodes.size(), "node", "nodes"),
                          Plural(sc.events.size(), "event", "events"), report.libraryRunning ? "running" : "stopped",
                          report.haRole));
    m.Element("p", {}, CostLine(report));
    for (const std::string &note : report.notes) {
        m.Element("p", {{"class", "desc"}}, "Note: " + note);
    }
    m.Raw("\n").Raw(TimelineLegend()).Raw("\n");
    m.Open("figure").Raw(TimelineChart(sc, report, history)).Raw("\n");
    m.Element("figcaption", {},
              "Lanes: the most troubled nodes first. Hover over a mark, a band or a bar for its details.");
    m.Close("figure").Raw("\n");
    DriftTable(m, report, PlanChart(sc, report, history).lanes);
    m.Element("h2", {}, "Counts and convergence");
    m.Open("pre").Lines(CountsText(report)).Close("pre");
    m.Close("body").Close("html").Raw("\n");
    return m.Take();
}

}  // namespace zsim
