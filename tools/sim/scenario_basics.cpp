// Small helpers of the scenario model: errors, durations, virtual time, OS-node identifiers, class names.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "scenario.h"

namespace zsim {

namespace {

std::string Where(const std::string &file, Mark mark)
{
    if (mark.line <= 0) {
        return file;
    }
    return file + ":" + std::to_string(mark.line) + ":" + std::to_string(mark.col);
}

}  // namespace

ScenarioError::ScenarioError(std::string f, Mark m, const std::string &msg)
    : std::runtime_error(Where(f, m) + ": " + msg), file(std::move(f)), mark(m), message(msg)
{
}

std::optional<Ms> ParseDuration(const std::string &text)
{
    if (text.empty() || text.front() == '-' || text.front() == '+') {
        return std::nullopt;
    }
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(value) || value < 0) {
        return std::nullopt;
    }
    const std::string unit(end);
    double scale = 0;
    if (unit.empty() || unit == "ms") {
        scale = 1;
    } else if (unit == "s") {
        scale = 1000;
    } else if (unit == "m" || unit == "min") {
        scale = 60000;
    } else if (unit == "h") {
        scale = 3600000;
    } else {
        return std::nullopt;
    }
    const double ms = value * scale;
    // Durations are whole milliseconds, well within what the virtual clock counts.
    if (ms != std::floor(ms) || ms > 1e15) {
        return std::nullopt;
    }
    return static_cast<Ms>(ms);
}

std::string FormatTime(Ms t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu.%03llu", static_cast<unsigned long long>(t / 1000),
                  static_cast<unsigned long long>(t % 1000));
    return buf;
}

uint32_t OsNodeIdOf(uint32_t chassis, uint32_t slot, uint32_t cpu)
{
    // A sum, not an OR: a slot above 255 carries into the chassis byte, as the node-status service counts.
    return ((cpu << 16) + (chassis << 8) + slot) & 0xFFFFFFu;
}

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%#x", v);
    return buf;
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
