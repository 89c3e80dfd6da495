// TextFileParser: reads a code-page mapping file from memory, logging format errors as text lines.
#pragma once

#include "text/IMappingFileParser.hpp"

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

    // Neither the text nor the log (which may be null) becomes the parser's.
    TextFileParser(const char* text, size_t length, std::string* log);
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
    std::string* fLog;
    size_t fPos = 0;
    uint32_t fLine = 0;
};

} // namespace ZuText
