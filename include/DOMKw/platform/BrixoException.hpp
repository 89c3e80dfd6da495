// Brixo exception base classes. Every exception the library throws of its own (as opposed to
// xercesc::DOMException and the host's status values) derives from these, and all of them can also be
// caught as std::exception.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace Brixo {

// Carries an optional message text; what() is the message operation.
class BaseException : public std::exception {
public:
    BaseException() = default;
    explicit BaseException(std::string message) : fMessage(std::move(message)), fHasMessage(true) {}
    ~BaseException() override;

    // The stored message, or "Unknown Brixo exception" when none is stored.
    virtual const char* GetMessage() const noexcept;
    const char* what() const noexcept override { return GetMessage(); }

private:
    std::string fMessage;
    bool fHasMessage = false;
};

// An exception that knows where it was thrown and why: an error code, the name of the source module
// and the source line of the throw.
class ITellamBaseException : public BaseException {
public:
    using BaseException::BaseException;
    ~ITellamBaseException() override;

    virtual int32_t GetErrorCode() const noexcept = 0;
    virtual const char* GetModuleName() const noexcept = 0;
    virtual uint32_t GetSourceLine() const noexcept = 0;
};

class TellamBaseException : public ITellamBaseException {
public:
    TellamBaseException(int32_t code, const char* module, uint32_t line)
        : fCode(code), fModule(module ? module : ""), fLine(line) {}
    TellamBaseException(int32_t code, const char* module, uint32_t line, std::string message)
        : ITellamBaseException(std::move(message)), fCode(code), fModule(module ? module : ""), fLine(line) {}
    ~TellamBaseException() override;

    int32_t GetErrorCode() const noexcept override { return fCode; }
    const char* GetModuleName() const noexcept override { return fModule; }
    uint32_t GetSourceLine() const noexcept override { return fLine; }

private:
    int32_t fCode;
    const char* fModule; // a string literal of the thrower
    uint32_t fLine;
};

} // namespace Brixo
