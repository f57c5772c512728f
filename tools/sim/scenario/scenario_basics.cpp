// Small helpers of the scenario model: errors, durations, OS-node identifiers, class names, atom keys.
#include <fmt/format.h>

#include <cstdlib>

#include "scenario/scenario.h"
#include "text/printable.h"

namespace zsim {

std::string Place(const std::string &file, Mark mark)
{
    if (mark.line <= 0) {
        return file;
    }
    return fmt::format("{}:{}:{}", file, mark.line, mark.col);
}

ScenarioError::ScenarioError(std::string f, Mark m, const std::string &msg)
    : std::runtime_error(Place(f, m) + ": " + msg), file(std::move(f)), mark(m), message(msg)
{}

TimeValue ReadTime(const std::string &text)
{
    // Digits with at most one decimal point, then a unit: no signs, exponents or hexadecimal. Counted in
    // integers, so that "1.001s" is exactly 1001 ms.
    const size_t numberEnd = text.find_first_not_of("0123456789.");
    const std::string number = text.substr(0, numberEnd);
    const std::string unit = numberEnd == std::string::npos ? "" : text.substr(numberEnd);
    const size_t point = number.find('.');
    std::string whole = number.substr(0, point);
    std::string fraction = point == std::string::npos ? "" : number.substr(point + 1);
    if (whole.empty() && fraction.empty()) {
        return {0, TimeError::Malformed};
    }
    if (fraction.find('.') != std::string::npos) {
        return {0, TimeError::Malformed};
    }
    const std::pair<const char *, uint64_t> units[] = {{"", 1},      {"ms", 1},      {"s", 1000},
                                                       {"m", 60000}, {"min", 60000}, {"h", 3600000}};
    uint64_t scale = 0;
    for (const auto &[name, ms] : units) {
        scale = unit == name ? ms : scale;
    }
    if (scale == 0) {
        return {0, TimeError::Malformed};
    }
    whole.erase(0, whole.find_first_not_of('0'));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (whole.size() > 12) {
        return {0, TimeError::TooLarge};
    }
    if (fraction.size() > 9) {
        return {0, TimeError::NotWhole};
    }
    uint64_t tenths = 1;
    for (size_t i = 0; i < fraction.size(); ++i) {
        tenths *= 10;
    }
    const uint64_t part = fraction.empty() ? 0 : std::strtoull(fraction.c_str(), nullptr, 10) * scale;
    const uint64_t ms = (whole.empty() ? 0 : std::strtoull(whole.c_str(), nullptr, 10)) * scale + part / tenths;
    if (ms > kMaxTime) {
        return {0, TimeError::TooLarge};
    }
    if (part % tenths != 0) {
        return {0, TimeError::NotWhole};
    }
    return {ms, TimeError::None};
}

std::string TimeProblem(const std::string &what, const std::string &text, TimeError error)
{
    switch (error) {
    case TimeError::TooLarge:
        return what + " " + Quoted(text) + " is too large: at most 24h";
    case TimeError::NotWhole:
        return what + " " + Quoted(text) + " is not a whole number of milliseconds";
    case TimeError::Malformed:
    case TimeError::None:
        break;
    }
    return what + " must be a time such as 250, 250ms, 5s or 1.5m, not " + Quoted(text);
}

std::string IndexText(uint32_t index)
{
    return index == kInvalidIndex ? "invalid" : fmt::format("{}", index);
}

uint32_t OsNodeIdOf(uint32_t chassis, uint32_t slot, uint32_t cpu)
{
    // A sum, not an OR: a slot above 255 carries into the chassis byte, as the node-status service counts.
    return ((cpu << 16) + (chassis << 8) + slot) & 0xFFFFFFu;
}

const char *ClassName(CfgClass cls)
{
    switch (cls) {
    case CfgClass::Location:
        return "location";
    case CfgClass::LogicGroup:
        return "logicGroup";
    case CfgClass::Component:
        return "component";
    case CfgClass::CompNode:
        return "compNode";
    }
    return "?";
}

std::string AtomKey(AtomRef a)
{
    switch (a.cls) {
    case CfgClass::Location:
        return fmt::format("LocId {}", a.Loc().LocId);
    case CfgClass::LogicGroup:
        return fmt::format("locIndex {}", a.Grp().locIndex);
    case CfgClass::Component:
        return fmt::format("{}/{}", a.Comp().locIndex, a.Comp().compInst);
    case CfgClass::CompNode:
        return fmt::format("compType {}", a.Node().compType);
    }
    return "?";
}

const char *AtomOpName(uint16_t opCode)
{
    return opCode == ZELM_CFG_OP_ADD   ? "add"
           : opCode == ZELM_CFG_OP_MOD ? "update"
           : opCode == ZELM_CFG_OP_DEL ? "delete"
                                       : "op";
}

std::string AgentChangeText(const AgentChange &c)
{
    std::string s;
    const auto note = [&s](const std::string &w) { s += (s.empty() ? "" : ", ") + w; };
    const std::pair<const std::optional<uint32_t> &, const char *> counts[] = {{c.refuse, "refuse next "},
                                                                               {c.refuseStatus, "refusal status "},
                                                                               {c.fail, "fail next "},
                                                                               {c.failResult, "failure result "},
                                                                               {c.noReply, "no reply to next "},
                                                                               {c.result, "result "}};
    for (const auto &[value, what] : counts) {
        if (value) {
            note(fmt::format("{}{}", what, *value));
        }
    }
    if (c.latency) {
        note(fmt::format("latency {} ms", *c.latency));
    }
    if (c.down) {
        note(*c.down ? "down" : "up");
    }
    return s;
}

uint32_t ClassId(CfgClass cls)
{
    switch (cls) {
    case CfgClass::Location:
        return ZELM_CLASS_LOCATION;
    case CfgClass::LogicGroup:
        return ZELM_CLASS_LOGIC_LOC_GRP;
    case CfgClass::Component:
        return ZELM_CLASS_COMPONENT;
    case CfgClass::CompNode:
        return ZELM_CLASS_COMP_NODE;
    }
    return 0;
}

}  // namespace zsim
