// Checking output paths against each other and the scenario, and writing with every error caught.
#include "report/outputs.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace zsim {

namespace {

namespace fs = std::filesystem;

// What a path names, for telling whether two paths are one file: the file itself when it exists, else the
// path it would be made at. Devices and pipes name nothing: writing to them twice destroys no file.
struct Target {
    bool exists = false;
    bool regular = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string path;
};

Target TargetOf(const std::string &path)
{
    Target t;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        t.exists = true;
        t.regular = S_ISREG(st.st_mode);
        t.dev = st.st_dev;
        t.ino = st.st_ino;
    }
    std::error_code ec;
    t.path = fs::weakly_canonical(fs::path(path), ec).string();
    return t;
}

bool Same(const Target &a, const Target &b)
{
    if (a.exists && b.exists) {
        return a.regular && b.regular && a.dev == b.dev && a.ino == b.ino;
    }
    return !a.exists && !b.exists && a.path == b.path;
}

bool IsYamlName(const std::string &path)
{
    const std::string ext = fs::path(path).extension().string();
    return ext == ".yaml" || ext == ".yml";
}

std::string Named(const OutputRequest &o)
{
    return o.option + " " + o.path;
}

}  // namespace

void CheckOutputs(const std::vector<OutputRequest> &outputs, const std::string &scenarioPath, bool textToStdout)
{
    const bool scenarioIsFile = !scenarioPath.empty() && scenarioPath != "-";
    const Target scenario = scenarioIsFile ? TargetOf(scenarioPath) : Target{};
    Target out;
    struct stat st {};
    if (textToStdout && fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode)) {
        out = {true, true, st.st_dev, st.st_ino, "standard output"};
    }
    // Each output's target, found once: the checks below compare each with every one before it.
    std::vector<Target> targets;
    targets.reserve(outputs.size());
    for (size_t i = 0; i < outputs.size(); ++i) {
        const OutputRequest &o = outputs[i];
        targets.push_back(o.path == "-" ? Target{} : TargetOf(o.path));
        if (o.path == "-") {
            for (size_t j = 0; j < i; ++j) {
                if (outputs[j].path == "-") {
                    throw UsageError(Named(outputs[j]) + " and " + Named(o) +
                                     ": only one output can go to standard output");
                }
            }
            continue;
        }
        const Target &t = targets[i];
        if (scenarioIsFile && Same(t, scenario)) {
            throw UsageError(Named(o) + ": that is the scenario file; the " + o.what + " would overwrite it");
        }
        if (t.exists && t.regular && IsYamlName(o.path)) {
            throw UsageError(Named(o) + ": refusing to overwrite a YAML file with the " + o.what +
                             " (to run it, give it as the scenario: zelm-sim " + o.path + " " + o.option + " FILE)");
        }
        if (out.exists && Same(t, out)) {
            throw UsageError(Named(o) + ": that file is standard output, where the text report goes");
        }
        for (size_t j = 0; j < i; ++j) {
            if (outputs[j].path != "-" && Same(t, targets[j])) {
                throw UsageError(Named(outputs[j]) + " and " + Named(o) + " are the same file; give each its own");
            }
        }
    }
}

OutputFile::OutputFile(OutputRequest request) : request_(std::move(request))
{
    file_ = request_.path == "-" ? stdout : std::fopen(request_.path.c_str(), "w");
    if (file_ == nullptr) {
        throw UsageError(Named(request_) + ": cannot write the " + request_.what + ": " + std::strerror(errno));
    }
}

OutputFile::~OutputFile()
{
    (void)Close();
}

void OutputFile::Write(const std::string &text)
{
    errno = 0;
    if (file_ != nullptr && std::fwrite(text.data(), 1, text.size(), file_) != text.size() && writeError_ < 0) {
        writeError_ = errno;
    }
}

std::optional<std::string> OutputFile::Close()
{
    if (file_ == nullptr) {
        return std::nullopt;
    }
    errno = 0;
    bool lost = std::fflush(file_) != 0 || std::ferror(file_) != 0 || writeError_ >= 0;
    const int err = writeError_ > 0 ? writeError_ : errno;
    if (file_ != stdout) {
        lost = std::fclose(file_) != 0 || lost;
    }
    file_ = nullptr;
    if (!lost) {
        return std::nullopt;
    }
    return Named(request_) + ": the " + request_.what + " could not be written" +
           (err != 0 ? std::string(": ") + std::strerror(err) : std::string());
}

std::optional<std::string> FlushStdout(const char *what)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return std::nullopt;
    }
    const int err = errno;
    return std::string("standard output: the ") + what + " could not be written" +
           (err != 0 ? std::string(": ") + std::strerror(err) : std::string());
}

}  // namespace zsim
