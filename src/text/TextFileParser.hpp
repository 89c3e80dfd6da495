// TextFileParser: reads a code-page mapping file from memory, logging format errors as text lines.
#pragma once

#include "text/IMappingFileParser.hpp"
#include "text/MappingLog.hpp"

#include <DOMKw/platform/BrixoException.hpp>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ZuText {

class TextFileParser : public IMappingFileParser {
public:
    enum ErrorCode : int32_t {
        HeaderIncomplete = 0,
        HeaderStartExpected = 1,
        BadReplacementChar = 2,
        BadStateEntry = 3,
        HeaderEndExpected = 4,
        BadFieldCount = 5,
        BadMbcsValue = 6,
        BadUnicodeValue = 7,
        BadFallbackIndicator = 8,
    };

    // A format error: its what() is the message of its code.
    class Exception : public Brixo::TellamBaseException {
    public:
        Exception(int32_t code, uint32_t sourceLine);
        ~Exception() override;
        const char* what() const noexcept override;
    };

    // The message of an error code, as it starts the log line.
    static const char* MessageOf(int32_t code);

    // Neither the text nor the log (which may be null) becomes the parser's. The log is bounded
    // (MappingLog); its count line is written when the entries are exhausted or the parser ends.
    TextFileParser(const char* text, size_t length, std::string* log);
    // The same, writing to a bounded log the caller shares with its own warnings.
    TextFileParser(const char* text, size_t length, MappingLog& log);
    ~TextFileParser() override;

    bool ParseHeader(MappingHeader& header) override;
    std::unique_ptr<MappingEntry> ParseNextEntry() override;

    // Physical number (from 1) of the last line read.
    uint32_t LineNumber() const { return fLine; }

private:
    bool readPhysicalLine(std::string& line);
    bool readLogicalLine(std::string& line);
    void logError(int32_t code);
    void parseEntry(const std::string& line, MappingEntry& entry) const;

    const char* fText;
    size_t fLength;
    MappingLog fOwnLog;
    MappingLog& fLog;
    // The byte classes of the header read, as a decoder uses them (a byte marked both single and lead is
    // single): an entry whose bytes no decoder can meet is refused.
    uint8_t fClasses[256] = {};
    bool fHaveClasses = false;
    size_t fPos = 0;
    uint32_t fLine = 0;
};

} // namespace ZuText
