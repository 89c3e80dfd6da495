// Error codes the library throws by value where it rejects an operation itself.
#pragma once

namespace dom::Exceptions {

// The numbers are those of the xercesc::DOMException codes.
enum KwErrorCodes { INDEX_SIZE_ERR = 1, HIERARCHY_REQUEST_ERR = 3, NOT_SUPPORTED_ERR = 9, VALIDATION_ERR = 16 };

} // namespace dom::Exceptions
