// events: listeners on the project, a short series of changes through the DOM, and every delivery.
#include <DOMKw/dom/Owned.hpp>
#include <DOMKw/events/Events.hpp>

#include <xercesc/dom/DOM.hpp>

#include "ToolSupport.hpp"

using namespace XERCES_CPP_NAMESPACE;

namespace domkw_tool {

namespace {

const char* const kMutationTypes[] = {
    "MutationEvent,DOMNodeInserted",         "MutationEvent,DOMNodeRemoved",
    "MutationEvent,DOMAttrModified",         "MutationEvent,DOMCharacterDataModified",
    "MutationEvent,DOMSubtreeModified",      "MutationEvent,DOMNodeInsertedIntoDocument",
    "MutationEvent,DOMNodeRemovedFromDocument",
};

const char* phaseName(unsigned short phase) {
    switch (phase) {
    case 1: return "capturing";
    case 2: return "at-target";
    case 3: return "bubbling";
    default: return "none";
    }
}

std::string pathOf(dom::events::EventTarget* target) {
    auto* node = dynamic_cast<DOMNode*>(target);
    return node ? locationPath(node) : std::string("(none)");
}

// Prints every delivery it receives.
class Printer : public dom::events::EventListener {
public:
    void handleEvent(dom::events::Event* evt) override {
        std::printf("%-44s %-9s target %s", utf8(evt->getType().GetUChar16()).c_str(), phaseName(evt->getEventPhase()),
                    pathOf(evt->getTarget()).c_str());
        if (auto* m = dynamic_cast<dom::events::MutationEvent*>(evt)) {
            if (DOMNode* related = m->getRelatedNode()) std::printf("  related %s", locationPath(related).c_str());
            const std::string name = utf8(m->getAttrName().GetUChar16());
            if (!name.empty()) std::printf("  attr %s", name.c_str());
            const std::string before = utf8(m->getPrevValue().GetUChar16()), after = utf8(m->getNewValue().GetUChar16());
            if (!before.empty() || !after.empty())
                std::printf("  \"%s\" -> \"%s\"", escaped(before).c_str(), escaped(after).c_str());
        }
        std::printf("\n");
    }
};

// The listener's registrations for the types, for both phases; removed again however the command ends,
// so that the host never calls a listener that is gone.
class Listening {
public:
    Listening(dom::events::EventTarget* target, const std::vector<std::u16string>& types,
              dom::events::EventListener* listener)
        : target(target), listener(listener) {
        for (const auto& t : types)
            for (bool capture : {true, false}) {
                target->addEventListener(t.c_str(), listener, capture);
                added.emplace_back(t, capture);
            }
    }
    ~Listening() {
        for (const auto& [type, capture] : added) {
            try {
                target->removeEventListener(type.c_str(), listener, capture);
            } catch (...) {
                // Nothing more to do for a registration the host no longer knows.
            }
        }
    }
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

private:
    dom::events::EventTarget* target;
    dom::events::EventListener* listener;
    std::vector<std::pair<std::u16string, bool>> added;
};

} // namespace

int runEvents(Args& args) {
    const std::string only = args.option("--type");
    Project project(args);
    args.done();
    DOMDocument* doc = project.document();
    std::vector<std::u16string> types;
    if (only.empty()) {
        for (const char* t : kMutationTypes) types.push_back(utf16(t));
    } else {
        types.push_back(utf16(only.find(',') == std::string::npos ? "MutationEvent," + only : only));
    }

    // One listener, on the application element, for the capture phase and for the rest of the flow.
    Printer printer;
    dom::Owned<DOMElement> root(doc->getDocumentElement());
    auto* target = dynamic_cast<dom::events::EventTarget*>(root.get());
    if (!target) throw InputError("the application element takes no listeners");
    Listening listening(target, types, &printer);

    // The changes, each announced before it is made.
    dom::Owned<DOMNode> colors = selectFirst(doc, "//colors");
    std::printf("# insert a colour: appendChild(<color id=\"c99\" name=\"Mint\"/>) under %s\n",
                locationPath(colors.get()).c_str());
    dom::Owned<DOMElement> fresh(doc->createElement(u"color"));
    fresh->setAttribute(u"id", u"c99");
    fresh->setAttribute(u"name", u"Mint");
    dom::Owned<DOMElement> added(static_cast<DOMElement*>(colors->appendChild(fresh.get())));
    std::printf("# set an attribute: name=\"Peppermint\" on %s\n", locationPath(added.get()).c_str());
    added->setAttribute(u"name", u"Peppermint");
    dom::Owned<DOMNode> text = selectFirst(doc, "(//textRun/text())[1]");
    std::printf("# edit a text: appendData(\" (edited)\") on %s\n", locationPath(text.get()).c_str());
    static_cast<DOMText*>(text.get())->appendData(u" (edited)");
    std::printf("# remove the colour again: removeChild(%s)\n", locationPath(added.get()).c_str());
    dom::Owned<DOMNode> removed(colors->removeChild(added.get()));
    return 0;
}

} // namespace domkw_tool
