// Every text of a report, made printable: names and texts come from scenario files and may hold any bytes.
#include "report/report.h"
#include "text/printable.h"

namespace zsim {

namespace {

class Escaper {
public:
    void operator()(std::string &text)
    {
        std::string shown = Printable(text);
        if (shown != text) {
            text = std::move(shown);
            ++changed;
        }
    }
    void operator()(std::vector<HeldComp> &comps)
    {
        for (HeldComp &c : comps) {
            (*this)(c.compInstName);
        }
    }
    size_t changed = 0;
};

}  // namespace

size_t MakePrintable(Report &r)
{
    Escaper escape;
    escape(r.scenario);
    escape(r.source);
    for (AgentReport &a : r.agents) {
        escape(a.node);
        for (HeldLoc &l : a.locations) {
            escape(l.LocName);
            escape(l.libState);
            escape(l.comps);
        }
        for (IndexGroup &g : a.otherIndexes) {
            escape(g.comps);
        }
        for (NodeReason &n : a.reasons) {
            if (n.cause) {
                escape(n.cause->what);
            }
        }
    }
    for (DriftItem &d : r.drift) {
        escape(d.node);
        escape(d.name);
        escape(d.why.text);
        if (d.why.cause) {
            escape(d.why.cause->what);
        }
        for (Difference &diff : d.differences) {
            escape(diff.heldText);
            escape(diff.configuredText);
        }
    }
    for (KindCost &k : r.cost.kinds) {
        escape(k.largestWhat);
    }
    for (std::vector<AtomNote> *notes : {&r.ignored, &r.rejected}) {
        for (AtomNote &n : *notes) {
            escape(n.reason);
        }
    }
    return escape.changed;
}

}  // namespace zsim
