// Shapes and colours of the timeline's marks and bands. Colours from a palette that colour-blind readers
// tell apart; each is paired with a shape or a fill pattern, so that a grey print keeps them apart too.
#include "timeline/timeline_marks.h"

#include <cmath>
#include <iterator>

#include "text/units.h"

namespace zsim {

namespace {

enum class Shape {
    Circle,
    Ring,
    Cross,
    TriangleDown,
    TriangleUp,
    Diamond,
    Square,
    SquareSlash,
    Hexagon,
    Play,
    Stop,
    Tick,
    Check,
    Star
};

struct MarkStyle {
    const char *label;
    const char *plural;  // of the label, for counts
    Shape shape;
    const char *cls;
};

// In the order of MarkKind.
constexpr MarkStyle kStyles[] = {
    {"applied", "applied", Shape::Circle, "m-applied"},
    {"refused", "refused", Shape::Cross, "m-refused"},
    {"failed completion", "failed completions", Shape::TriangleDown, "m-failed"},
    {"no reply", "without a reply", Shape::Ring, "m-noreply"},
    {"in flight at the end", "in flight at the end", Shape::Diamond, "m-inflight"},
    {"configuration message", "configuration messages", Shape::Diamond, "m-config"},
    {"link up", "links up", Shape::TriangleUp, "m-linkup"},
    {"link down", "links down", Shape::TriangleDown, "m-linkdown"},
    {"location available", "locations available", Shape::Circle, "m-avail"},
    {"location not available", "locations not available", Shape::Ring, "m-unavail"},
    {"agent down", "agents down", Shape::Square, "m-agentdown"},
    {"agent up", "agents up", Shape::Square, "m-agentup"},
    {"agent behaviour changed", "agent behaviour changes", Shape::SquareSlash, "m-script"},
    {"HA role", "HA role changes", Shape::Hexagon, "m-harole"},
    {"library stop", "library stops", Shape::Stop, "m-libstop"},
    {"library start", "library starts", Shape::Play, "m-libstart"},
    {"smooth timer tick (republished here, or a fault flag of this node is up)", "smooth timer ticks", Shape::Tick,
     "m-tick"},
    {"converged", "converged", Shape::Check, "m-converged"},
    {"never converged", "never converged", Shape::Cross, "m-never"},
    {"the event a node's drift follows from", "causes of drift", Shape::Star, "m-cause"},
};

static_assert(std::size(kStyles) == static_cast<size_t>(MarkKind::Cause) + 1, "a style for every kind of mark");

const MarkStyle &StyleOf(MarkKind kind)
{
    return kStyles[static_cast<int>(kind)];
}

}  // namespace

MarkKind MarkOf(RequestOutcome outcome)
{
    switch (outcome) {
    case RequestOutcome::Applied:
        return MarkKind::Applied;
    case RequestOutcome::Refused:
        return MarkKind::Refused;
    case RequestOutcome::Rejected:
    case RequestOutcome::Failed:
        return MarkKind::Failed;
    case RequestOutcome::NoReply:
        return MarkKind::NoReply;
    case RequestOutcome::InFlight:
        break;
    }
    return MarkKind::InFlight;
}

const char *MarkLabel(MarkKind kind)
{
    return StyleOf(kind).label;
}

std::string MarkCount(MarkKind kind, size_t n)
{
    return Plural(n, StyleOf(kind).label, StyleOf(kind).plural);
}

const char *DensityClass(MarkKind kind)
{
    switch (kind) {
    case MarkKind::Applied:
        return "d-applied";
    case MarkKind::Refused:
        return "d-refused";
    case MarkKind::Failed:
        return "d-failed";
    case MarkKind::NoReply:
        return "d-noreply";
    default:
        return "d-other";
    }
}

void DrawMark(Markup &m, MarkKind kind, double x, double y, double r)
{
    const MarkStyle &s = StyleOf(kind);
    const std::string cls = s.cls;
    switch (s.shape) {
    case Shape::Circle:
    case Shape::Ring:
        m.Empty("circle", {{"class", cls}, {"cx", Num(x)}, {"cy", Num(y)}, {"r", Num(r * 0.85)}});
        return;
    case Shape::Cross:
        m.Empty("path", {{"class", cls},
                         {"d", PathData()
                                   .Poly({{x - r, y - r}, {x + r, y + r}}, false)
                                   .Poly({{x - r, y + r}, {x + r, y - r}}, false)
                                   .Str()}});
        return;
    case Shape::TriangleDown:
        m.Empty("path", {{"class", cls},
                         {"d", PathData().Poly({{x - r, y - r * 0.8}, {x + r, y - r * 0.8}, {x, y + r}}, true).Str()}});
        return;
    case Shape::TriangleUp:
        m.Empty("path", {{"class", cls},
                         {"d", PathData().Poly({{x - r, y + r * 0.8}, {x + r, y + r * 0.8}, {x, y - r}}, true).Str()}});
        return;
    case Shape::Diamond:
        m.Empty("path",
                {{"class", cls}, {"d", PathData().Poly({{x, y - r}, {x + r, y}, {x, y + r}, {x - r, y}}, true).Str()}});
        return;
    case Shape::Square:
    case Shape::Stop:
        m.Empty("rect", {{"class", cls},
                         {"x", Num(x - r * 0.8)},
                         {"y", Num(y - r * 0.8)},
                         {"width", Num(r * 1.6)},
                         {"height", Num(r * 1.6)}});
        return;
    case Shape::SquareSlash:
        m.Empty("path", {{"class", cls},
                         {"d", PathData()
                                   .Poly({{x - r * 0.8, y - r * 0.8},
                                          {x + r * 0.8, y - r * 0.8},
                                          {x + r * 0.8, y + r * 0.8},
                                          {x - r * 0.8, y + r * 0.8}},
                                         true)
                                   .Poly({{x - r * 0.8, y + r * 0.8}, {x + r * 0.8, y - r * 0.8}}, false)
                                   .Str()}});
        return;
    case Shape::Hexagon:
        m.Empty("path", {{"class", cls},
                         {"d", PathData()
                                   .Poly({{x - r, y},
                                          {x - r / 2, y - r},
                                          {x + r / 2, y - r},
                                          {x + r, y},
                                          {x + r / 2, y + r},
                                          {x - r / 2, y + r}},
                                         true)
                                   .Str()}});
        return;
    case Shape::Play:
        m.Empty("path", {{"class", cls},
                         {"d", PathData().Poly({{x - r * 0.8, y - r}, {x + r, y}, {x - r * 0.8, y + r}}, true).Str()}});
        return;
    case Shape::Tick:
        m.Empty("path", {{"class", cls},
                         {"d", PathData()
                                   .Poly({{x - r * 0.7, y - r}, {x + r * 0.7, y - r}, {x, y}}, true)
                                   .Poly({{x, y}, {x, y + r}}, false)
                                   .Str()}});
        return;
    case Shape::Star: {
        PathData d;
        d.M(x, y - r);
        for (int k = 1; k < 10; ++k) {
            const double angle = 3.14159265358979 * k / 5;
            const double radius = k % 2 == 1 ? r * 0.45 : r;
            d.L(x + radius * std::sin(angle), y - radius * std::cos(angle));
        }
        m.Empty("path", {{"class", cls}, {"d", d.Z().Str()}});
        return;
    }
    case Shape::Check:
        m.Empty("path",
                {{"class", cls},
                 {"d", PathData().Poly({{x - r, y}, {x - r * 0.3, y + r * 0.7}, {x + r, y - r}}, false).Str()}});
        return;
    }
}

const char *MarkStyles()
{
    // Blue #0072B2, vermillion #D55E00, orange #E69F00, reddish purple #CC79A7, sky blue #56B4E9,
    // bluish green #009E73, yellow #F0E442, black.
    return ".m-applied{fill:#0072B2;stroke:#00395a;stroke-width:.8}"
           ".m-refused{fill:none;stroke:#D55E00;stroke-width:2.2}"
           ".m-failed{fill:#E69F00;stroke:#5c3f00;stroke-width:1}"
           ".m-noreply{fill:#fff;stroke:#CC79A7;stroke-width:2.2}"
           ".m-inflight{fill:#fff;stroke:#000;stroke-width:1.2}"
           ".m-config{fill:#0072B2;stroke:#00395a;stroke-width:.8}"
           ".m-linkup{fill:#56B4E9;stroke:#1d5470;stroke-width:1}"
           ".m-linkdown{fill:#fff;stroke:#000;stroke-width:1.2}"
           ".m-avail{fill:#009E73;stroke:#00402e;stroke-width:.8}"
           ".m-unavail{fill:#fff;stroke:#009E73;stroke-width:2}"
           ".m-agentdown{fill:#000;stroke:#000}"
           ".m-agentup{fill:#fff;stroke:#000;stroke-width:1.2}"
           ".m-script{fill:#fff;stroke:#000;stroke-width:1.2}"
           ".m-harole{fill:#F0E442;stroke:#000;stroke-width:1}"
           ".m-libstop{fill:#D55E00;stroke:#000;stroke-width:1}"
           ".m-libstart{fill:#009E73;stroke:#000;stroke-width:1}"
           ".m-tick{fill:#444;stroke:#444;stroke-width:1}"
           ".m-converged{fill:none;stroke:#009E73;stroke-width:2.5}"
           ".m-never{fill:none;stroke:#D55E00;stroke-width:2.5}"
           ".m-cause{fill:#D55E00;stroke:#000;stroke-width:1}"
           ".d-applied{fill:#0072B2}.d-refused{fill:url(#p-refused)}.d-failed{fill:url(#p-failed)}"
           ".d-noreply{fill:url(#p-noreply)}.d-other{fill:#fff;stroke:#000}"
           ".b-link{fill:#56B4E9}.b-nolink{fill:#fff;stroke:#bbb;stroke-width:.6}"
           ".b-down{fill:#1a1a1a}.b-fault{fill:url(#p-fault)}";
}

void MarkPatterns(Markup &m)
{
    const auto pattern = [&m](const char *id, const char *background, const std::string &shapes) {
        m.Open("pattern", {{"id", id}, {"width", "6"}, {"height", "6"}, {"patternUnits", "userSpaceOnUse"}})
            .Empty("rect", {{"width", "6"}, {"height", "6"}, {"fill", background}})
            .Raw(shapes)
            .Close("pattern");
    };
    pattern("p-refused", "#D55E00", "<path d=\"M0 3H6M3 0V6\" stroke=\"#fff\" stroke-width=\"1.2\"/>");
    pattern("p-failed", "#E69F00", "<path d=\"M0 6L6 0M-1 1L1 -1M5 7L7 5\" stroke=\"#000\" stroke-width=\"1\"/>");
    pattern("p-noreply", "#CC79A7", "<circle cx=\"3\" cy=\"3\" r=\"1.3\" fill=\"#fff\"/>");
    pattern("p-fault", "#f6ef8c", "<path d=\"M0 0L6 6M-1 5L1 7M5 -1L7 1\" stroke=\"#a07c00\" stroke-width=\".8\"/>");
}

}  // namespace zsim
