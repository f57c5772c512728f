// Shard results: the tally of a share of the runs written as JSON, read back with every field checked, and the
// shards of one exploration added up.
#include "explore/explore_shard.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include "report/outputs.h"
#include "text/printable.h"

namespace zsim {

namespace {

using Json = nlohmann::ordered_json;

constexpr uint64_t kShardFormat = 1;
constexpr size_t kMissingNamed = 10;  // shards a message lists before "and n more"
constexpr size_t kPathShown = 300;    // characters of a file name a message shows

const char *StatusName(RunOutcome::Status s)
{
    switch (s) {
    case RunOutcome::Status::Completed:
        return "completed";
    case RunOutcome::Status::Crashed:
        return "crashed";
    case RunOutcome::Status::Hung:
        return "hung";
    }
    return "?";
}

// A text as JSON: a string when it is valid UTF-8, else its bytes in hex, so that it reads back byte for byte.
Json Bytes(const std::string &s)
{
    try {
        (void)Json(s).dump();
        return s;
    } catch (const Json::type_error &) {
        std::string hex;
        for (const char c : s) {
            fmt::format_to(std::back_inserter(hex), "{:02x}", static_cast<unsigned char>(c));
        }
        return Json{{"hex", hex}};
    }
}

Json KeyJson(ReasonKey key)
{
    return {{"kind", KindName(key.kind)}, {"reasonCode", ReasonCode(key.reason)}};
}

Json Faults(const std::vector<std::string> &faults)
{
    Json out = Json::array();
    for (const std::string &f : faults) {
        out.push_back(Bytes(f));
    }
    return out;
}

// Reads the fields of one shard file, each checked; a fault names the file and the field.
class ShardReader {
public:
    explicit ShardReader(std::string file) : file_(std::move(file)) {}

    [[noreturn]] void Fail(const std::string &what) const
    {
        throw UsageError(fmt::format("--merge {}: {}", Quoted(file_, kPathShown), what));
    }
    const Json &At(const Json &j, const char *key) const
    {
        if (!j.is_object() || !j.contains(key)) {
            Fail(fmt::format("not a shard result of zelm-sim explore: '{}' is missing", key));
        }
        return j[key];
    }
    uint64_t Number(const Json &j, const char *key) const
    {
        const Json &v = At(j, key);
        if (!v.is_number_unsigned()) {
            Fail(fmt::format("'{}' is not a whole number", key));
        }
        return v.get<uint64_t>();
    }
    bool Bool(const Json &j, const char *key) const
    {
        const Json &v = At(j, key);
        if (!v.is_boolean()) {
            Fail(fmt::format("'{}' is not true or false", key));
        }
        return v.get<bool>();
    }
    std::string Text(const Json &j, const char *key) const
    {
        const Json &v = At(j, key);
        if (v.is_string()) {
            return v.get<std::string>();
        }
        const std::string hex =
            v.is_object() && v.contains("hex") && v["hex"].is_string() ? v["hex"].get<std::string>() : std::string("?");
        if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
            Fail(fmt::format("'{}' is not a text", key));
        }
        std::string out;
        for (size_t i = 0; i < hex.size(); i += 2) {
            out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
        return out;
    }
    const Json &List(const Json &j, const char *key) const
    {
        const Json &v = At(j, key);
        if (!v.is_array()) {
            Fail(fmt::format("'{}' is not a list", key));
        }
        return v;
    }
    ReasonKey Key(const Json &j) const
    {
        const std::string kind = Text(j, "kind");
        const std::string code = Text(j, "reasonCode");
        for (const DriftKind k : {DriftKind::Missing, DriftKind::Extra, DriftKind::Stale}) {
            for (int r = 0; r < kDriftReasonCount; ++r) {
                const ReasonKey key{k, static_cast<DriftReason>(r)};
                if (kind == KindName(key.kind) && code == ReasonCode(key.reason)) {
                    return key;
                }
            }
        }
        Fail(fmt::format("no drift reason {} {}", Quoted(kind), Quoted(code)));
    }
    // The first run of a finding: one of this shard's runs.
    size_t FirstRun(const Json &j, const Shard &s) const
    {
        const uint64_t run = Number(j, "firstRun");
        if (run >= s.runs || run % s.part.count != s.part.index - 1) {
            Fail(fmt::format("run {} is not one of shard {} of {}", run, s.part.index, s.part.count));
        }
        return run;
    }

private:
    std::string file_;
};

std::string ReadFile(const ShardReader &r, const std::string &path, uint64_t maxBytes)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        r.Fail(std::string("cannot read it: ") + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        r.Fail("is a directory, not a shard result");
    }
    if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > maxBytes) {
        r.Fail(fmt::format("{} bytes, more than a shard result of this --memory-limit may hold", st.st_size));
    }
    std::ifstream in(path, std::ios::binary);
    std::string text;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        text.append(block, static_cast<size_t>(in.gcount()));
        if (text.size() > maxBytes) {
            r.Fail("more than a shard result of this --memory-limit may hold");
        }
    }
    if (in.bad() || !in.eof()) {
        r.Fail("cannot read it");
    }
    return text;
}

}  // namespace

void Tally::Add(const Tally &o)
{
    runs += o.runs;
    converged += o.converged;
    for (const auto &[at, n] : o.convergedAt) {
        convergedAt[at] += n;
    }
    notConverged += o.notConverged;
    for (const auto &[index, f] : o.reasons) {
        ReasonFinding &mine = reasons.try_emplace(index, ReasonFinding{f.key, 0, f.firstRun, {}, {}}).first->second;
        mine.runs += f.runs;
        mine.firstRun = std::min(mine.firstRun, f.firstRun);
    }
    if (o.baselineLike) {
        BaselineLike &b =
            baselineLike ? *baselineLike : baselineLike.emplace(BaselineLike{0, o.baselineLike->firstRun, {}});
        b.runs += o.baselineLike->runs;
        b.firstRun = std::min(b.firstRun, o.baselineLike->firstRun);
    }
    for (const auto &[defect, d] : o.defects) {
        auto [it, fresh] = defects.try_emplace(defect, d);
        if (!fresh) {
            it->second.runs += d.runs;
            if (d.firstRun < it->second.firstRun) {
                it->second.firstRun = d.firstRun;
                it->second.detail = d.detail;
            }
        }
    }
}

ShardPart ParseShardPart(const std::string &text)
{
    const std::string named = "--shard " + Quoted(text, 40);
    const size_t slash = text.find('/');
    auto number = [&](const std::string &s) -> uint64_t {
        if (s.empty() || s.size() > 7 || s.find_first_not_of("0123456789") != std::string::npos) {
            throw UsageError(named + ": give I/N, shard I of N, both whole numbers, 1 <= I <= N <= 1000000");
        }
        return std::stoull(s);
    };
    if (slash == std::string::npos) {
        number("");
    }
    const ShardPart part{number(text.substr(0, slash)), number(text.substr(slash + 1))};
    if (!part.Possible()) {
        number("");
    }
    return part;
}

std::string ScenarioDigest(std::string_view text)
{
    uint64_t h = 0xCBF29CE484222325ull;
    for (const char c : text) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
    return fmt::format("fnv1a64:{:016x}", h);
}

std::string ShardJson(const Shard &s, const std::function<std::vector<std::string>(size_t)> &faultsOf)
{
    Json baselineReasons = Json::array();
    for (const ReasonKey key : s.baseline.Reasons()) {
        Json j = KeyJson(key);
        j["items"] = s.baseline.items[key.Index()];
        baselineReasons.push_back(j);
    }
    Json times = Json::array();
    for (const auto &[at, n] : s.tally.convergedAt) {
        times.push_back(Json::array({at, n}));
    }
    Json reasons = Json::array();
    for (const auto &[index, f] : s.tally.reasons) {
        Json j = KeyJson(f.key);
        j["runs"] = f.runs;
        j["firstRun"] = f.firstRun;
        j["firstRunFaults"] = Faults(faultsOf(f.firstRun));
        reasons.push_back(j);
    }
    Json like = nullptr;
    if (const auto &b = s.tally.baselineLike) {
        like = {{"runs", b->runs}, {"firstRun", b->firstRun}, {"firstRunFaults", Faults(faultsOf(b->firstRun))}};
    }
    Json defects = Json::array();
    for (const auto &[defect, d] : s.tally.defects) {
        defects.push_back({{"defect", DefectName(defect)},
                           {"runs", d.runs},
                           {"firstRun", d.firstRun},
                           {"detail", Bytes(d.detail)},
                           {"firstRunFaults", Faults(faultsOf(d.firstRun))}});
    }
    const Json j = {{"zelmSimExploreShard", kShardFormat},
                    {"zelmSim", s.version},
                    {"shard", s.part.index},
                    {"shards", s.part.count},
                    {"seed", s.seed},
                    {"runs", s.runs},
                    {"scenario",
                     {{"source", Bytes(s.source)},
                      {"given", Bytes(s.given)},
                      {"digest", ScenarioDigest(s.scenarioText)},
                      {"text", Bytes(s.scenarioText)}}},
                    {"baseline",
                     {{"status", StatusName(s.baseline.status)},
                      {"signal", s.baseline.signal},
                      {"exitCode", s.baseline.exitCode},
                      {"converged", s.baseline.converged},
                      {"convergedAt", s.baseline.convergedAt},
                      {"byReason", baselineReasons}}},
                    {"tally",
                     {{"runs", s.tally.runs},
                      {"converged", {{"runs", s.tally.converged}, {"convergedAt", times}}},
                      {"notConverged",
                       {{"runs", s.tally.notConverged}, {"byReason", reasons}, {"baselineReasonsOnly", like}}},
                      {"defects", defects}}}};
    return j.dump(1) + "\n";
}

Shard ReadShard(const std::string &path, uint64_t maxBytes)
{
    const ShardReader r(path);
    Json j;
    try {
        j = Json::parse(ReadFile(r, path, maxBytes));
    } catch (const Json::parse_error &e) {
        r.Fail(fmt::format("not a shard result of zelm-sim explore: not JSON (at byte {})", e.byte));
    }
    if (const uint64_t format = r.Number(j, "zelmSimExploreShard"); format != kShardFormat) {
        r.Fail(fmt::format("a shard result of format {}; this zelm-sim reads format {}", format, kShardFormat));
    }
    Shard s;
    s.file = path;
    s.version = r.Text(j, "zelmSim");
    s.part = {r.Number(j, "shard"), r.Number(j, "shards")};
    if (!s.part.Possible()) {
        r.Fail(fmt::format("shard {} of {} cannot be", s.part.index, s.part.count));
    }
    s.seed = r.Number(j, "seed");
    s.runs = r.Number(j, "runs");
    const Json &scenario = r.At(j, "scenario");
    s.source = r.Text(scenario, "source");
    s.given = r.Text(scenario, "given");
    s.scenarioText = r.Text(scenario, "text");
    if (r.Text(scenario, "digest") != ScenarioDigest(s.scenarioText)) {
        r.Fail("its scenario's text does not match its digest: the file was changed after the shard wrote it");
    }

    const Json &baseline = r.At(j, "baseline");
    const std::string status = r.Text(baseline, "status");
    for (const auto st : {RunOutcome::Status::Completed, RunOutcome::Status::Crashed, RunOutcome::Status::Hung}) {
        s.baseline.status = status == StatusName(st) ? st : s.baseline.status;
    }
    if (status != StatusName(s.baseline.status)) {
        r.Fail("the baseline's status " + Quoted(status) + " is none of completed, crashed, hung");
    }
    s.baseline.signal = static_cast<int>(r.Number(baseline, "signal") & 0xFF);
    s.baseline.exitCode = static_cast<int>(r.Number(baseline, "exitCode") & 0xFF);
    s.baseline.converged = r.Bool(baseline, "converged");
    s.baseline.convergedAt = r.Number(baseline, "convergedAt");
    for (const Json &x : r.List(baseline, "byReason")) {
        s.baseline.items[r.Key(x).Index()] = static_cast<uint32_t>(r.Number(x, "items"));
    }

    const Json &tally = r.At(j, "tally");
    Tally &t = s.tally;
    t.runs = r.Number(tally, "runs");
    if (t.runs != s.part.Runs(s.runs)) {
        r.Fail(fmt::format("holds {} runs, where shard {} of {} of {} runs has {}", t.runs, s.part.index, s.part.count,
                           s.runs, s.part.Runs(s.runs)));
    }
    const Json &converged = r.At(tally, "converged");
    t.converged = r.Number(converged, "runs");
    for (const Json &x : r.List(converged, "convergedAt")) {
        if (!x.is_array() || x.size() != 2 || !x[0].is_number_unsigned() || !x[1].is_number_unsigned()) {
            r.Fail("'convergedAt' holds something else than [time, runs] pairs");
        }
        t.convergedAt[x[0].get<Ms>()] += x[1].get<size_t>();
    }
    const Json &notConverged = r.At(tally, "notConverged");
    t.notConverged = r.Number(notConverged, "runs");
    for (const Json &x : r.List(notConverged, "byReason")) {
        const ReasonKey key = r.Key(x);
        t.reasons[key.Index()] = ReasonFinding{key, r.Number(x, "runs"), r.FirstRun(x, s), {}, {}};
    }
    if (const Json &like = r.At(notConverged, "baselineReasonsOnly"); !like.is_null()) {
        t.baselineLike = BaselineLike{r.Number(like, "runs"), r.FirstRun(like, s), {}};
    }
    for (const Json &x : r.List(tally, "defects")) {
        const std::string name = r.Text(x, "defect");
        Defect d = Defect::Crashed;
        for (const Defect each : {Defect::Crashed, Defect::Hung, Defect::Leaked}) {
            d = name == DefectName(each) ? each : d;
        }
        if (name != DefectName(d)) {
            r.Fail("no defect " + Quoted(name));
        }
        t.defects[d] = DefectFinding{d, r.Number(x, "runs"), r.FirstRun(x, s), r.Text(x, "detail"), {}, {}};
    }
    return s;
}

Shard MergeShards(const std::vector<Shard> &shards, const std::string &version)
{
    const Shard &first = shards.front();
    std::map<uint64_t, const Shard *> byIndex;
    for (const Shard &s : shards) {
        const ShardReader r(s.file);
        if (s.version != version) {
            r.Fail(
                fmt::format("written by zelm-sim {}, and this is zelm-sim {}: run the shards and the merge with "
                            "one version",
                            Quoted(s.version), version));
        }
        auto differs = [&](const std::string &what) {
            r.Fail(fmt::format("not of the exploration of {}: {}", Quoted(first.file, kPathShown), what));
        };
        if (ScenarioDigest(s.scenarioText) != ScenarioDigest(first.scenarioText)) {
            differs(fmt::format("another scenario ({}, not {})", ScenarioDigest(s.scenarioText),
                                ScenarioDigest(first.scenarioText)));
        }
        if (s.source != first.source || s.given != first.given) {
            differs(fmt::format("its scenario was given as {}, not {}", Quoted(s.source, kPathShown),
                                Quoted(first.source, kPathShown)));
        }
        if (s.seed != first.seed) {
            differs(fmt::format("seed {}, not {}", s.seed, first.seed));
        }
        if (s.runs != first.runs) {
            differs(fmt::format("{} runs, not {}", s.runs, first.runs));
        }
        if (s.part.count != first.part.count) {
            differs(fmt::format("one of {} shards, not {}", s.part.count, first.part.count));
        }
        const auto [it, fresh] = byIndex.emplace(s.part.index, &s);
        if (!fresh) {
            throw UsageError(fmt::format("--merge: shard {} of {} is given twice: {} and {}", s.part.index,
                                         s.part.count, Quoted(it->second->file, kPathShown),
                                         Quoted(s.file, kPathShown)));
        }
    }
    if (byIndex.size() != first.part.count) {
        std::string missing;
        size_t named = 0;
        for (uint64_t i = 1; i <= first.part.count && named < kMissingNamed; ++i) {
            if (!byIndex.contains(i)) {
                fmt::format_to(std::back_inserter(missing), "{}{}", named++ == 0 ? "" : ", ", i);
            }
        }
        const uint64_t absent = first.part.count - byIndex.size();
        throw UsageError(fmt::format("--merge: {} {}{} of {} {} missing (give every shard's result once)",
                                     absent == 1 ? "shard" : "shards", missing,
                                     absent > named ? fmt::format(" and {} more", absent - named) : "",
                                     first.part.count, absent == 1 ? "is" : "are"));
    }
    Shard merged = first;
    merged.tally = Tally{};
    for (const Shard &s : shards) {
        merged.tally.Add(s.tally);
    }
    return merged;
}

}  // namespace zsim
