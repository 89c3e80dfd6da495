// A first plug-in: connect to the reference host, walk the project, change an attribute inside a
// transaction while listening for the mutation event it raises, run an XPath query, and save the result.
//
// Usage: plugin [PROJECT.xml]   (the bundled sample project when no file is given)
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKw/dom/DocumentLS.hpp>
#include <DOMKw/dom/Object.hpp>
#include <DOMKw/events/Events.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/TransService.hpp>

#include <cstdio>
#include <string>

using namespace xercesc;

namespace {

std::string utf8(const XMLCh* text) {
    if (!text || !*text) return {};
    TranscodeToStr bytes(text, "UTF-8");
    return reinterpret_cast<const char*>(bytes.str());
}

// Counts the elements below a node. Every node object the library hands out is ended with dom::dispose.
int countElements(DOMNode* node) {
    int n = 0;
    for (DOMNode* child = node->getFirstChild(); child;) {
        if (child->getNodeType() == DOMNode::ELEMENT_NODE) n += 1 + countElements(child);
        DOMNode* next = child->getNextSibling();
        dom::dispose(child);
        child = next;
    }
    return n;
}

// Prints the attribute changes the host reports.
class AttributeWatcher : public dom::events::EventListener {
public:
    void handleEvent(dom::events::Event* evt) override {
        if (auto* m = dynamic_cast<dom::events::MutationEvent*>(evt))
            std::printf("event: %s changed from \"%s\" to \"%s\"\n", utf8(m->getAttrName().GetUChar16()).c_str(),
                        utf8(m->getPrevValue().GetUChar16()).c_str(), utf8(m->getNewValue().GetUChar16()).c_str());
    }
};

} // namespace

int main(int argc, char** argv) {
    const std::string project = argc > 1 ? argv[1] : DOMKW_EXAMPLE_PROJECT;

    // 1. The host loads a project and connects the library, once.
    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
    try {
        host.loadFile(project);
    } catch (const kwhost::LoadError& e) {
        std::fprintf(stderr, "plugin: %s\n", e.what());
        return 1;
    }
    Kw::Connect(host.activateRec());

    // 2. The document, found through the registry by its feature name.
    DOMDocument* doc = DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createDocument();
    DOMElement* app = doc->getDocumentElement();
    std::printf("%s holds %d elements\n", utf8(app->getTagName()).c_str(), countElements(app));

    // 3. Listen for attribute changes on the application element: events bubble up to it.
    AttributeWatcher watcher;
    auto* target = dynamic_cast<dom::events::EventTarget*>(app);
    target->addEventListener(u"MutationEvent,DOMAttrModified", &watcher, false);

    // 4. Rename the first layout inside a transaction.
    DOMXPathResult* first = doc->evaluate(u"//layout[1]", doc, nullptr, DOMXPathResult::FIRST_ORDERED_NODE_TYPE, nullptr);
    auto* layout = static_cast<DOMElement*>(first->getNodeValue());
    {
        Kw::Transaction transaction;
        transaction.Begin();
        layout->setAttribute(u"name", u"Cover");
        transaction.Commit();
    }

    // 5. An XPath query.
    DOMXPathResult* count = doc->evaluate(u"count(//layout[@name='Cover']//box)", doc, nullptr,
                                          DOMXPathResult::NUMBER_TYPE, nullptr);
    std::printf("boxes on the Cover layout: %g\n", count->getNumberValue());
    count->release();

    // 6. Save the layout as XML.
    auto* ls = dynamic_cast<dom::ls::DocumentLS*>(doc);
    const std::string saved = utf8(ls->saveToString(layout));
    std::printf("saved %zu characters, starting: %.60s...\n", saved.size(), saved.c_str());

    dom::dispose(layout); // a node a result hands out is the caller's to end
    first->release();
    target->removeEventListener(u"MutationEvent,DOMAttrModified", &watcher, false);
    dom::dispose(app);
    doc->release();
    return host.outstandingReferences() == 0 ? 0 : 1;
}
