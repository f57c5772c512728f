// The files a run writes (report, JSON report, log, trace): never one over the scenario or over another of
// the same run, and never a write error that goes unnoticed.
#ifndef ZELM_SIM_OUTPUTS_H
#define ZELM_SIM_OUTPUTS_H

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zsim {

// A command line that cannot be followed: reported as "zelm-sim: <message>" with exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What an output holds, for a writer of several outputs to tell them apart (Other: nothing to tell apart).
enum class OutputKind { Other, Json, Log, Trace, Html };

struct OutputRequest {
    std::string option;  // "--json"
    std::string what;    // "JSON report"
    std::string path;    // "-" is standard output
    OutputKind kind = OutputKind::Other;
};

// Refuses (UsageError) an output that is the scenario file, the file of another output, standard output's
// file while the text report goes there, or an existing YAML file; and two outputs to standard output.
void CheckOutputs(const std::vector<OutputRequest> &outputs, const std::string &scenarioPath, bool textToStdout);

class OutputFile {
public:
    // Opens the file for writing (standard output for "-"); UsageError when it cannot be.
    explicit OutputFile(OutputRequest request);
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    FILE *get() const { return file_; }
    const OutputRequest &Request() const { return request_; }
    void Write(const std::string &text);
    // Flushes and closes; the message to report when anything written was lost.
    std::optional<std::string> Close();

private:
    OutputRequest request_;
    FILE *file_ = nullptr;
    int writeError_ = -1;  // errno of the first failed write; -1 while none failed
};

// Flushes standard output; the message to report when anything written to it was lost.
std::optional<std::string> FlushStdout(const char *what);

}  // namespace zsim

#endif
