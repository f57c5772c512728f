// zelm-sim run as a user runs it: the scratch folder, the command line and the results.
#include "support/sim_cli.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace simcli {

std::string OneLocation(const std::string &nodes, const std::string &more)
{
    return "nodes:\n" + nodes +
           "timeline:\n"
           "  - {at: 0, link: {node: a, up: true}}\n"
           "  - {at: 0, config: [{class: compNode, compType: 1, compTypeName: t},\n"
           "                     {class: logicGroup, locIndex: 5, logicId: 100},\n"
           "                     {class: location, LocId: 5, LocName: l5, OsInst: a, imageName: x.service}]}\n"
           "  - {at: 0, locationStatus: {node: a, service: l5, index: 5}}\n"
           "  - {at: 1s, config: {class: component, locIndex: 5, compInst: 1, compType: 1, compInstName: c1}}\n" +
           more;
}

fs::path SourceRoot()
{
    return fs::path(__FILE__).parent_path().parent_path().parent_path();  // tests/support/ lies in it
}

fs::path SimBinary()
{
    if (const char *env = std::getenv("ZELM_SIM")) {
        return env;
    }
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools" / "sim" / "zelm-sim";
}

std::string Slurp(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace simcli

using namespace simcli;

void SimCliTest::SetUp()
{
    if (!fs::exists(SimBinary())) {
        GTEST_SKIP() << "zelm-sim is not built at " << SimBinary();
    }
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    std::replace(name.begin(), name.end(), '/', '-');
    dir_ = fs::temp_directory_path() / ("zelm-sim-test-" + std::to_string(getpid()) + "-" + name);
    fs::create_directories(dir_);
}

void SimCliTest::TearDown()
{
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

Result SimCliTest::Run(const std::string &args)
{
    const fs::path out = dir_ / "stdout";
    const fs::path err = dir_ / "stderr";
    const std::string cmd =
        "cd " + Quote(SourceRoot()) + " && " + Quote(SimBinary()) + " >" + Quote(out) + " 2>" + Quote(err) + " " + args;
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

fs::path SimCliTest::Write(const std::string &name, const std::string &text)
{
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

Json SimCliTest::JsonReport(const std::string &scenario, const std::string &more)
{
    const fs::path json = dir_ / "report.json";
    const Result r = Run("--quiet --json " + Quote(json) + " " + more + " " + scenario);
    EXPECT_EQ(r.code, 0) << r.err;
    return Json::parse(Slurp(json));
}
