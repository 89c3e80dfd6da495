// The DOM support the engine gives Xalan-C: document order decided on the DOM tree of the evaluation.
#pragma once

#include <xalanc/DOMSupport/DOMSupportDefault.hpp>

namespace XALAN_CPP_NAMESPACE {
class XercesWrapperNavigator;
}

namespace domImpl {

// Thrown (and caught by the engine's caller) when an evaluation asks more questions of document order
// than it was allowed.
struct NeedsDocumentOrder {};

class TellamXalanSupport : public XALAN_CPP_NAMESPACE::DOMSupport {
public:
    TellamXalanSupport();
    ~TellamXalanSupport() override;

    void reset() override;
    const XALAN_CPP_NAMESPACE::XalanDOMString&
    getUnparsedEntityURI(const XALAN_CPP_NAMESPACE::XalanDOMString& theName,
                         const XALAN_CPP_NAMESPACE::XalanDocument& theDocument) const override;
    // Whether node1 comes after node2 in document order, decided on the DOM nodes behind them.
    bool isNodeAfter(const XALAN_CPP_NAMESPACE::XalanNode& node1,
                     const XALAN_CPP_NAMESPACE::XalanNode& node2) const override;

    // The navigator of the running evaluation over a Xerces-C document, through which Xalan nodes are
    // mapped to DOM nodes; null over a document of the library.
    XALAN_CPP_NAMESPACE::XercesWrapperNavigator* navigator = nullptr;
    // For an evaluation that can be run again over a wrapper whose nodes Xalan orders itself: the questions
    // of document order answered before the next one ends it with NeedsDocumentOrder.
    mutable size_t questionsLeft = ~size_t(0);

private:
    XALAN_CPP_NAMESPACE::DOMSupportDefault base;
};

} // namespace domImpl
