// Random DOM changes of every kind, through the library and on a native DOM: after every step both write,
// answer XPath and announce events alike. DOMKW_RANDOM_STEPS and DOMKW_RANDOM_SEED replay a sequence.
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKwHost/ProjectGenerator.hpp>

#include <xalanc/DOMSupport/DOMSupportDefault.hpp>
#include <xalanc/XPath/XObject.hpp>
#include <xalanc/XPath/XPathEvaluator.hpp>
#include <xalanc/XercesParserLiaison/XercesDocumentWrapper.hpp>

#include <cstdlib>
#include <random>

#include "common/FnListener.hpp"
#include "common/NativeDom.hpp"
#include "common/DomFixture.hpp"
#include "serialize/WriterImpl.hpp"

using namespace testing_support;

namespace {

// XPath answers that must agree between the two trees.
const char16_t* const kQueries[] = {
    u"count(//*)",
    u"count(//text())",
    u"count(//@*)",
    u"string(//textRun[last()])",
    u"sum(//page/@number)",
    u"count(//*[@v])",
    u"string(//*[starts-with(name(), 'n')][1]/@v)",
    u"boolean(//replacement)",
};

// Asked of a document of its own, released at once, so that the reference count stays exact.
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
    xalan::XercesDocumentWrapper wrapper(xalan::XalanMemMgrs::getDefaultXercesMemMgr(), doc, false, true,
                                         true);
    xalan::DOMSupportDefault support;
    xalan::XPathEvaluator evaluator;
    const xalan::XObjectPtr value =
        evaluator.evaluate(support, &wrapper, query, wrapper.getDocumentElement());
    const xalan::XalanDOMString& text = value->str();
    return std::u16string(text.c_str(), text.length());
}

// Copies carry names as written ("xsi:type"), not bindings: texts are compared without declarations.
std::string withoutNamespaceDeclarations(std::string xml) {
    for (size_t at; (at = xml.find(" xmlns")) != std::string::npos;) {
        const size_t close = xml.find('"', xml.find('"', at) + 1);
        xml.erase(at, close + 1 - at);
    }
    return xml;
}

// Written subtrees that use a prefix they do not declare, counted across the run.
int namespaceFaults = 0;
int eventsHeard = 0; // mutation events heard across the run

// copyInto as the library defines it, over the native tree; throws the code the library throws.
void nativeCopyInto(DOMElement* target, DOMElement* source, bool deep) {
    if (deep) {
        if (target->hasAttribute(u"xsi:type")) {
            for (DOMNode* child = target->getFirstChild();
                 child && child->getNodeType() == DOMNode::ELEMENT_NODE; child = child->getNextSibling()) {
                DOMNodeList* found =
                    source->getElementsByTagName(static_cast<DOMElement*>(child)->getTagName());
                if (found->getLength() > 0)
                    nativeCopyInto(static_cast<DOMElement*>(child), static_cast<DOMElement*>(found->item(0)),
                                   true);
            }
        } else {
            std::vector<DOMNode*> copies;
            for (DOMNode* c = source->getFirstChild(); c; c = c->getNextSibling()) {
                for (DOMNode* at = target; at; at = at->getParentNode())
                    if (at == c) {
                        for (DOMNode* n : copies) n->release();
                        throw 3;
                    }
                // Copies reach the host as XML text: empty text leaves nothing, adjacent texts merge.
                if (c->getNodeType() == DOMNode::TEXT_NODE && !*c->getNodeValue()) continue;
                copies.push_back(c->cloneNode(true));
                copies.back()->normalize();
            }
            for (DOMNode* n : copies) target->appendChild(n);
        }
    }
    DOMNamedNodeMap* attrs = source->getAttributes();
    std::vector<std::pair<std::u16string, std::u16string>> values;
    for (XMLSize_t i = 0; i < attrs->getLength(); ++i)
        values.emplace_back(attrs->item(i)->getNodeName(), attrs->item(i)->getNodeValue());
    for (const auto& v : values) target->setAttribute(v.first.c_str(), v.second.c_str());
}

bool splitsPair(const std::u16string& t, size_t at) {
    return at > 0 && at < t.size() && t[at - 1] >= 0xD800 && t[at - 1] < 0xDC00 && t[at] >= 0xDC00 &&
           t[at] < 0xE000;
}

class RandomChanges : public DomTest {
protected:
    static std::u16string randomText(std::mt19937& rng) {
        static const char16_t* const parts[] = {u"a", u"&",   u"<b>",   u"\u00E9",    u"\u20AC",
                                                u" ", u"x y", u"\"q\"", u"\U0001F600"};
        std::u16string s;
        for (int i = 1 + static_cast<int>(rng() % 3); i > 0; --i) s += parts[rng() % 9];
        return s;
    }

    // Runs one sequence; `made` counts the steps made.
    void run(uint32_t seed, int steps, int& made);
};

void RandomChanges::run(uint32_t seed, int steps, int& made) {
    std::printf(
        "random changes: seed %u, %d steps (replay with DOMKW_RANDOM_SEED=%u DOMKW_RANDOM_STEPS=%d)\n", seed,
        steps, seed, steps);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const std::string xml = kwhost::generateProject(40 + rng() % 40, seed);
    host.loadString(xml, "random");
    openDocument();
    NativeDom nativeDom(xml);
    DOMDocument* nativeDoc = nativeDom.document();
    DOMElement* native = nativeDom.root();
    Owned ours(doc->getDocumentElement());
    const dom::Owned<DOMLSSerializer> writer(new domImpl::WriterImpl());
    // A copy or a subtree as Xerces-C writes it, for comparing texts.
    auto copyXml = [](const DOMNode* n) { return withoutNamespaceDeclarations(nativeXml(n)); };
    const int64_t baseline = host.outstandingReferences();
    std::unique_ptr<Kw::Transaction> transaction;
    // The native tree as it was when the transaction began.
    std::unique_ptr<DOMNode, void (*)(DOMNode*)> nativeSnapshot(nullptr, [](DOMNode* n) { n->release(); });

    // Mutation events heard at the document element, by kind; a step sets what it must announce (-1: not
    // predicted, as for copyInto's attribute writes and an abort's undoing).
    const char16_t* const kinds[] = {u"MutationEvent,DOMNodeInserted", u"MutationEvent,DOMNodeRemoved",
                                     u"MutationEvent,DOMAttrModified", u"MutationEvent,DOMCharacterDataModified"};
    FnListener heard[4];
    auto* target = dynamic_cast<dom::events::EventTarget*>(ours.node);
    for (int k = 0; k < 4; ++k) target->addEventListener(kinds[k], &heard[k], false);

    for (int step = 0; step < steps; ++step, ++made) {
        std::vector<Path> elements, texts;
        Path path;
        collect(native, DOMNode::ELEMENT_NODE, path, elements);
        collect(native, DOMNode::TEXT_NODE, path, texts);
        if (elements.empty()) break;
        auto pick = [&] { return elements[rng() % elements.size()]; };
        const int op = static_cast<int>(rng() % 12);
        SCOPED_TRACE("step " + std::to_string(step) + " op " + std::to_string(op));
        auto mine = [&](const Path& p) { return Owned(byPath(ours.node, p, true)); };
        int before[4], announced[4] = {0, 0, 0, 0}; // inserted, removed, attribute, character data
        for (int k = 0; k < 4; ++k) before[k] = heard[k].calls;
        auto theirs = [&](const Path& p) { return byPath(native, p, false); };

        switch (op) {
        case 0: { // new content: an element with an attribute and text, first or last
            const Path parent = pick();
            const std::u16string name = u"n" + std::u16string(1, char16_t(u'0' + rng() % 5));
            const std::u16string value = randomText(rng), text = randomText(rng);
            const bool first = rng() % 2;
            announced[0] = 1; // one insertion: the element comes with its attribute and text
            for (bool isNative : {false, true}) {
                DOMDocument* factory = isNative ? nativeDoc : static_cast<DOMDocument*>(doc);
                DOMElement* e = factory->createElement(name.c_str());
                const dom::Owned<DOMElement> ours(isNative ? nullptr : e); // a native one is its document's
                e->setAttribute(u"v", value.c_str());
                e->appendChild(factory->createTextNode(text.c_str()));
                if (isNative) {
                    DOMNode* p = theirs(parent);
                    p->insertBefore(e, first ? p->getFirstChild() : nullptr);
                } else {
                    Owned p = mine(parent);
                    Owned before(first ? p->getFirstChild() : nullptr);
                    Owned inserted(p->insertBefore(e, before.node));
                }
            }
            break;
        }
        case 1: { // a move, ancestors into their own descendants included
            const Path from = pick(), to = pick();
            const bool cycle = isPrefix(from, to);
            const bool staysPut = theirs(to)->getLastChild() == theirs(from);
            announced[0] = announced[1] = cycle || staysPut ? 0 : 1;
            Owned node = mine(from), target = mine(to);
            const int code = thrownCode([&] { Owned moved(target->appendChild(node.node)); });
            ASSERT_EQ(code, cycle ? 3 : 0);
            if (!cycle) theirs(to)->appendChild(theirs(from));
            break;
        }
        case 2: { // remove; the copy handed back is the subtree as it was
            const Path victim = pick();
            if (victim.size() < 2) break;
            const Path parent(victim.begin(), victim.end() - 1);
            announced[1] = 1;
            Owned p = mine(parent), v = mine(victim);
            Owned removed(p->removeChild(v.node));
            DOMNode* n = theirs(victim);
            ASSERT_EQ(copyXml(removed.node), copyXml(n));
            theirs(parent)->removeChild(n)->release();
            break;
        }
        case 3: { // replace by new content or by an existing element, ancestors of the parent included
            const Path victim = pick(), by = pick();
            const bool fresh = rng() % 2;
            if (victim.size() < 2 || (!fresh && victim == by)) break;
            const Path parent(victim.begin(), victim.end() - 1);
            const bool cycle = !fresh && isPrefix(by, parent);
            // The element moves in before the old child (unless it is there already), then the old one goes.
            const bool inPlace = !fresh && theirs(by)->getNextSibling() == theirs(victim);
            announced[0] = cycle || inPlace ? 0 : 1;
            announced[1] = cycle ? 0 : inPlace || fresh ? 1 : 2;
            Owned p = mine(parent), v = mine(victim);
            Owned n(fresh ? doc->createElement(u"replacement") : byPath(ours.node, by, true));
            const int code = thrownCode([&] { Owned old(p->replaceChild(n.node, v.node)); });
            ASSERT_EQ(code, cycle ? 3 : 0);
            DOMNode* replacement = fresh ? nativeDoc->createElement(u"replacement") : theirs(by);
            if (!cycle) theirs(parent)->replaceChild(replacement, theirs(victim))->release();
            break;
        }
        case 4: { // an attribute written (later steps move, clone and copy it)
            const Path at = pick();
            const std::u16string value = randomText(rng);
            const std::u16string name = rng() % 2 ? u"id" : u"extra";
            auto* nativeElement = static_cast<DOMElement*>(theirs(at));
            announced[2] = nativeElement->hasAttribute(name.c_str()) && value == nativeElement->getAttribute(name.c_str()) ? 0 : 1;
            Owned e = mine(at);
            e.element()->setAttribute(name.c_str(), value.c_str());
            static_cast<DOMElement*>(theirs(at))->setAttribute(name.c_str(), value.c_str());
            // The element object enumerates what it just wrote.
            ASSERT_EQ(e->getAttributes()->getLength(), theirs(at)->getAttributes()->getLength());
            break;
        }
        case 5:
        case 6: { // character data at the offset boundaries
            if (texts.empty()) break;
            const Path at = texts[rng() % texts.size()];
            const std::u16string value = randomText(rng);
            auto* n = static_cast<DOMText*>(theirs(at));
            const std::u16string data = n->getData();
            const size_t length = data.size();
            const size_t offsets[] = {0, length, length + 1, rng() % (length + 1)};
            const size_t offset = offsets[rng() % 4];
            const size_t count = rng() % 4;
            const int kind = static_cast<int>(rng() % 6); // insert, delete, replace, substring, append, set
            const size_t end = offset + std::min(count, length > offset ? length - offset : 0);
            // The library's documented refusals: an index past the text (its own code 1; deletion and
            // replacement also at the length), and an edit inside a surrogate pair (5).
            int expected = 0;
            if (kind == 0) expected = offset > length ? 1001 : splitsPair(data, offset) ? 5 : 0;
            if (kind == 1 || kind == 2)
                expected = offset >= length                                    ? 1001
                           : splitsPair(data, offset) || splitsPair(data, end) ? 5
                                                                               : 0;
            if (kind == 3) expected = offset > length ? 1001 : 0;
            // The same edit of either text; a substring is handed back.
            auto edit = [&](DOMText* t) {
                switch (kind) {
                case 0:
                    t->insertData(offset, value.c_str());
                    break;
                case 1:
                    t->deleteData(offset, count);
                    break;
                case 2:
                    t->replaceData(offset, count, value.c_str());
                    break;
                case 3:
                    return std::u16string(t->substringData(offset, count));
                case 4:
                    t->appendData(value.c_str());
                    break;
                default:
                    t->setData(value.c_str());
                }
                return std::u16string();
            };
            Owned t = mine(at);
            ASSERT_NE(t.node, nullptr);
            std::u16string ourPart;
            const int code = thrownCode([&] { ourPart = edit(static_cast<DOMText*>(t.node)); });
            ASSERT_EQ(code, expected) << "kind " << kind << " at " << offset << " of " << length;
            if (code) break;
            // Each edit is at most one deletion, then one insertion, each announced.
            announced[3] = kind == 3                ? 0
                           : kind == 0 || kind == 4 ? 1
                           : kind == 5              ? (length > 0) + 1
                                                    : (end > offset) + (kind == 2);
            ASSERT_TRUE(ourPart == edit(n));
            break;
        }
        case 7: { // copyInto, deep or not, from any element into any element
            const Path to = pick(), from = pick();
            const bool deep = rng() % 2;
            int expected = 0;
            try {
                // A refusal midway (between the levels of a typed target) leaves both trees alike.
                nativeCopyInto(static_cast<DOMElement*>(theirs(to)), static_cast<DOMElement*>(theirs(from)),
                               deep);
            } catch (int c) {
                expected = c;
            }
            announced[0] = announced[2] = announced[3] = -1; // copies never remove
            Owned target = mine(to), source = mine(from);
            const int code = thrownCode(
                [&] { static_cast<domImpl::ElementImpl*>(target.node)->copyInto(source.node, deep); });
            ASSERT_EQ(code, expected);
            break;
        }
        case 8: { // copies of a random subtree: cloneNode and exportCopy against the native clone
            const Path at = pick();
            Owned e = mine(at);
            DOMNode* nativeClone = theirs(at)->cloneNode(true);
            const std::string expected = copyXml(nativeClone);
            nativeClone->release();
            Owned clone(e->cloneNode(true));
            ASSERT_EQ(copyXml(clone.node), expected);
            Owned exported(static_cast<domImpl::ElementImpl*>(e.node)->exportCopy(true));
            ASSERT_EQ(copyXml(exported.node), expected);
            ASSERT_TRUE(e->isEqualNode(theirs(at)));
            break;
        }
        case 9: { // a random subtree written by the library parses back into what the native tree holds
            const Path at = pick();
            Owned e = mine(at);
            XMLCh* written = writer->writeToString(e.node);
            ASSERT_NE(written, nullptr);
            const std::u16string text(written);
            XMLPlatformUtils::fgMemoryManager->deallocate(written);
            const auto plain = parseBack(text, false);
            ASSERT_TRUE(plain) << "not well-formed";
            ASSERT_EQ(copyXml(plain->getDocument()->getDocumentElement()), copyXml(theirs(at)));
            if (!parseBack(text, true)) ++namespaceFaults;
            break;
        }
        case 10: // a transaction begins
            if (transaction) break;
            transaction = std::make_unique<Kw::Transaction>();
            ASSERT_TRUE(transaction->Begin());
            nativeSnapshot.reset(native->cloneNode(true));
            break;
        case 11: { // it ends (commit or abort), or is rolled back and stays open
            if (!transaction) break;
            const int end = static_cast<int>(rng() % 3);
            if (end == 0) {
                ASSERT_TRUE(transaction->Commit());
                nativeSnapshot.reset();
                transaction.reset();
                break;
            }
            std::fill(announced, announced + 4, -1); // undoing is announced as the host sees fit
            ASSERT_TRUE(end == 1 ? transaction->Abort() : transaction->Rollback());
            nativeDoc->replaceChild(nativeSnapshot.get(), native)->release();
            native = static_cast<DOMElement*>(nativeSnapshot.release());
            if (end == 1)
                transaction.reset();
            else
                nativeSnapshot.reset(native->cloneNode(true));
            break;
        }
        }
        ASSERT_EQ(canonicalXml(writer.get(), ours.node), nativeXml(native));
        for (int k = 0; k < 4; ++k) {
            eventsHeard += heard[k].calls - before[k];
            if (announced[k] >= 0) {
                ASSERT_EQ(heard[k].calls - before[k], announced[k]) << "kind " << k;
            }
        }
        const char16_t* query = kQueries[rng() % (sizeof kQueries / sizeof *kQueries)];
        ASSERT_EQ(ourAnswer(query), nativeAnswer(nativeDoc, query))
            << std::string(query, query + std::char_traits<char16_t>::length(query));
        ASSERT_EQ(host.outstandingReferences(), baseline);
    }
    if (transaction) transaction->Commit();
}

TEST_F(RandomChanges, LibraryAndNativeDomStayAlike) {
    const char* stepsText = std::getenv("DOMKW_RANDOM_STEPS");
    const char* seedText = std::getenv("DOMKW_RANDOM_SEED");
    const int total = stepsText ? std::atoi(stepsText) : 2500;
    const uint32_t first = seedText ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : 1000;
    constexpr int perSequence = 150;
    int made = 0;
    for (uint32_t seed = first; made < total && !HasFatalFailure(); ++seed)
        run(seed, std::min(perSequence, total - made), made);
    std::printf("random changes: %d steps made, %d mutation events heard\n", made, eventsHeard);
    EXPECT_GT(eventsHeard, made / 2);
    std::printf("random changes: %d written subtree(s) use a prefix they do not declare\n", namespaceFaults);
    EXPECT_EQ(namespaceFaults, 0);
}

} // namespace
