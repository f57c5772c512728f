// The tables of a scenario's keys and words, whole: for the reader's messages and the schema's test.
#include "scenario/scenario_keys.h"

#include "scenario/scenario_fields.h"

namespace zsim {

namespace {

constexpr CfgClass kClasses[] = {CfgClass::Location, CfgClass::LogicGroup, CfgClass::Component, CfgClass::CompNode};

NamedTable Table(const char *name, std::span<const char *const> entries)
{
    return {name, {entries.begin(), entries.end()}};
}

}  // namespace

std::vector<const char *> AtomKeys(CfgClass cls)
{
    std::vector<const char *> keys = {"class", "opCode", "seq"};
    for (const FieldDesc &f : FieldsOf(cls)) {
        keys.push_back(f.name);
    }
    return keys;
}

std::vector<const char *> ClassNames()
{
    std::vector<const char *> names;
    for (const CfgClass c : kClasses) {
        names.push_back(ClassName(c));
    }
    return names;
}

std::vector<NamedTable> ScenarioMapKeys()
{
    std::vector<NamedTable> tables = {
        Table("scenario", kScenarioKeys), Table("report", kReportKeys),   Table("node", kNodeKeys),
        Table("event", kEventKeys),       Table("link", kLinkKeys),       Table("locationStatus", kLocationStatusKeys),
        Table("agent", kAgentKeys),       Table("library", kLibraryKeys), Table("generate", kGenerateKeys),
        Table("explore", kExploreKeys),   Table("window", kWindowKeys),
    };
    for (const CfgClass c : kClasses) {
        tables.push_back(Table(ClassName(c), AtomKeys(c)));
    }
    return tables;
}

std::vector<NamedTable> ScenarioWords()
{
    return {Table("class", ClassNames()), Table("faultKind", FaultKindNames()), Table("holdings", kHoldingsValues),
            Table("opCodeName", kOpCodeNames), Table("libraryAction", kLibraryActions)};
}

}  // namespace zsim
