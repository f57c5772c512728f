// Model-based test: random histories of configuration, links, agent answers, ticks and HA roles against the model.
//
// Calls stay in flight across steps until a settle or a tick completes them,
// so completions meet deleted records, downed links and moved indexes. After
// every step the library must be where the model says (lib_world.h): records,
// flags, timers, links, what each agent holds, pending calls, and the host
// blocks and text copies they account for, so every request is released
// exactly once. Each history ends by healing the world (agents accept, HA role
// allows, links up) and two ticks, checked the same way: the flags left are the
// model's. The host allocator fills every new block with garbage. RC_PARAMS
// sets the number and length of histories.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <vector>

#include "support/lib_world.h"

namespace {

using zt::AgentMode;
using zt::Step;
using zt::StepKind;

// Three OS nodes: A and B with agents, C without. B's slot carries into the chassis byte of its identifier.
const std::vector<zt::NodeDecl> kCluster = {{1, 1, 0, true}, {1, 300, 0, true}, {1, 3, 0, false}};
const uint32_t kNodeA = STANDIN_OsNodeId(1, 1, 0);
const uint32_t kNodeB = STANDIN_OsNodeId(1, 300, 0);
const uint32_t kNodeC = STANDIN_OsNodeId(1, 3, 0);

rc::Gen<uint16_t> OpCodes()
{
    return rc::gen::weightedElement<uint16_t>({{5, 0}, {2, 1}, {4, 2}, {1, 3}});
}
rc::Gen<uint32_t> LocIndexes()
{
    return rc::gen::element<uint32_t>(1, 2, 3);
}
rc::Gen<uint32_t> CompTypes()
{
    return rc::gen::element<uint32_t>(3, 5, 6, 207);
}

// A variant number tells two records of the same key apart in every carried field.
Step ConfigStep(StepKind kind)
{
    Step s;
    s.kind = kind;
    s.opCode = *OpCodes();
    const uint32_t v = *rc::gen::inRange<uint32_t>(0, 4);
    const std::string tag = std::string("v") + std::to_string(v);
    // Now and then a name that fills its whole field, without a NUL.
    const auto name = [&](const std::string &text, size_t width) {
        return *rc::gen::weightedElement<std::string>({{5, text}, {1, std::string(width, text[0])}});
    };
    switch (kind) {
    case StepKind::Location:
        s.loc.LocId = *LocIndexes();
        // The high byte of OsInst is not part of the OS node.
        s.loc.OsInst = *rc::gen::element(kNodeA, kNodeB, kNodeC, kNodeA | 0x01000000u);
        for (uint32_t *field : {&s.loc.LocType, &s.loc.LocGrp, &s.loc.LocParam1, &s.loc.Lrid, &s.loc.LocParam2,
                                &s.loc.LocParam3, &s.loc.LocParam4, &s.loc.LocParam5, &s.loc.LocParam6}) {
            *field = v * 0x100 + static_cast<uint32_t>(field - &s.loc.LocType);
        }
        zt::SetText(s.loc.LocName, name(std::string("loc") + std::to_string(s.loc.LocId) + tag, sizeof(s.loc.LocName)));
        zt::SetText(s.loc.imageName, *rc::gen::weightedElement<std::string>({{5, "app.service"}, {1, "app.bin"}}));
        zt::SetText(s.loc.LocExtName, name("ext" + tag, sizeof(s.loc.LocExtName)));
        break;
    case StepKind::Group:
        s.grp = {*LocIndexes(), *rc::gen::element<uint32_t>(10, 11), v, v + 1, 7, 0xFFFFFFFFu};
        break;
    case StepKind::CompNode:
        s.compNode.compType = *CompTypes();
        s.compNode.compClass = *rc::gen::weightedElement<uint32_t>({{1, 0}, {4, 1}, {1, 2}});
        zt::SetText(s.compNode.compTypeName, name(std::string("type") + std::to_string(s.compNode.compType) + tag, 32));
        zt::SetText(s.compNode.compFileName, name("file" + tag + ".bin", sizeof(s.compNode.compFileName)));
        zt::SetText(s.compNode.compExtName, name("ext" + tag, sizeof(s.compNode.compExtName)));
        break;
    default:
        s.comp.locIndex = *LocIndexes();
        s.comp.compInst = *rc::gen::element<uint32_t>(1, 2);
        s.comp.compType = *CompTypes();
        s.comp.cfgStatus = *rc::gen::weightedElement<int32_t>({{6, INT32_MIN}, {1, -1}, {1, 0}, {1, INT32_MAX}});
        for (uint32_t *field : {&s.comp.attr1, &s.comp.attr2, &s.comp.attr3, &s.comp.attr4, &s.comp.attr5,
                                &s.comp.attr6, &s.comp.attr7, &s.comp.attr8, &s.comp.attr9}) {
            *field = v * 0x100 + static_cast<uint32_t>(field - &s.comp.attr1);
        }
        zt::SetText(s.comp.compInstName, name(std::string("comp") + std::to_string(s.comp.locIndex) + "." +
                                                  std::to_string(s.comp.compInst) + tag,
                                              sizeof(s.comp.compInstName)));
        break;
    }
    return s;
}

Step EventStep(StepKind kind)
{
    Step s;
    s.kind = kind;
    s.node = *rc::gen::element(kNodeA, kNodeB, kNodeC);
    switch (kind) {
    case StepKind::OsNodeLink:
        s.on = *rc::gen::weightedElement<bool>({{3, true}, {1, false}});
        break;
    case StepKind::LocationStatus:
        // A name of 64 characters does not fit a link key with its NUL; one of 63 does.
        s.service = *rc::gen::weightedElement<std::string>(
            {{4, "s1"}, {4, "s2"}, {1, std::string(63, 'n')}, {1, std::string(64, 'n')}});
        s.index = *rc::gen::weightedElement<uint32_t>({{3, 1}, {3, 2}, {3, 3}, {1, ZELM_INVALID_LOC_INDEX}});
        s.on = *rc::gen::weightedElement<bool>({{4, true}, {1, false}});
        break;
    case StepKind::Agent:
        s.node = *rc::gen::element(kNodeA, kNodeB);
        s.mode = *rc::gen::weightedElement<AgentMode>({{3, AgentMode::Accept},
                                                       {2, AgentMode::Fail},
                                                       {1, AgentMode::NoReply},
                                                       {1, AgentMode::Refuse},
                                                       {1, AgentMode::Down}});
        s.value = 5;
        break;
    case StepKind::HaRole:
        s.value = *rc::gen::element<uint32_t>(0, 1);
        break;
    default:
        break;
    }
    return s;
}

Step AnyStep()
{
    const auto kind = *rc::gen::element(StepKind::Location, StepKind::Group, StepKind::CompNode, StepKind::Component,
                                        StepKind::OsNodeLink, StepKind::LocationStatus, StepKind::Agent,
                                        StepKind::Settle, StepKind::Tick, StepKind::HaRole);
    return kind <= StepKind::Component ? ConfigStep(kind) : EventStep(kind);
}

// One check tail for every step: the library and the model take it, then must agree.
void Take(zt::World &world, zt::LibModel &model, const Step &step)
{
    const std::string trouble = zt::RunStep(step);
    RC_ASSERT(trouble.empty());
    model.Apply(step);
    const std::string mismatch = world.Mismatch(model);
    if (!mismatch.empty()) {
        RC_FAIL(mismatch);
    }
}

// Stops whatever a failed history left running, so that the next one starts clean.
struct StopAtExit {
    const zt::World &world;
    ~StopAtExit()
    {
        (void)world.End();
        STANDIN_Reset();
    }
};

}  // namespace

RC_GTEST_PROP(ModelTest, LibraryFollowsTheModelThroughRandomHistories, ())
{
    zt::World world;
    StopAtExit stop{world};
    zt::LibModel model;
    // On a host allocator that fills new blocks with garbage: nothing may rely on memory it did not write.
    RC_ASSERT(world.Begin(model, kCluster, [] { STANDIN_HostFillWithGarbage(1); }));
    // Every OS node linked and two locations reachable, so that publication begins with the first records.
    const auto link = [](uint32_t node) { return Step{.kind = StepKind::OsNodeLink, .node = node, .on = true}; };
    const auto available = [](uint32_t node, const char *service, uint32_t index) {
        return Step{.kind = StepKind::LocationStatus, .node = node, .on = true, .service = service, .index = index};
    };
    for (const Step &step :
         {link(kNodeA), link(kNodeB), link(kNodeC), available(kNodeA, "s1", 1), available(kNodeB, "s2", 2)}) {
        Take(world, model, step);
    }
    for (const Step &step : *rc::gen::container<std::vector<Step>>(rc::gen::exec(&AnyStep))) {
        Take(world, model, step);
    }
    // Heal: every agent accepts, publishing is allowed, every link comes up; then two ticks.
    const Step settle = {.kind = StepKind::Settle};
    const Step tick = {.kind = StepKind::Tick};
    for (const Step &step : {settle, Step{.kind = StepKind::Agent, .node = kNodeA},
                             Step{.kind = StepKind::Agent, .node = kNodeB}, Step{.kind = StepKind::HaRole},
                             link(kNodeA), settle, link(kNodeB), settle, link(kNodeC), settle, tick, tick}) {
        Take(world, model, step);
    }
    const std::string left = world.End();
    RC_ASSERT(left.empty());
}
