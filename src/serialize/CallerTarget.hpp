// The destination's byte stream, as the write's formatters see it: the stream is the caller's code, so
// it runs with the nodes' normal answers (see NamespaceView.hpp).
#pragma once

#include <xercesc/framework/XMLFormatter.hpp>

#include "dom/NamespaceView.hpp"

namespace domImpl::serializeImpl {

class CallerTarget : public XERCES_CPP_NAMESPACE::XMLFormatTarget {
public:
    explicit CallerTarget(XERCES_CPP_NAMESPACE::XMLFormatTarget& target) : target(target) {}
    void writeChars(const XMLByte* const bytes, const XMLSize_t count,
                    XERCES_CPP_NAMESPACE::XMLFormatter* const formatter) override {
        const ShowNamespaceInfo shown;
        target.writeChars(bytes, count, formatter);
    }
    void flush() override {
        const ShowNamespaceInfo shown;
        target.flush();
    }

private:
    XERCES_CPP_NAMESPACE::XMLFormatTarget& target;
};

} // namespace domImpl::serializeImpl
