// The trace file: one line per RPC call and completion, timer call, configuration reply and timeline event.
#ifndef ZELM_SIM_TRACE_H
#define ZELM_SIM_TRACE_H

#include <cstdio>
#include <functional>
#include <string>

#include "scenario/scenario.h"

namespace zsim {

class Trace {
public:
    explicit Trace(FILE *out) : out_(out) {}
    bool On() const { return out_ != nullptr; }
    // Called before each Line, to write what was recorded elsewhere meanwhile (the timer calls).
    void SetCatchUp(std::function<void()> catchUp) { catchUp_ = std::move(catchUp); }
    // "000012.500 CALL  <text>": virtual seconds, a tag of five letters, the text; after catching up.
    void Line(Ms t, const char *tag, const std::string &text);
    // The same without catching up, for the writer of the recorded events itself.
    void Raw(Ms t, const char *tag, const std::string &text);

private:
    FILE *out_;
    std::function<void()> catchUp_;
};

}  // namespace zsim

#endif
