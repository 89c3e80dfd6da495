// A first plug-in: connect to the reference host, walk the project, change an attribute inside a
// transaction while listening for the mutation event it raises, run an XPath query, and save the result.
//
// Usage: plugin [PROJECT.xml]   (the bundled sample project when no file is given)
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/bridge/Transaction.hpp>
#include <DOMKw/dom/DocumentLS.hpp>
#include <DOMKw/dom/Owned.hpp>
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

// Counts the elements below a node. Every node object the library hands out is the caller's to end: the
// guard ends each child when the walk moves on (reset) or leaves, on an exception too.
int countElements(DOMNode* node) {
    int n = 0;
    for (dom::Owned<DOMNode> child(node->getFirstChild()); child; child.reset(child->getNextSibling()))
        if (child->getNodeType() == DOMNode::ELEMENT_NODE) n += 1 + countElements(child.get());
    return n;
}

// Prints the attribute changes the host reports.
class AttributeWatcher : public dom::events::EventListener {
public:
    void handleEvent(dom::events::Event* evt) override {
        if (auto* m = dynamic_cast<dom::events::MutationEvent*>(evt))
            std::printf(
                "event: %s changed from \"%s\" to \"%s\"\n", utf8(m->getAttrName().GetUChar16()).c_str(),
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

    {
        // 2. The document, found through the registry by its feature name. Its guard is declared first, so
        //    it ends last: releasing the document ends every node object of it still alive.
        dom::Owned<DOMDocument> doc(
            DOMImplementationRegistry::getDOMImplementation(u"Tellam 6.0")->createDocument());
        dom::Owned<DOMElement> app(doc->getDocumentElement());
        std::printf("%s holds %d elements\n", utf8(app->getTagName()).c_str(), countElements(app.get()));

        // 3. Listen for attribute changes on the application element: events bubble up to it. The host
        //    must forget the listener before it goes, on every way out of this scope.
        AttributeWatcher watcher;
        auto* target = dynamic_cast<dom::events::EventTarget*>(app.get());
        target->addEventListener(u"MutationEvent,DOMAttrModified", &watcher, false);
        struct Registration {
            dom::events::EventTarget* target;
            dom::events::EventListener* listener;
            ~Registration() {
                try {
                    target->removeEventListener(u"MutationEvent,DOMAttrModified", listener, false);
                } catch (...) {
                    // A registration the host no longer knows: nothing left to remove.
                }
            }
        } registration{target, &watcher};

        // 4. Rename the first layout inside a transaction. A node a result hands out is the caller's to end.
        auto first = dom::own(doc->evaluate(u"//layout[1]", doc.get(), nullptr,
                                            DOMXPathResult::FIRST_ORDERED_NODE_TYPE, nullptr));
        dom::Owned<DOMElement> layout(static_cast<DOMElement*>(first->getNodeValue()));
        if (!layout) {
            std::fprintf(stderr, "plugin: the project has no layout\n");
            return 1;
        }
        {
            Kw::Transaction transaction;
            transaction.Begin();
            layout->setAttribute(u"name", u"Cover");
            transaction.Commit();
        }

        // 5. An XPath query; its result is released when the guard goes.
        auto count = dom::own(doc->evaluate(u"count(//layout[@name='Cover']//box)", doc.get(), nullptr,
                                            DOMXPathResult::NUMBER_TYPE, nullptr));
        std::printf("boxes on the Cover layout: %g\n", count->getNumberValue());

        // 6. Save the layout as XML.
        auto* ls = dynamic_cast<dom::ls::DocumentLS*>(doc.get());
        const std::string saved = utf8(ls->saveToString(layout.get()));
        std::printf("saved %zu characters, starting: %.60s...\n", saved.size(), saved.c_str());
    } // The guards end everything here, last declared first.
    return host.outstandingReferences() == 0 ? 0 : 1;
}
