// The error log of a mapping file, bounded: a file of millions of bad lines must not grow the caller's
// log without limit. Lines past the limit are counted, and one last line gives their number.
#pragma once

#include <cstddef>
#include <string>

namespace ZuText {

class MappingLog {
public:
    // The most lines one mapping file writes before the count line.
    static constexpr size_t kMaxLines = 1000;

    // The log (not owned) may be null: nothing is written then.
    explicit MappingLog(std::string* log, size_t maxLines = kMaxLines) : fLog(log), fMaxLines(maxLines) {}
    ~MappingLog() { Finish(); }
    MappingLog(const MappingLog&) = delete;
    MappingLog& operator=(const MappingLog&) = delete;

    // Appends `line` and "\r\n", or counts it once the log is full.
    void Line(const std::string& line);
    // Writes the count line for what was left out, once.
    void Finish();

    size_t Written() const { return fWritten; }
    size_t LeftOut() const { return fLeftOut; }

private:
    std::string* fLog;
    size_t fMaxLines;
    size_t fWritten = 0;
    size_t fLeftOut = 0;
};

} // namespace ZuText
