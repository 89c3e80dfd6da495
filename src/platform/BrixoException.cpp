#include <DOMKw/platform/BrixoException.hpp>

namespace Brixo {

BaseException::~BaseException() = default;

const char* BaseException::GetMessage() const noexcept {
    return fHasMessage ? fMessage.c_str() : "Unknown Brixo exception";
}

ITellamBaseException::~ITellamBaseException() = default;
TellamBaseException::~TellamBaseException() = default;

} // namespace Brixo
