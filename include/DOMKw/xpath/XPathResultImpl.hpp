// The result object of every XPath evaluation: a Xalan-C value, and the node objects of the library for
// the nodes of a node-set.
#pragma once

#include <DOMKw/xpath/XPathResult.hpp>

#include <xalanc/XPath/XObject.hpp>

#include <cstdint>
#include <memory>

namespace XALAN_CPP_NAMESPACE {
class XercesWrapperNavigator;
}

namespace domImpl::xpathImpl {

using XERCES_CPP_NAMESPACE::DOMNode;
using XERCES_CPP_NAMESPACE::DOMTypeInfo;
using XERCES_CPP_NAMESPACE::DOMXPathResult;

class XPathResultImpl : public virtual dom::xpath::XPathResult {
public:
    // Holds `value` (one reference) and owns `navigator`; throws XPathException 52 when the value cannot
    // be had as `type` (nothing is kept then).
    XPathResultImpl(XALAN_CPP_NAMESPACE::XObjectPtr value,
                    XALAN_CPP_NAMESPACE::XercesWrapperNavigator* navigator, ResultType type);
    ~XPathResultImpl() override;

    static dom::xpath::XPathResult* create_(XALAN_CPP_NAMESPACE::XObjectPtr value,
                                            XALAN_CPP_NAMESPACE::XercesWrapperNavigator* navigator,
                                            ResultType type);

    // Replaces value, navigator (the old one is deleted unless it is the same), cursor and type together.
    // When `type` does not fit `value` it throws XPathException 52 and the result stays as it was.
    void SetResult(const XALAN_CPP_NAMESPACE::XObjectPtr& value,
                   XALAN_CPP_NAMESPACE::XercesWrapperNavigator* navigator, ResultType type);
    // What the nodes of the value need to stay valid (for a document of the library, the tree they belong
    // to, which holds a host reference for each); kept until the value is replaced or the result ends.
    // A result without a navigator whose value has nodes has one.
    void keepAlive(std::shared_ptr<void> owner) { anchor = std::move(owner); }

    // DOMXPathResult
    ResultType getResultType() const override { return resultType; }
    const DOMTypeInfo* getTypeInfo() const override;
    bool isNode() const override;
    bool getBooleanValue() const override;
    int getIntegerValue() const override;
    double getNumberValue() const override;
    const XMLCh* getStringValue() const override;
    // A node object of the library for the current node, which the caller ends with dispose().
    DOMNode* getNodeValue() const override;
    bool iterateNext() override;
    bool getInvalidIteratorState() const override { return false; }
    bool snapshotItem(XMLSize_t index) override;
    XMLSize_t getSnapshotLength() const override;
    void release() override;

    // The navigator over a Xerces-C document's wrapper; null for a document of the library.
    XALAN_CPP_NAMESPACE::XercesWrapperNavigator* getWrapperNavigator() const { return navigator.get(); }
    const XALAN_CPP_NAMESPACE::XObjectPtr& getValue() const { return value; }

private:
    void SetResultType(ResultType requested);
    DOMNode* GetNthNode(unsigned int index) const;
    uint64_t GetResultLength() const;
    void require(bool fits) const;

    XALAN_CPP_NAMESPACE::XObjectPtr value;
    std::unique_ptr<XALAN_CPP_NAMESPACE::XercesWrapperNavigator> navigator;
    uint64_t cursor = 0;
    ResultType resultType = ANY_TYPE;
    std::shared_ptr<void> anchor;
};

} // namespace domImpl::xpathImpl
