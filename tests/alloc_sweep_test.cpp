// Allocation-failure sweep: every host allocation and every text copy of the library, failed one by one.
//
// Each scenario runs once to count what it allocates, then once more for every
// k with the k-th host allocation failing (once, and from then on), and with
// the k-th text copy (strdup/strndup, interposed below) failing. After every
// run the library is stopped the way a host must stop it (pending calls failed
// first): nothing may be left, and the failure must have been reported by
// each operation on its way up that reports one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/lorn.h"
#include "support/lib_frames.h"
#include "support/lib_sources.h"
#include "support/sweep_scenarios.h"
#include "support/zelm_test.h"

namespace {

enum class Kind { Host, Text };
enum class Mode { Count, FailOnce, FailFrom };

struct Sweep {
    Kind kind = Kind::Host;
    Mode mode = Mode::Count;
    uint64_t k = 0;
    bool armed = false;  // text copies are counted only while a scenario runs
    uint64_t textCalls = 0;
    bool recordSites = false;
    // what the counting runs reached
    std::map<std::string, std::set<uintptr_t>> hostSites;  // exported function -> return addresses
    std::set<std::string> hostPaths;
    std::set<std::string> textFields;
    std::set<std::string> textFunctions;  // strdup, strndup
    // the run's first injected failure
    bool failed = false;
    std::vector<zt::LibFrame> failedChain;
};

Sweep g_sweep;

// Scenario texts carry their field's name as a tag, so a copy tells which field it is.
std::string FieldOfText(const char *text)
{
    static const std::pair<const char *, const char *> kTags[] = {
        {"LN-", "LocName"},      {"IM-", "imageName"},    {"LX-", "LocExtName"},   {"TN-", "compTypeName"},
        {"FN-", "compFileName"}, {"EX-", "compExtName"},  {"CI-", "compInstName"},
    };
    for (const auto &[tag, field] : kTags) {
        if (std::strncmp(text, tag, 3) == 0) {
            return field;
        }
    }
    return std::string("untagged:") + text;
}

void *SweepMalloc(size_t size)
{
    void *block = STANDIN_HostMalloc(size);
    if (g_sweep.kind != Kind::Host) {
        return block;
    }
    if (g_sweep.recordSites) {
        const std::vector<zt::LibFrame> chain = zt::LibraryChain();
        if (!chain.empty()) {
            g_sweep.hostSites[chain[0].func].insert(chain[0].ret);
            g_sweep.hostPaths.insert(chain.size() > 1 ? chain[0].func + "<-" + chain[1].func : chain[0].func);
        }
    }
    if (block == nullptr && !g_sweep.failed && STANDIN_HostAllocCount() == g_sweep.k) {
        g_sweep.failed = true;
        g_sweep.failedChain = zt::LibraryChain();
    }
    return block;
}

void SweepFree(void *block) { STANDIN_HostFree(block); }

char *CopyText(const char *text, size_t len, const void *caller, const char *function)
{
    if (g_sweep.armed && g_sweep.kind == Kind::Text && zt::InLibrary(caller)) {
        const uint64_t n = ++g_sweep.textCalls;
        // An empty text (the compNode record of zeros that types 3 and 207 use) names no field.
        if (g_sweep.recordSites && text[0] != '\0') {
            g_sweep.textFields.insert(FieldOfText(text));
            g_sweep.textFunctions.insert(function);
        }
        const bool fail = (g_sweep.mode == Mode::FailOnce && n == g_sweep.k) ||
                          (g_sweep.mode == Mode::FailFrom && n >= g_sweep.k);
        if (fail) {
            if (!g_sweep.failed) {
                g_sweep.failed = true;
                g_sweep.failedChain = zt::LibraryChain();
            }
            return nullptr;
        }
    }
    // malloc + memcpy: the copy stays releasable with free(), as the library releases it.
    auto *copy = static_cast<char *>(std::malloc(len + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, len);
        copy[len] = '\0';
    }
    return copy;
}

}  // namespace

// The test executable's own text copies: the library's strdup/strndup calls land here.
extern "C" char *strdup(const char *text) noexcept
{
    return CopyText(text, std::strlen(text), __builtin_return_address(0), "strdup");
}

extern "C" char *strndup(const char *text, size_t max) noexcept
{
    return CopyText(text, strnlen(text, max), __builtin_return_address(0), "strndup");
}

namespace {

// What an operation on a failure's way up logs about it: `callee` is the
// operation below it in the chain ("" when the operation's own allocation or
// copy failed, "*" for any).
struct Report {
    const char *func;
    const char *callee;
    const char *body;
    bool failsAtom = false;  // the configuration atom being handled is answered with 0xFFFFFFFF
};

constexpr Report kReports[] = {
    {"ZELM_Init", "", "[ZELM]init failed. alloc local data is error."},
    {"ZELM_Init", "ZelmInitMods", "[ZELM]init failed. init modes error."},
    {"ZelmInitMods", "*", "zelm init, create mod %u fail"},
    {"ZELM_RegisterMsgTable", "", "[ZELM] register msgTable failed. create msgTable error."},
    {"ZELM_LINK_Init", "", "[ZELM]init link cb failed."},
    {"ZELM_LINK_Init", "ZEL_AVL_Create", "[ZELM]init link failed. location tree create error"},
    {"ZELM_LOCATION_Init", "", "[ZELM] locationInst init failed. create locationInst cb error."},
    {"ZELM_LOCATION_Init", "ZELM_LOCATION_InitTree", "[ZELM] locationInst init tree failed."},
    {"ZELM_COMP_Init", "", "[ZELM] comp init failed. create comp cb error."},
    {"ZELM_COMP_Init", "ZELM_LINK_SubLocationLink", "[ZELM] comp init failed. sub location link error."},
    {"ZELM_COMP_Init", "ZEL_AVL_Create", "[ZELM] comp init failed. create location tree or comp tree error."},
    {"ZelmCompLocationTreeInit", "ZEL_AVL_Create", "zelm comp, location tree create failed"},
    {"ZelmLinkLocationAvailable", "ZelmLinkAddLocation",
     "zelm link osNode %u service %s add failed, add link location error."},
    {"ZelmProcCreateLocation", "ZelmTryAddLocationInst",
     "zelm location, add inst by instcfg failed. locInstName %s(osnode %u) locIndex %u", true},
    {"ZelmProcTuvCreateLogicLocGrp", "ZelmTryAddLogicGrpInst",
     "zelm LogicLocGrp, add inst by instcfg failed. locIndex %u (logicId %u) faultPolicy %u", true},
    {"ZelmLocSubOsNodeLink", "ZelmLocTryAddOsNode", "zelm locationInst, sub osNodeId(%#x) link, add osNodeInst fail"},
    {"ZELM_COMP_AddComponentByInstCfg", "ZelmCompTryAddLocation",
     "zelm comp, add comp by instcfg failed. compInstName %s(%u) locIndex %u", true},
    {"ZELM_COMP_AddComponentByInstCfg", "ZelmLocationTryAddComp",
     "zelm comp, add comp inst to location failed. compInstName %s(%u) locIndex %u", true},
    {"ZelmCompSubLocationLink", "ZelmCompTryAddLocation", "zelm comp, sub location(locIndex %u) link, add location fail"},
    {"ZELM_COMP_UpdateCompNodeByCfg", "ZELM_COMP_SetCompNodeCfg",
     "zelm comp, add compNode by cfg failed. compType (%u) compTypeName (%s) compFileName(%s)", true},
    {"ZelmLocPublishLocationInst", "", "zelm publish location inst to korb failed, malloc locationList list error."},
    {"ZelmLocPublishLocationInst", "ZelmSetZelLocationInstMsg",
     "zelm publish location inst to korb failed, set %u locationInst msg error."},
    {"ZelmSetZelLocationInstMsg", "", "zelm set location inst msg failed, strdup %s msg name error."},
    {"ZelmTryPublishLocationInst", "ZelmLocPublishLocationInst",
     "zelm publish opType %u locationInst not ok. locName %s(osnode:%u) locIndex %u"},
    {"ZelmLocTrySmoothOsnodeInst", "", "zelm osNodeInst(osNodeId %u) malloc locInsts(num %u) error."},
    {"ZelmLocTrySmoothOsnodeInst", "ZelmLocPublishLocationInst", "zelm osNodeId(%u) publish smooth locationInst not ok."},
    {"ZelmCompPublishComponent", "", "zelm publish component to sdk failed, malloc comp list error."},
    {"ZelmCompPublishComponent", "ZelmSetZelComponentMsg", "zelm publish component to sdk failed, set %u comp msg error."},
    {"ZelmSetZelComponentMsg", "", "zelm set ZelComponent msg failed, strdup comp %s msg name error."},
    {"ZelmCompTryPublishComponent", "ZelmCompPublishComponent", "zelm publish comp not ok.compInstName %s(%u) locIndex %u"},
    {"ZelmCompTrySmoothComponent", "", "zelm comp, location(locIndex %u) malloc compNodes(num %u) error."},
};

// Error lines of a run without injected failure: the stop's own line, and a
// completion that finds its location withdrawn meanwhile.
const std::set<std::string> kCleanRunErrors = {"ZelmFInitMods", "ZelmCompPublishUpdationDone",
                                               "ZelmLocationPublishUpdationDone"};

// A printf format as a pattern for the formatted body.
std::regex FormatPattern(const std::string &format)
{
    static const std::regex conversion(R"(%[#0-9.]*[a-z])");
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern;
    size_t from = 0;
    for (auto it = std::sregex_iterator(format.begin(), format.end(), conversion); it != std::sregex_iterator(); ++it) {
        pattern += std::regex_replace(format.substr(from, static_cast<size_t>(it->position()) - from), special, R"(\$&)");
        pattern += ".*";
        from = static_cast<size_t>(it->position() + it->length());
    }
    pattern += std::regex_replace(format.substr(from), special, R"(\$&)");
    return std::regex(pattern);
}

bool HasErrorLine(const std::vector<zt::LogLine> &log, const char *func, const char *format)
{
    const std::regex pattern = FormatPattern(format);
    for (const zt::LogLine &l : log) {
        if (l.level == LORN_LEVEL_ERROR && l.func == func && std::regex_match(l.body, pattern)) {
            return true;
        }
    }
    return false;
}

// The reports the chain of a failure must have produced, innermost first.
std::vector<const Report *> ExpectedReports(const std::vector<zt::LibFrame> &chain)
{
    std::vector<const Report *> reports;
    for (size_t i = 0; i < chain.size(); ++i) {
        const std::string callee = (i == 0) ? "" : chain[i - 1].func;
        for (const Report &r : kReports) {
            if (chain[i].func == r.func && (callee == r.callee || std::string(r.callee) == "*")) {
                reports.push_back(&r);
            }
        }
    }
    return reports;
}

struct Totals {
    uint64_t runs[2][3] = {};  // [kind][mode]
};

Totals g_totals;

class AllocSweepTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        g_sweep = Sweep{};
        STANDIN_Reset();
    }

    // One run of the scenario under the given injection. Returns how many
    // host allocations (Kind::Host) or library text copies (Kind::Text) it made.
    uint64_t Run(const zt::SweepScenario &scenario, Kind kind, Mode mode, uint64_t k)
    {
        STANDIN_Reset();
        g_sweep.kind = kind;
        g_sweep.mode = mode;
        g_sweep.k = k;
        g_sweep.textCalls = 0;
        g_sweep.failed = false;
        g_sweep.failedChain.clear();
        g_sweep.recordSites = (mode == Mode::Count);
        if (kind == Kind::Host && mode == Mode::FailOnce) {
            STANDIN_HostFailNth(k);
        } else if (kind == Kind::Host && mode == Mode::FailFrom) {
            STANDIN_HostFailFrom(k);
        }

        g_sweep.armed = true;
        const uint32_t initStatus = ZELM_Init(SweepMalloc, SweepFree);
        scenario.body();
        g_sweep.armed = false;
        const uint64_t made = (kind == Kind::Host) ? STANDIN_HostAllocCount() : g_sweep.textCalls;
        // The host's part of stopping: no call may still be pending when the library goes.
        STANDIN_RpcFailPending(1);
        ZELM_FInit();
        g_sweep.recordSites = false;

        const std::string what = std::string(scenario.name) + (kind == Kind::Host ? " host" : " text") +
                                 (mode == Mode::FailFrom ? " from " : " at ") + std::to_string(k) + " (" +
                                 zt::ChainText(g_sweep.failedChain) + ")";
        CheckStopped(what);
        if (mode == Mode::Count) {
            CheckCleanRun(what, initStatus);
        } else {
            CheckFailureHandled(what, initStatus, mode);
        }
        ++g_totals.runs[static_cast<int>(kind)][static_cast<int>(mode)];
        return made;
    }

    static void CheckStopped(const std::string &what)
    {
        EXPECT_EQ(ZELM_GetLocalData(), nullptr) << what;
        EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u) << what << ": host blocks left after ZELM_FInit";
        EXPECT_EQ(STANDIN_RpcPendingCount(), 0u) << what;
        EXPECT_EQ(STANDIN_TimerAliveCount(), 0u) << what << ": timer left after ZELM_FInit";
        EXPECT_EQ(STANDIN_TimerAttrAliveCount(), 0u) << what;
        EXPECT_EQ(STANDIN_MsgAliveCount(), 0u) << what << ": reply never released";
        EXPECT_EQ(STANDIN_MsgBadFreeCount(), 0u) << what;
        EXPECT_EQ(STANDIN_KormOsNodeSubscribed(), 0) << what;
        EXPECT_EQ(STANDIN_KormLocationSubscribed(), 0) << what;
#if defined(__SANITIZE_ADDRESS__)
        EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << what << ": text copies leaked";
#endif
    }

    static void CheckCleanRun(const std::string &what, uint32_t initStatus)
    {
        ASSERT_EQ(initStatus, 0u) << what;
        for (const zt::LogLine &l : zt::PlainLog()) {
            EXPECT_TRUE(l.level != LORN_LEVEL_ERROR || kCleanRunErrors.count(l.func) != 0)
                << what << ": " << l.func << ": " << l.body;
        }
        for (size_t i = 0; i < STANDIN_ReplyCount(); ++i) {
            const STANDIN_Reply *reply = STANDIN_ReplyGet(i);
            EXPECT_EQ(reply->hasRetCode, 0u) << what;
            for (size_t j = 0; j < reply->opInfoNum; ++j) {
                EXPECT_EQ(reply->opInfos[j].code, 0u) << what << " reply " << i << " atom " << j;
            }
        }
    }

    static void CheckFailureHandled(const std::string &what, uint32_t initStatus, Mode mode)
    {
        ASSERT_TRUE(g_sweep.failed) << what << ": the failure was never reached";
        const std::vector<zt::LibFrame> &chain = g_sweep.failedChain;
        ASSERT_FALSE(chain.empty()) << what;

        const std::vector<zt::LogLine> log = zt::PlainLog();
        bool storeFailed = false;
        for (const Report *r : ExpectedReports(chain)) {
            EXPECT_TRUE(HasErrorLine(log, r->func, r->body)) << what << ": " << r->func << " did not report \""
                                                            << r->body << "\"";
            storeFailed = storeFailed || r->failsAtom;
        }
        bool inInit = false;
        for (const zt::LibFrame &f : chain) {
            inInit = inInit || f.func == "ZELM_Init";
        }
        if (inInit) {
            EXPECT_EQ(initStatus, 0xFFFFFFFFu) << what;
        } else if (mode == Mode::FailOnce) {
            EXPECT_EQ(initStatus, 0u) << what;
        }
        if (mode != Mode::FailOnce) {
            return;
        }
        // Once: exactly the atom whose store failed is answered with 0xFFFFFFFF, as op-info code and info item.
        size_t failedAtoms = 0;
        for (size_t i = 0; i < STANDIN_ReplyCount(); ++i) {
            const STANDIN_Reply *reply = STANDIN_ReplyGet(i);
            EXPECT_EQ(reply->hasRetCode, 0u) << what;
            size_t failedHere = 0;
            for (size_t j = 0; j < reply->opInfoNum; ++j) {
                if (reply->opInfos[j].code != 0) {
                    EXPECT_EQ(reply->opInfos[j].code, 0xFFFFFFFFu) << what;
                    ++failedHere;
                }
            }
            failedAtoms += failedHere;
            EXPECT_EQ(reply->infoItemNum, failedHere) << what;
            for (size_t j = 0; j < reply->infoItemNum; ++j) {
                EXPECT_EQ(reply->infoItems[j], 0xFFFFFFFFu) << what;
            }
        }
        EXPECT_EQ(failedAtoms, storeFailed ? 1u : 0u) << what;
    }

    // Counts, then fails each k in turn, for one kind of injection.
    void SweepScenario(const zt::SweepScenario &scenario, Kind kind)
    {
        const uint64_t n = Run(scenario, kind, Mode::Count, 0);
        ASSERT_GT(n, 0u) << scenario.name;
        for (uint64_t k = 1; k <= n && !HasFatalFailure(); ++k) {
            Run(scenario, kind, Mode::FailOnce, k);
            Run(scenario, kind, Mode::FailFrom, k);
        }
    }
};

TEST_F(AllocSweepTest, EveryHostAllocationFailureIsReportedAndLeavesNothingBehind)
{
    for (const zt::SweepScenario &scenario : zt::SweepScenarios()) {
        SweepScenario(scenario, Kind::Host);
    }
    const std::vector<zt::SourceSite> sites = zt::HostAllocSitesInSource(zt::RepoRoot());
    ASSERT_FALSE(sites.empty()) << "library source not found from " << __FILE__;

    // Every call site in the source must be reached, each by its own return address.
    std::map<std::string, size_t> inSource;
    for (const zt::SourceSite &s : sites) {
        ++inSource[s.func];
    }
    std::map<std::string, size_t> reached;
    size_t reachedTotal = 0;
    for (const auto &[func, addresses] : g_sweep.hostSites) {
        reached[func] = addresses.size();
        reachedTotal += addresses.size();
    }
    EXPECT_EQ(reached, inSource) << "allocation sites reached differ from those in the source";

    std::cout << "[sweep] host allocation sites: " << sites.size()
              << " in the library source (calls of ZELM_Malloc or an allocation hook, found by reading it), "
              << reachedTotal << " reached (distinct return addresses seen by the host allocator, into:";
    for (const auto &[func, n] : reached) {
        std::cout << " " << func << (n > 1 ? "x" + std::to_string(n) : "");
    }
    std::cout << ")\n[sweep] host allocation paths reached (site<-caller): " << g_sweep.hostPaths.size() << "\n";
    for (const std::string &path : g_sweep.hostPaths) {
        std::cout << "[sweep]   " << path << "\n";
    }
    std::cout << "[sweep] host runs: " << g_totals.runs[0][0] << " counting, " << g_totals.runs[0][1]
              << " failing the k-th allocation once, " << g_totals.runs[0][2] << " failing from the k-th on\n";
}

TEST_F(AllocSweepTest, EveryTextCopyFailureIsReportedAndLeavesNothingBehind)
{
    for (const zt::SweepScenario &scenario : zt::SweepScenarios()) {
        if (scenario.copiesTexts) {
            SweepScenario(scenario, Kind::Text);
        }
    }
    const std::vector<zt::SourceSite> sites = zt::TextCopySitesInSource(zt::RepoRoot());
    ASSERT_FALSE(sites.empty()) << "library source not found from " << __FILE__;

    std::set<std::string> inSource;
    for (const zt::SourceSite &s : sites) {
        inSource.insert(s.field);
    }
    EXPECT_EQ(sites.size(), inSource.size()) << "a field is copied at two sites; tag the scenario texts per site";
    EXPECT_EQ(g_sweep.textFields, inSource) << "text copy sites reached differ from those in the source";
    const std::set<std::string> both = {"strdup", "strndup"};
    EXPECT_EQ(g_sweep.textFunctions, both) << "terminated and unterminated fields must both be copied";

    std::cout << "[sweep] text copy sites: " << sites.size()
              << " in the library source (calls of ZelmDupTextField, strdup or strndup, one field each), "
              << g_sweep.textFields.size() << " reached (fields told by the tag each scenario text carries:";
    for (const std::string &f : g_sweep.textFields) {
        std::cout << " " << f;
    }
    std::cout << "; through strdup and strndup)\n[sweep] text runs: " << g_totals.runs[1][0] << " counting, "
              << g_totals.runs[1][1] << " failing the k-th copy once, " << g_totals.runs[1][2]
              << " failing from the k-th on\n";
#if !defined(__SANITIZE_ADDRESS__)
    std::cout << "[sweep] text copies are checked for leaks only in the asan build (LeakSanitizer)\n";
#endif
}

}  // namespace
