#include "text/MappingLog.hpp"

namespace ZuText {

void MappingLog::Line(const std::string& line) {
    if (!fLog) return;
    if (fWritten >= fMaxLines) {
        ++fLeftOut;
        return;
    }
    fLog->append(line).append("\r\n");
    ++fWritten;
}

void MappingLog::Finish() {
    if (!fLog || !fLeftOut) return;
    fLog->append("Further lines left out of this log : ").append(std::to_string(fLeftOut)).append("\r\n");
    fLeftOut = 0;
}

} // namespace ZuText
