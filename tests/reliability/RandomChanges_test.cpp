// Random sequences of DOM changes applied to the library over the reference host and to a native
// Xerces-C DOM of the same start document: after every step both serialize the same way, an XPath
// question gets the same answer from both, and the library holds no more host references than the open
// document needs.
//
// A failure prints its seed; replay one with DOMKW_SEED=<seed>. DOMKW_RANDOM_RUNS sets how many
// sequences run (a bounded number by default, for CI).
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKw/serialize/WriterImpl.hpp>
#include <DOMKwHost/ProjectGenerator.hpp>

#include <xalanc/DOMSupport/DOMSupportDefault.hpp>
#include <xalanc/XPath/XObject.hpp>
#include <xalanc/XPath/XPathEvaluator.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>
#include <xercesc/util/TransService.hpp>

#include <cstdlib>
#include <functional>
#include <random>
#include <sstream>

#include "common/NativeDom.hpp"
#include "dom/DomFixture.hpp"

using namespace testing_support;

namespace {

// Elements (or text nodes) of a tree in document order.
void collect(DOMNode* node, DOMNode::NodeType type, std::vector<DOMNode*>& out) {
    for (DOMNode* c = node->getFirstChild(); c; c = c->getNextSibling()) {
        if (c->getNodeType() == type) out.push_back(c);
        if (c->getNodeType() == DOMNode::ELEMENT_NODE) collect(c, type, out);
    }
}

// The same for the library's nodes: every node object made on the way is ended.
void collectHost(DOMNode* node, DOMNode::NodeType type, std::vector<int>& path, std::vector<std::vector<int>>& out) {
    int index = 0;
    for (DOMNode* c = node->getFirstChild(); c; ++index) {
        path.push_back(index);
        if (c->getNodeType() == type) out.push_back(path);
        if (c->getNodeType() == DOMNode::ELEMENT_NODE) collectHost(c, type, path, out);
        path.pop_back();
        DOMNode* next = c->getNextSibling();
        dom::dispose(c);
        c = next;
    }
}

// A node by its child-index path from `root`: native nodes directly, host nodes as new node objects.
DOMNode* byPath(DOMNode* root, const std::vector<int>& path, bool host) {
    DOMNode* at = root;
    bool owned = false;
    for (int step : path) {
        DOMNode* c = at->getFirstChild();
        for (int i = 0; i < step && c; ++i) {
            DOMNode* next = c->getNextSibling();
            if (host) dom::dispose(c);
            c = next;
        }
        if (host && owned) dom::dispose(at);
        at = c;
        owned = host;
    }
    return at;
}

// XPath answers that must agree between the two trees after every step.
const char16_t* const kQueries[] = {
    u"count(//*)", u"count(//text())", u"count(//@*)", u"string(//textRun[last()])", u"sum(//page/@number)",
    u"count(//*[@v])", u"string(//*[starts-with(name(), 'n')][1]/@v)", u"boolean(//replacement)",
};

// Asked of a document of its own, released at once: what XPath keeps for a document goes with it, so the
// reference count can be checked exactly after every step.
std::u16string ourAnswer(const char16_t* query) {
    DOMDocument* doc = domImpl::DocumentImpl::create(Kw::ElementRef::get_Application());
    DOMXPathResult* r = doc->evaluate(query, doc, nullptr, DOMXPathResult::STRING_TYPE, nullptr);
    std::u16string answer = r->getStringValue();
    r->release();
    doc->release();
    return answer;
}

// Xalan-C over the native tree as it is now (a new wrapper every time: the tree keeps changing).
std::u16string nativeAnswer(DOMDocument* doc, const char16_t* query) {
    namespace xalan = XALAN_CPP_NAMESPACE;
    xalan::XercesDocumentWrapper wrapper(xalan::XalanMemMgrs::getDefaultXercesMemMgr(), doc, false, true, true);
    xalan::DOMSupportDefault support;
    xalan::XPathEvaluator evaluator;
    const xalan::XObjectPtr value = evaluator.evaluate(support, &wrapper, query, wrapper.getDocumentElement());
    const xalan::XalanDOMString& text = value->str();
    return std::u16string(text.c_str(), text.length());
}

// Equal texts, or a failure that shows where they part.
::testing::AssertionResult sameText(const std::string& ours, const std::string& native) {
    if (ours == native) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < ours.size() && at < native.size() && ours[at] == native[at]) ++at;
    const size_t from = at > 120 ? at - 120 : 0;
    return ::testing::AssertionFailure() << "the trees part at offset " << at << "\n  ours:   ..."
                                         << ours.substr(from, 240) << "\n  native: ..." << native.substr(from, 240);
}

class RandomChanges : public DomTest {
protected:
    // One step applied to both trees; false when the library refused it (the native tree is then left
    // alone too).
    struct World {
        domImpl::DocumentImpl* doc;
        DOMElement* ours;      // our document element, held for the whole sequence
        DOMElement* native;
        DOMDocument* nativeDoc;
    };

    static std::string randomText(std::mt19937& rng) {
        static const char* const parts[] = {"a", "&", "<b>", "\xC3\xA9", "\xE2\x82\xAC", " ", "x y", "\"q\"", "\xF0\x9F\x98\x80"};
        std::string s;
        for (int i = 1 + static_cast<int>(rng() % 3); i > 0; --i) s += parts[rng() % 9];
        return s;
    }

    void run(uint32_t seed, int steps);
};

void RandomChanges::run(uint32_t seed, int steps) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with DOMKW_SEED=" + std::to_string(seed) + ")");
    std::mt19937 rng(seed);
    const std::string xml = kwhost::generateProject(60 + rng() % 60, seed);
    host.loadString(xml, "random");
    openDocument();
    NativeDom nativeDom(xml);
    World w{doc, doc->getDocumentElement(), nativeDom.root(), nativeDom.document()};
    DOMLSSerializer* xerces = DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSSerializer();
    DOMLSSerializer* writer = new domImpl::WriterImpl();
    const int64_t baseline = host.outstandingReferences();

    std::unique_ptr<Kw::Transaction> transaction;
    DOMNode* nativeSnapshot = nullptr; // the native tree as it was when the transaction began

    for (int step = 0; step < steps; ++step) {
        std::vector<std::vector<int>> elements, texts;
        std::vector<int> path;
        collectHost(w.ours, DOMNode::ELEMENT_NODE, path, elements);
        collectHost(w.ours, DOMNode::TEXT_NODE, path, texts);
        ASSERT_FALSE(elements.empty());
        auto pickElement = [&] { return elements[rng() % elements.size()]; };
        const int op = static_cast<int>(rng() % 9);
        std::ostringstream what;
        what << "step " << step << " op " << op;
        SCOPED_TRACE(what.str());

        auto both = [&](const std::vector<int>& p, std::function<void(DOMNode*, bool)> f) {
            DOMNode* mine = byPath(w.ours, p, true);
            DOMNode* theirs = byPath(w.native, p, false);
            f(mine, false);
            f(theirs, true);
            dom::dispose(mine);
        };
        switch (op) {
        case 0: { // insert a new element, with an attribute and text
            const auto parent = pickElement();
            const std::string name = "n" + std::to_string(rng() % 5), value = randomText(rng), text = randomText(rng);
            const std::u16string uname(name.begin(), name.end());
            const bool first = rng() % 2;
            both(parent, [&](DOMNode* p, bool native) {
                DOMDocument* factory = native ? w.nativeDoc : static_cast<DOMDocument*>(w.doc);
                DOMElement* e = factory->createElement(uname.c_str());
                xercesc::TranscodeFromStr v(reinterpret_cast<const XMLByte*>(value.data()), value.size(), "UTF-8");
                xercesc::TranscodeFromStr t(reinterpret_cast<const XMLByte*>(text.data()), text.size(), "UTF-8");
                e->setAttribute(u"v", v.str());
                e->appendChild(factory->createTextNode(t.str()));
                DOMNode* before = p->getFirstChild();
                DOMNode* inserted = p->insertBefore(e, first ? before : nullptr);
                if (!native) {
                    dom::dispose(before);
                    dom::dispose(inserted);
                    dom::dispose(e);
                }
            });
            break;
        }
        case 1: { // move an element under another one that is not inside it
            const auto from = pickElement(), to = pickElement();
            if (to.size() >= from.size() && std::equal(from.begin(), from.end(), to.begin())) break;
            DOMNode* mine = byPath(w.ours, from, true);
            DOMNode* target = byPath(w.ours, to, true);
            dom::dispose(target->appendChild(mine));
            dom::dispose(mine);
            dom::dispose(target);
            byPath(w.native, to, false)->appendChild(byPath(w.native, from, false));
            break;
        }
        case 2: { // remove an element
            const auto victim = pickElement();
            if (victim.size() < 2) break;
            const std::vector<int> parent(victim.begin(), victim.end() - 1);
            DOMNode* p = byPath(w.ours, parent, true);
            DOMNode* v = byPath(w.ours, victim, true);
            dom::dispose(p->removeChild(v));
            dom::dispose(v);
            dom::dispose(p);
            DOMNode* np = byPath(w.native, parent, false);
            np->removeChild(byPath(w.native, victim, false))->release();
            break;
        }
        case 3: { // replace an element by a new one
            const auto victim = pickElement();
            if (victim.size() < 2) break;
            const std::vector<int> parent(victim.begin(), victim.end() - 1);
            DOMNode* p = byPath(w.ours, parent, true);
            DOMNode* v = byPath(w.ours, victim, true);
            dom::dispose(p->replaceChild(w.doc->createElement(u"replacement"), v));
            dom::dispose(v);
            dom::dispose(p);
            DOMNode* np = byPath(w.native, parent, false);
            np->replaceChild(w.nativeDoc->createElement(u"replacement"), byPath(w.native, victim, false))->release();
            break;
        }
        case 4: { // set an attribute
            const std::string value = randomText(rng);
            const std::u16string name = rng() % 2 ? u"id" : u"extra";
            xercesc::TranscodeFromStr v(reinterpret_cast<const XMLByte*>(value.data()), value.size(), "UTF-8");
            both(pickElement(), [&](DOMNode* e, bool) { static_cast<DOMElement*>(e)->setAttribute(name.c_str(), v.str()); });
            break;
        }
        case 5:
        case 6: { // edit a text at random offsets
            if (texts.empty()) break;
            const auto at = texts[rng() % texts.size()];
            const std::string value = randomText(rng);
            xercesc::TranscodeFromStr v(reinterpret_cast<const XMLByte*>(value.data()), value.size(), "UTF-8");
            const uint32_t r1 = rng(), r2 = rng();
            both(at, [&](DOMNode* n, bool) {
                auto* t = static_cast<DOMText*>(n);
                const XMLSize_t length = t->getLength();
                if (op == 5) t->insertData(r1 % (length + 1), v.str());
                else if (length > 0) t->deleteData(r1 % length, r2 % 4);
            });
            break;
        }
        case 7: // start a transaction
            if (transaction) break;
            transaction = std::make_unique<Kw::Transaction>();
            ASSERT_TRUE(transaction->Begin());
            nativeSnapshot = w.native->cloneNode(true);
            break;
        case 8: // end it: commit or abort
            if (!transaction) break;
            if (rng() % 2) {
                ASSERT_TRUE(transaction->Commit());
                nativeSnapshot->release();
            } else {
                ASSERT_TRUE(transaction->Abort());
                w.nativeDoc->replaceChild(nativeSnapshot, w.native)->release();
                w.native = static_cast<DOMElement*>(nativeSnapshot);
            }
            nativeSnapshot = nullptr;
            transaction.reset();
            break;
        }
        if (std::getenv("DOMKW_DEBUG")) std::printf("step %d op %d: %s\n", step, op, host.toXml().c_str());
        ASSERT_TRUE(sameText(canonicalXml(writer, w.ours), canonicalXml(xerces, w.native)));
        const char16_t* query = kQueries[rng() % (sizeof kQueries / sizeof *kQueries)];
        ASSERT_EQ(ourAnswer(query), nativeAnswer(w.nativeDoc, query)) << std::string(query, query + std::char_traits<char16_t>::length(query));
        ASSERT_EQ(host.outstandingReferences(), baseline);
    }
    if (transaction) transaction->Commit();
    if (nativeSnapshot) nativeSnapshot->release();
    transaction.reset();
    writer->release();
    xerces->release();
    dom::dispose(w.ours);
}

TEST_F(RandomChanges, LibraryAndNativeDomStayAlike) {
    if (const char* seed = std::getenv("DOMKW_SEED")) {
        run(static_cast<uint32_t>(std::strtoul(seed, nullptr, 10)), 60);
        return;
    }
    const char* runs = std::getenv("DOMKW_RANDOM_RUNS");
    const int count = runs ? std::atoi(runs) : 30;
    for (int i = 0; i < count && !HasFatalFailure(); ++i) run(static_cast<uint32_t>(1000 + i), 40);
}

} // namespace
