// Describing timeline events for the page's hover details.
#include "timeline/timeline_events.h"

#include "run/config_model.h"
#include "text/units.h"

#include <fmt/format.h>

#include <iterator>

namespace zsim {

namespace {

constexpr size_t kAtomsShown = 12;

std::string Origin(const Event &ev)
{
    return ev.origin == EventOrigin::Implied     ? " (the end of a downFor)"
           : ev.origin == EventOrigin::Generated ? " (generated)"
                                                 : "";
}

// The name an atom's record carries, if it has one.
std::string AtomName(AtomRef a)
{
    switch (a.cls) {
    case CfgClass::Location:
        return FieldText(a.Loc().LocName);
    case CfgClass::Component:
        return FieldText(a.Comp().compInstName);
    case CfgClass::CompNode:
        return FieldText(a.Node().compTypeName);
    case CfgClass::LogicGroup:
        break;
    }
    return "";
}

void NotesAt(std::vector<std::string> &lines, const char *what, const std::vector<AtomNote> &notes, Ms at)
{
    size_t shown = 0;
    for (const AtomNote &n : notes) {
        if (n.at == at && shown++ < kAtomsShown) {
            lines.push_back(std::string(what) + ": " + ClassName(n.cls) + " " + n.key + ": " + n.reason);
        }
    }
    if (shown > kAtomsShown) {
        lines.push_back(fmt::format("{}: ... and {} more at this time", what, shown - kAtomsShown));
    }
}

}  // namespace

const char *EventRowLabel(EventRow row)
{
    switch (row) {
    case EventRow::Config:
        return "configuration";
    case EventRow::Status:
        return "links, locations";
    case EventRow::Agent:
        return "agents";
    case EventRow::Cluster:
        return "HA role, library";
    }
    return "";
}

EventRow RowOf(const Event &ev)
{
    switch (ev.kind) {
    case EventKind::Config:
        return EventRow::Config;
    case EventKind::Link:
    case EventKind::LocationStatus:
        return EventRow::Status;
    case EventKind::Agent:
        return EventRow::Agent;
    default:
        return EventRow::Cluster;
    }
}

MarkKind MarkOfEvent(const Event &ev)
{
    switch (ev.kind) {
    case EventKind::Config:
        return MarkKind::Config;
    case EventKind::Link:
        return ev.up ? MarkKind::LinkUp : MarkKind::LinkDown;
    case EventKind::LocationStatus:
        return ev.up ? MarkKind::Available : MarkKind::NotAvailable;
    case EventKind::Agent:
        return !ev.agent.down ? MarkKind::AgentScript : *ev.agent.down ? MarkKind::AgentDown : MarkKind::AgentUp;
    case EventKind::HaRole:
        return MarkKind::HaRole;
    case EventKind::LibraryStop:
        return MarkKind::LibraryStop;
    case EventKind::LibraryStart:
    case EventKind::LibraryRestart:
        break;
    }
    return MarkKind::LibraryStart;
}

std::string EventHeadline(const Scenario &sc, const Event &ev)
{
    std::string s = Seconds(ev.at) + " ";
    const std::string node = ev.node < sc.nodes.size() ? sc.nodes[ev.node].name : "?";
    switch (ev.kind) {
    case EventKind::Config:
        s += "configuration message, " + Plural(ev.atoms.size(), "atom", "atoms");
        break;
    case EventKind::Link:
        s += "link " + node + (ev.up ? " up" : " down");
        break;
    case EventKind::LocationStatus:
        s += "location status from " + node + ": " + ev.service +
             (!ev.up ? " not available" : " available, index " + IndexText(ev.locIndex));
        break;
    case EventKind::Agent:
        s += "agent " + node + ": " + AgentChangeText(ev.agent);
        break;
    case EventKind::HaRole:
        fmt::format_to(std::back_inserter(s), "HA role {} ({})", ev.haRole,
                       ev.haRole == 0 ? "publication allowed" : "publication forbidden");
        break;
    case EventKind::LibraryStop:
        s += "library stop";
        break;
    case EventKind::LibraryStart:
        s += ev.replay ? "library start" : "library start without replay";
        break;
    case EventKind::LibraryRestart:
        s += "library restart";
        break;
    }
    return s + Origin(ev);
}

std::vector<std::string> EventDetails(const Scenario &sc, const Report &r, const Event &ev)
{
    std::vector<std::string> lines{EventHeadline(sc, ev)};
    size_t shown = 0;
    for (auto it = ev.atoms.begin(); it != ev.atoms.end() && shown < kAtomsShown; ++it, ++shown) {
        const AtomRef a = *it;
        const std::string name = AtomName(a);
        lines.push_back(fmt::format("  {} {} {} seq {}{}{}", ClassName(a.cls), AtomKey(a), AtomOpName(a.opCode), a.seq,
                                    name.empty() ? "" : " ", name));
    }
    if (ev.atoms.size() > kAtomsShown) {
        lines.push_back(fmt::format("  ... and {} more", ev.atoms.size() - kAtomsShown));
    }
    if (ev.kind == EventKind::Config) {
        NotesAt(lines, "ignored", r.ignored, ev.at);
        NotesAt(lines, "rejected", r.rejected, ev.at);
    }
    return lines;
}

}  // namespace zsim
