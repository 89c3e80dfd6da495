// The library's XPath against Xalan-C over a native DOM of the same file: the same nodes in the same order
// and the same values for every result type, and every result refuses the getters its type does not serve.
#include <xalanc/DOMSupport/DOMSupportDefault.hpp>
#include <xalanc/PlatformSupport/PrefixResolver.hpp>
#include <xalanc/XPath/NodeRefListBase.hpp>
#include <xalanc/XPath/XPathEvaluator.hpp>
#include <xalanc/XalanDOM/XalanElement.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include <algorithm>
#include <cmath>

#include "xpath/XPathFixture.hpp"

using namespace testing_support;
namespace xalan = XALAN_CPP_NAMESPACE;

namespace {

const std::u16string hostNamespace = u"urn:domkw:reference-host";

// What the reference host keeps of a file: no whitespace-only text, no host-only elements and attributes,
// no declaration of the host namespace.
void dropHostOnly(DOMNode* node) {
    for (DOMNode* child = node->getFirstChild(); child;) {
        DOMNode* next = child->getNextSibling();
        const XMLCh* ns = child->getNamespaceURI();
        const bool blank = std::u16string(child->getNodeValue() ? child->getNodeValue() : u"")
                               .find_first_not_of(u" \n\t\r") == std::u16string::npos;
        const bool drop = (child->getNodeType() == DOMNode::TEXT_NODE && blank) ||
                          child->getNodeType() == DOMNode::COMMENT_NODE || (ns && hostNamespace == ns);
        if (drop)
            node->removeChild(child)->release();
        else
            dropHostOnly(child);
        child = next;
    }
    if (node->getNodeType() != DOMNode::ELEMENT_NODE) return;
    DOMNamedNodeMap* attrs = node->getAttributes();
    for (XMLSize_t i = attrs->getLength(); i-- > 0;) {
        auto* a = static_cast<DOMAttr*>(attrs->item(i));
        const XMLCh* ns = a->getNamespaceURI();
        if ((ns && hostNamespace == ns) || hostNamespace == a->getValue())
            static_cast<DOMElement*>(node)->removeAttributeNode(a)->release();
    }
}

// The prefixes of a FixedResolver, for Xalan-C.
class NativePrefixes : public xalan::PrefixResolver {
public:
    explicit NativePrefixes(const FixedResolver& resolver) {
        for (const auto& [prefix, uri] : resolver.bindings)
            uris.emplace(prefix, xalan::XalanDOMString(uri.c_str()));
    }
    const xalan::XalanDOMString* getNamespaceForPrefix(const xalan::XalanDOMString& prefix) const override {
        auto it = uris.find(std::u16string(prefix.c_str(), prefix.length()));
        return it == uris.end() ? nullptr : &it->second;
    }
    const xalan::XalanDOMString& getURI() const override { return none; }

private:
    std::map<std::u16string, xalan::XalanDOMString> uris;
    xalan::XalanDOMString none;
};

// Xalan-C over the native DOM. The wrapper is built up front, so Xalan orders nodes by its own index.
class Native {
public:
    // From a file, or from XML text when `isText` is set.
    Native(const std::string& source, bool isText, const FixedResolver& resolver) : prefixes(resolver) {
        parser.setDoNamespaces(true);
        if (isText) {
            MemBufInputSource input(reinterpret_cast<const XMLByte*>(source.data()), source.size(), "text");
            parser.parse(input);
        } else {
            parser.parse(source.c_str());
        }
        dropHostOnly(parser.getDocument());
        wrapper.reset(new xalan::XercesDocumentWrapper(xalan::XalanMemMgrs::getDefaultXercesMemMgr(),
                                                       parser.getDocument(), false, true, true));
    }
    xalan::XObjectPtr evaluate(const std::u16string& expression) {
        return evaluator.evaluate(support, wrapper->getDocumentElement(), expression.c_str(), prefixes);
    }
    std::vector<std::u16string> paths(const xalan::XObjectPtr& value) {
        std::vector<std::u16string> out;
        const xalan::NodeRefListBase& nodes = value->nodeset();
        for (xalan::XalanSize_t i = 0; i < nodes.getLength(); ++i)
            out.push_back(pathOf(const_cast<DOMNode*>(wrapper->mapNode(nodes.item(i))), false));
        return out;
    }

private:
    XercesDOMParser parser;
    std::unique_ptr<xalan::XercesDocumentWrapper> wrapper;
    xalan::DOMSupportDefault support;
    xalan::XPathEvaluator evaluator;
    NativePrefixes prefixes;
};

std::u16string str(const xalan::XalanDOMString& s) {
    return std::u16string(s.c_str(), s.length());
}

// Attribute order is the parser's own choice: sort each run of attributes of one element.
std::vector<std::u16string> canonical(std::vector<std::u16string> paths) {
    auto owner = [](const std::u16string& p) {
        const size_t at = p.find(u"/@");
        return at == std::u16string::npos ? std::u16string() : p.substr(0, at);
    };
    for (size_t i = 0; i < paths.size();) {
        size_t j = i + 1;
        if (!owner(paths[i]).empty())
            while (j < paths.size() && owner(paths[j]) == owner(paths[i])) ++j;
        std::sort(paths.begin() + static_cast<long>(i), paths.begin() + static_cast<long>(j));
        i = j;
    }
    return paths;
}

bool sameNumber(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

using Type = DOMXPathResult::ResultType;

class XPathDifferential : public XPathTest {
protected:
    // The same project in the host and in a native DOM; `isText`: XML text rather than a file.
    void open(const std::string& source, bool isText, std::map<std::u16string, std::u16string> prefixes) {
        if (isText)
            host.loadString(source);
        else
            load(source);
        openDocument();
        app.node = doc->getDocumentElement();
        resolver.reset(new FixedResolver(std::move(prefixes)));
        used = resolver.get();
        native.reset(new Native(source, isText, *resolver));
    }
    void TearDown() override {
        dom::dispose(app.node);
        app.node = nullptr;
        native.reset();
        XPathTest::TearDown();
    }

    void compareAll(const std::vector<std::u16string>& corpus) {
        for (const std::u16string& expression : corpus) {
            SCOPED_TRACE(narrow(expression));
            const xalan::XObjectPtr theirs = native->evaluate(expression);
            if (theirs->getType() == xalan::XObject::eTypeNodeSet)
                compareNodes(expression, theirs);
            else
                compareScalar(expression, theirs);
        }
    }

    Result ours(const std::u16string& expression, Type type) {
        Result r(evaluate(expression.c_str(), app.node, type, used));
        expectOtherGettersRefused(r.get());
        return r;
    }
    int refusal(const std::u16string& expression, Type type) {
        return xpathCode([&] { ours(expression, type); });
    }
    std::vector<std::u16string> iterated(DOMXPathResult* r) {
        std::vector<std::u16string> out;
        if (!r->isNode()) return out;
        do out.push_back(pathOf(r->getNodeValue(), true));
        while (r->iterateNext());
        return out;
    }

    void compareNodes(const std::u16string& expression, const xalan::XObjectPtr& theirs) {
        const std::vector<std::u16string> expected = canonical(native->paths(theirs));
        if (!expected.empty()) ++nonEmptyNodeSets;
        {
            Result r = ours(expression, DOMXPathResult::ANY_TYPE);
            EXPECT_EQ(r->getResultType(), DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE);
            EXPECT_EQ(canonical(iterated(r.get())), expected);
        }
        // The last one, the ordered snapshot, gives the library's own order (attributes of one element may
        // come in another order than the parser's) for the first node.
        std::vector<std::u16string> inOrder;
        for (int t = DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE;
             t <= DOMXPathResult::ORDERED_NODE_SNAPSHOT_TYPE; ++t) {
            Result r = ours(expression, static_cast<Type>(t));
            const bool snapshot = t >= DOMXPathResult::UNORDERED_NODE_SNAPSHOT_TYPE;
            inOrder = snapshot ? snapshotPaths(r.get()) : iterated(r.get());
            EXPECT_EQ(canonical(inOrder), expected) << "type " << t;
        }
        for (Type t : {DOMXPathResult::ANY_UNORDERED_NODE_TYPE, DOMXPathResult::FIRST_ORDERED_NODE_TYPE}) {
            Result r = ours(expression, t);
            EXPECT_EQ(pathOf(r->getNodeValue(), true), inOrder.empty() ? u"(none)" : inOrder.front());
        }
        if (expected.size() == 1) {
            Result r = ours(expression, DOMXPathResult::STRING_TYPE);
            EXPECT_EQ(text(r->getStringValue()), str(theirs->str()));
        } else {
            EXPECT_EQ(refusal(expression, DOMXPathResult::STRING_TYPE), 52);
        }
        EXPECT_EQ(refusal(expression, DOMXPathResult::NUMBER_TYPE), 52);
        EXPECT_EQ(refusal(expression, DOMXPathResult::BOOLEAN_TYPE), 52);
    }

    void compareScalar(const std::u16string& expression, const xalan::XObjectPtr& theirs) {
        const auto kind = theirs->getType();
        const bool isBoolean = kind == xalan::XObject::eTypeBoolean;
        const bool isNumber = kind == xalan::XObject::eTypeNumber;
        const Type natural = isBoolean  ? DOMXPathResult::BOOLEAN_TYPE
                             : isNumber ? DOMXPathResult::NUMBER_TYPE
                                        : DOMXPathResult::STRING_TYPE;
        EXPECT_EQ(ours(expression, DOMXPathResult::ANY_TYPE)->getResultType(), natural);
        EXPECT_EQ(text(ours(expression, DOMXPathResult::STRING_TYPE)->getStringValue()), str(theirs->str()));
        const bool isTrue = theirs->str() == xalan::XalanDOMString("true");
        if (isBoolean)
            EXPECT_EQ(ours(expression, DOMXPathResult::NUMBER_TYPE)->getNumberValue(), isTrue ? 1 : 0);
        else if (isNumber)
            EXPECT_TRUE(
                sameNumber(ours(expression, DOMXPathResult::NUMBER_TYPE)->getNumberValue(), theirs->num()));
        else
            EXPECT_EQ(refusal(expression, DOMXPathResult::NUMBER_TYPE), 52);
        if (isBoolean)
            EXPECT_EQ(ours(expression, DOMXPathResult::BOOLEAN_TYPE)->getBooleanValue(), isTrue);
        else
            EXPECT_EQ(refusal(expression, DOMXPathResult::BOOLEAN_TYPE), 52);
        for (int t = DOMXPathResult::UNORDERED_NODE_ITERATOR_TYPE;
             t <= DOMXPathResult::FIRST_ORDERED_NODE_TYPE; ++t)
            EXPECT_EQ(refusal(expression, static_cast<Type>(t)), 52) << "node type " << t;
        for (int t : {10, 100, 101, 102}) EXPECT_EQ(refusal(expression, static_cast<Type>(t)), 52) << t;
    }

    std::unique_ptr<Native> native;
    std::unique_ptr<FixedResolver> resolver; // Xalan's prefixes, and ours unless a test says otherwise
    const DOMXPathNSResolver* used = nullptr;
    size_t nonEmptyNodeSets = 0; // the comparisons that were not of two empty sets
    Owned app;
};

TEST_F(XPathDifferential, CorpusAgreesWithXalanOverANativeDom) {
    open(samplePath("project.xml"), false, sampleResolver().bindings);
    // Ours through the library's own resolver: it knows the prefixes the document element declares (kw,
    // xsi). Evaluated at the application element.
    std::unique_ptr<DOMXPathNSResolver> own(static_cast<DOMDocument*>(doc)->createNSResolver(app.node));
    used = own.get();
    const std::vector<std::u16string> corpus = {
        // Axes.
        u"project/layout",
        u".//box[@type='picture']",
        u"//box[@id='b7']/ancestor::*",
        u"//box[@id='b7']/following-sibling::*",
        u"//page[@id='l1s2p1']/following::box[position() < 4]",
        u"//page[@id='l1s2p1']/preceding::page",
        u"//spread[@id='l2s1']/descendant-or-self::*",
        u"nothing/at/all",
        // From the root.
        u"/",
        u"/application/project/layout[1]/@*",
        // Attributes and namespace declarations.
        u"@*",
        u"namespace::*",
        u"//color/@xsi:type",
        u"//*[@xsi:type = 'kw:ProcessColor']",
        u"count(//@xsi:type)",
        // Text nodes.
        u"//text()[contains(., 'BMP')]",
        // Predicates, positions and unions.
        u"//box[@width > 220][@type='text']",
        u"(//box)[last()]",
        u"project/layout | colors",
        u"//box/.. | //box[@type='picture']",
        u"//box[@id='b4']/ancestor::* | //box[@id='b13']/ancestor::*",
        // Numbers.
        u"sum(//box/@width)",
        u"1 div 0",
        u"number('x')",
        u"round(2.5) + floor(-2.5) + ceiling(0.2)",
        u"string-length(.)",
        u"count(//node())",
        // Strings.
        u"string(project/@name)",
        u"local-name(//color[1]/@xsi:type)",
        u"translate(string(//textRun[1]), 'aeiou', 'AEIOU')",
        u"normalize-space(//textRun[contains(., 'Tabs')][1])",
        // Booleans.
        u"boolean(//box[@shape='oval'])",
        u"project/@id = 'p1'",
        u"//box/@width = 200",
    };
    compareAll(corpus);
    EXPECT_EQ(nonEmptyNodeSets, 19u);
    EXPECT_EQ(doc->liveNodeCount(), 1u); // the application element held by the fixture
}

TEST_F(XPathDifferential, NamespacedDocumentAgreesWithXalan) {
    // Elements and attributes in a default namespace and under two prefixes; "d" names the default one.
    const std::string xml =
        "<application xmlns='urn:test:d' xmlns:a='urn:test:a' xmlns:b='urn:test:b' name='ns'>"
        "<layout a:id='1' id='2'><a:box b:kind='x'>one</a:box><box>two</box><b:box a:kind='y' "
        "kind='z'/></layout>"
        "<b:layout xmlns:a='urn:test:other'><a:box/><text>three <a:em>four</a:em> five</text></b:layout>"
        "</application>";
    open(xml, true,
         {{u"d", u"urn:test:d"}, {u"a", u"urn:test:a"}, {u"b", u"urn:test:b"}, {u"o", u"urn:test:other"}});
    compareAll({
        u"d:layout",
        u"*",
        u"//a:box",
        u"//o:box",
        u"//b:*",
        u"//d:box | //b:box",
        u"//@a:*",
        u"//d:text/node()",
        u"count(//*[namespace-uri() = 'urn:test:a'])",
        u"namespace-uri(//b:box)",
        u"local-name(//@b:kind)",
        u"string(//d:text)",
        u"//b:layout/namespace::*",
        u"boolean(//a:em)",
    });
    EXPECT_EQ(nonEmptyNodeSets, 9u);
}

} // namespace
