// A resolver handed out by createNSResolver ends with release(), like results and serializers.
#include "xpath/XPathFixture.hpp"

namespace {

using namespace testing_support;

class ResolverRelease : public XPathTest {};

TEST_F(ResolverRelease, ReleaseEndsTheResolverAndGivesBackItsReferences) {
    const int64_t before = host.outstandingReferences();
    struct Case {
        const char* made;
        const XMLCh* nodePath; // null: the resolver is made for no node
    } cases[] = {{"for the application element", u"/application"},
                 {"for an attribute", u"(//@*)[1]"},
                 {"for a text", u"(//text())[1]"},
                 {"for no node", nullptr}};
    for (const Case& c : cases) {
        DOMNode* node = nullptr;
        if (c.nodePath) {
            Result r(evaluate(c.nodePath, docNode(), DOMXPathResult::FIRST_ORDERED_NODE_TYPE));
            node = r->getNodeValue();
        }
        DOMXPathNSResolver* resolver = static_cast<DOMDocument*>(doc)->createNSResolver(node);
        ASSERT_NE(resolver, nullptr) << c.made;
        if (node) {
            // The resolver holds its own node object: the caller's may go first.
            dom::dispose(node);
            EXPECT_EQ(text(resolver->lookupNamespaceURI(u"xsi")), XSI_NAMESPACE) << c.made;
            Result typed(evaluate(u"count(//color[@xsi:type = 'ProcessColor'])", docNode(),
                                  DOMXPathResult::NUMBER_TYPE, resolver));
            EXPECT_EQ(typed->getNumberValue(), 1) << c.made;
        }
        EXPECT_NO_THROW(resolver->release()) << c.made;
    }
    // Nothing the resolvers took is still held once the document's own XPath view is gone.
    doc->release();
    doc = nullptr;
    EXPECT_EQ(host.outstandingReferences(), 0) << "before the resolvers: " << before;
}

TEST_F(ResolverRelease, AResolverOutlivingItsDocumentStillEndsWithRelease) {
    DOMXPathNSResolver* resolver = nullptr;
    {
        Owned app(doc->getDocumentElement());
        resolver = static_cast<DOMDocument*>(doc)->createNSResolver(app.node);
    }
    doc->release(); // ends every node object of the document, the one the resolver took included
    doc = nullptr;
    EXPECT_NO_THROW(resolver->release());
    EXPECT_EQ(host.outstandingReferences(), 0);
}

} // namespace
