// Shared by the XPath tests: a document over the reference host, results that end themselves, a
// resolver of fixed prefixes, and the path of a node for comparing node-sets across DOMs.
#pragma once

#include <DOMKw/dom/Owned.hpp>
#include <DOMKw/xpath/XPathEvaluator.hpp>
#include <DOMKw/xpath/XPathException.hpp>
#include <DOMKw/xpath/XPathExpression.hpp>
#include <DOMKw/xpath/XPathNSResolver.hpp>
#include <DOMKw/xpath/XPathResultImpl.hpp>

#include <xercesc/dom/DOMXPathNSResolver.hpp>

#include <malloc.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/DomFixture.hpp"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own count of live heap bytes (its allocator replaces malloc's).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace testing_support {

// Live heap bytes, for checks that repeated evaluations keep memory flat.
inline size_t heapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

constexpr const XMLCh* RC_NAMESPACE = u"http://domkw.example.org/Tellam/DOM/RC/";
constexpr const XMLCh* KW_NAMESPACE = u"http://domkw.example.org/Tellam/DOM/Kw/";
constexpr const XMLCh* XSI_NAMESPACE = u"http://www.w3.org/2001/XMLSchema-instance";

// A result, an expression, released at the end of a scope.
using Result = dom::Owned<DOMXPathResult>;
using Expression = dom::Owned<DOMXPathExpression>;

// The XPathException code of a call that must throw one, or a failure.
template <class F> int xpathCode(F&& f) {
    try {
        f();
    } catch (const dom::xpath::XPathException& e) {
        return e.code;
    }
    ADD_FAILURE() << "expected an XPathException";
    return 0;
}

// Every getter a result of its type does not serve refuses with TYPE_ERR (52), and getTypeInfo always
// refuses. The getters that serve are left to the caller: they move the cursor.
inline void expectOtherGettersRefused(DOMXPathResult* r) {
    struct Getter {
        const char* name;
        std::vector<int> serves;
        std::function<void(DOMXPathResult*)> call;
    };
    static const std::vector<Getter> getters = {
        {"getNumberValue", {1}, [](DOMXPathResult* r) { r->getNumberValue(); }},
        {"getIntegerValue", {1}, [](DOMXPathResult* r) { r->getIntegerValue(); }},
        {"getStringValue", {2}, [](DOMXPathResult* r) { r->getStringValue(); }},
        {"getBooleanValue", {3}, [](DOMXPathResult* r) { r->getBooleanValue(); }},
        {"iterateNext", {4, 5}, [](DOMXPathResult* r) { r->iterateNext(); }},
        {"getSnapshotLength", {6, 7}, [](DOMXPathResult* r) { r->getSnapshotLength(); }},
        {"snapshotItem", {6, 7}, [](DOMXPathResult* r) { r->snapshotItem(0); }},
        {"getNodeValue", {4, 5, 6, 7, 8, 9}, [](DOMXPathResult* r) { dom::dispose(r->getNodeValue()); }},
    };
    const int type = r->getResultType();
    for (const Getter& g : getters) {
        if (std::find(g.serves.begin(), g.serves.end(), type) == g.serves.end()) {
            EXPECT_EQ(xpathCode([&] { g.call(r); }), 52) << g.name << " on type " << type;
        }
    }
    EXPECT_EQ(domExceptionCode([&] { r->getTypeInfo(); }), -1);
}

// A plug-in's own resolver: fixed prefixes.
class FixedResolver : public DOMXPathNSResolver {
public:
    FixedResolver(std::map<std::u16string, std::u16string> bindings) : bindings(std::move(bindings)) {}
    const XMLCh* lookupNamespaceURI(const XMLCh* prefix) const override {
        auto it = bindings.find(prefix ? prefix : u"");
        return it == bindings.end() ? nullptr : it->second.c_str();
    }
    const XMLCh* lookupPrefix(const XMLCh*) const override { return nullptr; }
    void addNamespaceBinding(const XMLCh*, const XMLCh*) override {}
    void release() override {}

    std::map<std::u16string, std::u16string> bindings;
};

inline FixedResolver sampleResolver() {
    return FixedResolver({{u"rc", RC_NAMESPACE}, {u"kw", KW_NAMESPACE}, {u"xsi", XSI_NAMESPACE}});
}

// The path of a node from the application element: "/application/project[1]/layout[2]/@id",
// ".../text()[1]", "/" for the document. Positions count same-named siblings. With `library` set the
// node and every node object met on the way are ended (the node objects of the library).
inline std::u16string pathOf(DOMNode* node, bool library) {
    auto end = [&](DOMNode* n) {
        if (library) dom::dispose(n);
    };
    if (!node) return u"(none)";
    if (node->getNodeType() == DOMNode::DOCUMENT_NODE) {
        end(node);
        return u"/";
    }
    std::u16string path;
    DOMNode* at = node;
    if (at->getNodeType() == DOMNode::ATTRIBUTE_NODE) {
        path = u"/@" + text(at->getNodeName());
        DOMNode* owner = static_cast<DOMAttr*>(at)->getOwnerElement();
        end(at);
        at = owner;
    }
    while (at && at->getNodeType() != DOMNode::DOCUMENT_NODE) {
        const bool isText = at->getNodeType() == DOMNode::TEXT_NODE;
        const std::u16string name = isText ? u"text()" : text(at->getNodeName());
        int position = 1;
        for (DOMNode* s = at->getPreviousSibling(); s;) {
            const bool same =
                isText ? s->getNodeType() == DOMNode::TEXT_NODE
                       : s->getNodeType() == DOMNode::ELEMENT_NODE && name == text(s->getNodeName());
            if (same) ++position;
            DOMNode* previous = s->getPreviousSibling();
            end(s);
            s = previous;
        }
        DOMNode* parent = at->getParentNode();
        const bool top = !parent || parent->getNodeType() == DOMNode::DOCUMENT_NODE;
        const std::string number = std::to_string(position);
        path = u"/" + name + (top ? u"" : u"[" + std::u16string(number.begin(), number.end()) + u"]") + path;
        end(at);
        at = parent;
        if (top) {
            if (parent) end(parent);
            break;
        }
    }
    return path;
}

class XPathTest : public DomTest {
protected:
    DOMXPathResult* evaluate(const XMLCh* expression, const DOMNode* context,
                             DOMXPathResult::ResultType type = DOMXPathResult::ANY_TYPE,
                             const DOMXPathNSResolver* resolver = nullptr, DOMXPathResult* reuse = nullptr) {
        return static_cast<DOMDocument*>(doc)->evaluate(expression, context, resolver, type, reuse);
    }
    DOMNode* docNode() { return static_cast<DOMDocument*>(doc); }
    // The paths of the nodes of a snapshot result, node objects ended.
    std::vector<std::u16string> snapshotPaths(DOMXPathResult* r) {
        std::vector<std::u16string> paths;
        for (XMLSize_t i = 0; i < r->getSnapshotLength(); ++i) {
            r->snapshotItem(i);
            paths.push_back(pathOf(r->getNodeValue(), true));
        }
        return paths;
    }
    std::vector<std::u16string> paths(const XMLCh* expression, const DOMNode* context = nullptr) {
        Result r(
            evaluate(expression, context ? context : docNode(), DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE));
        return snapshotPaths(r.get());
    }
    double number(const XMLCh* expression, const DOMNode* context = nullptr) {
        Result r(evaluate(expression, context ? context : docNode(), DOMXPathResult::NUMBER_TYPE));
        return r->getNumberValue();
    }
    std::u16string string(const XMLCh* expression, const DOMNode* context = nullptr,
                          const DOMXPathNSResolver* resolver = nullptr) {
        Result r(evaluate(expression, context ? context : docNode(), DOMXPathResult::STRING_TYPE, resolver));
        return text(r->getStringValue());
    }
};

} // namespace testing_support
