// Every host call of every public change, copy and output operation, made to fail in turn (the driver
// is in Sweep.hpp; the single calls of the failure table are swept there too).
#include "reliability/Sweep.hpp"

using namespace testing_support;
using namespace sweep;

namespace {

class EveryCallSweep : public SweepTest {};

// Mutations: the host tree after the clean run is what they produce.
std::vector<Operation> mutations() {
    auto& transaction = SweepTest::transaction;
    auto inTransaction = [&transaction](std::function<void(DOMDocument*)> change) {
        return [&transaction, change](DOMDocument* doc) {
            transaction() = std::make_unique<Kw::Transaction>();
            transaction()->Begin();
            change(doc);
        };
    };
    return {
        {"insertBefore of new content (element with attribute and text)",
         {"project/layout/spread/page", "project/layout/spread/page/box[2]"},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMElement* fresh = doc->createElement(u"box");
             fresh->setAttribute(u"id", u"b9");
             fresh->appendChild(doc->createTextNode(u"a < b & c"));
             Owned freshGuard(fresh);
             Owned inserted(s[0]->insertBefore(fresh, s[1]));
             return done;
         }},
        {"appendChild of new text", {"project/layout/spread/page"},
         [](DOMDocument* doc, const Subjects& s) -> Result { Owned fresh(doc->createTextNode(u"tail & end")); Owned inserted(s[0]->appendChild(fresh.node)); return done; }},
        {"appendChild moving a story", {"project/layout[2]/spread", "project/story"},
         [](DOMDocument*, const Subjects& s) -> Result { Owned moved(s[0]->appendChild(s[1])); return done; }},
        {"appendChild moving a text", {"project/layout[2]/spread/page", kText},
         [](DOMDocument*, const Subjects& s) -> Result { Owned moved(s[0]->appendChild(s[1])); return done; }},
        {"insertBefore moving a box before its sibling", {"project/layout/spread/page", kBox, "project/layout/spread/page/box[2]"},
         [](DOMDocument*, const Subjects& s) -> Result { Owned moved(s[0]->insertBefore(s[2], s[1])); return done; }},
        {"insertBefore of an ancestor (refused)",
         {"project/story/paragraph/textRun", "project/story"},
         [](DOMDocument*, const Subjects& s) -> Result {
             try {
                 Owned moved(s[0]->appendChild(s[1]));
             } catch (const DOMException& e) {
                 if (static_cast<short>(e.code) == 3) return done;
                 throw;
             }
             return std::string("accepted");
         }},
        {"replaceChild by new content",
         {"project", "project/story"},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMElement* fresh = doc->createElement(u"story");
             fresh->setAttribute(u"id", u"s2");
             Owned freshGuard(fresh);
             Owned old(s[0]->replaceChild(fresh, s[1]));
             return copyText(old.node ? old->cloneNode(true) : nullptr);
         }},
        {"replaceChild by a moved host element", {"project/layout/spread/page", kBox, "project/layout[2]/spread/page/box"},
         [](DOMDocument*, const Subjects& s) -> Result { Owned old(s[0]->replaceChild(s[2], s[1])); return copyText(old.node ? old->cloneNode(true) : nullptr); }},
        {"setAttribute (new)", {kBox},
         [](DOMDocument*, const Subjects& s) -> Result { E(s, 0)->setAttribute(u"added", u"yes"); return done; }},
        {"setAttributeNode",
         {kBox},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMAttr* a = doc->createAttribute(u"added");
             a->setValue(u"1");
             Owned guard(a);
             Owned result(E(s, 0)->setAttributeNode(a));
             return done;
         }},
        {"setAttributeNodeNS",
         {kBox},
         [](DOMDocument* doc, const Subjects& s) -> Result {
             DOMAttr* a = doc->createAttribute(u"added");
             a->setValue(u"1");
             Owned guard(a);
             Owned result(E(s, 0)->setAttributeNodeNS(a));
             return done;
         }},
        {"Attr setValue", {kBox},
         [](DOMDocument*, const Subjects& s) -> Result { Owned a(E(s, 0)->getAttributeNode(u"bounds")); static_cast<DOMAttr*>(a.node)->setValue(u"1/2"); return done; }},
        {"Attr setNodeValue", {kBox},
         [](DOMDocument*, const Subjects& s) -> Result { Owned a(E(s, 0)->getAttributeNode(u"id")); a->setNodeValue(u"b7"); return done; }},
        {"setData", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->setData(u"new text"); return done; }},
        {"setNodeValue to empty", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->setNodeValue(u""); return done; }},
        {"insertData at 0", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->insertData(0, u">"); return done; }},
        {"insertData at the end", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->insertData(12, u"<"); return done; }},
        {"replaceData", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { T(s, 0)->replaceData(0, 5, u"Howdy"); return done; }},
        {"replaceWholeText", {kText},
         [](DOMDocument*, const Subjects& s) -> Result { Owned whole(T(s, 0)->replaceWholeText(u"whole")); return done; }},
        {"copyInto, deep", {"colors/color[2]", "project/layout/spread/page"},
         [](DOMDocument*, const Subjects& s) -> Result { own(s, 0)->copyInto(s[1], true); return done; }},
        {"copyInto of a typed element: its children take from their namesakes",
         {"colors/color", "project/layout/spread/page"},
         [](DOMDocument*, const Subjects& s) -> Result {
             own(s, 0)->copyInto(s[1], true);
             return done;
         },
         [](DOMDocument* doc) {
             // The typed colour gets two children; the first finds its namesake box in the source.
             Owned c1(element(doc, "colors/color"));
             DOMElement* box = doc->createElement(u"box");
             box->setAttribute(u"id", u"x");
             box->setAttribute(u"bounds", u"0/0");
             Owned b(box), added(c1->appendChild(box));
             Owned paragraph(doc->createElement(u"paragraph")), added2(c1->appendChild(paragraph.node));
         }},
        {"copyInto, attributes only", {"project/layout[2]/spread/page/box", kBox},
         [](DOMDocument*, const Subjects& s) -> Result { own(s, 0)->copyInto(s[1], false); return done; }},
        {"Transaction Begin",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Begin() ? done : std::nullopt;
         },
         [&transaction](DOMDocument*) { transaction() = std::make_unique<Kw::Transaction>(); }},
        {"Transaction Commit",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Commit() ? done : std::nullopt;
         },
         inTransaction([](DOMDocument* doc) {
             Owned e(element(doc, kBox));
             e.element()->setAttribute(u"added", u"yes");
         })},
        {"Transaction Abort",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Abort() ? done : std::nullopt;
         },
         inTransaction([](DOMDocument* doc) {
             Owned project(element(doc, "project")), layout(element(doc, "project/layout"));
             dom::dispose(project->removeChild(layout.node));
         })},
        {"Transaction Rollback",
         {},
         [&transaction](DOMDocument*, const Subjects&) -> Result {
             return transaction()->Rollback() ? done : std::nullopt;
         },
         inTransaction([](DOMDocument* doc) {
             Owned run(element(doc, "project/story/paragraph/textRun"));
             Owned t(run->getFirstChild());
             static_cast<DOMText*>(t.node)->setData(u"changed");
         })},
    };
}

std::vector<Operation> copies() {
    return {
        {"cloneNode(true) of the project",
         {"project"},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(s[0]->cloneNode(true)); }},
        {"cloneNode(false) of a box",
         {kBox},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(s[0]->cloneNode(false)); }},
        {"exportCopy(true) of the application",
         {""},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(own(s, 0)->exportCopy(true)); }},
        {"cloneNode of a text",
         {kText},
         [](DOMDocument*, const Subjects& s) -> Result { return copyText(s[0]->cloneNode(true)); }},
    };
}

// A caller's filter shown no kind of node: a write through it goes node by node through the Xerces-C
// delegate instead of the writer's own walk over host handles, with the same output.
class ShowsNothing : public DOMLSSerializerFilter {
public:
    FilterAction acceptNode(const DOMNode*) const override { return FILTER_ACCEPT; }
    ShowType getWhatToShow() const override { return 0; }
};

// The library's save filter taken for a caller's: the write asks it node by node.
class SaveFilterNodeByNode : public domImpl::WriterFilterImpl {};

// A write of `node` through `filter` (none: nullptr), to a string or to a byte stream; nullopt for a
// failed write.
Result writtenThrough(DOMLSSerializerFilter* filter, const DOMNode* node, bool toStream = false) {
    std::unique_ptr<DOMLSSerializer, void (*)(DOMLSSerializer*)> writer(new domImpl::WriterImpl(),
                                                                         [](DOMLSSerializer* w) { w->release(); });
    writer->setFilter(filter);
    if (toStream) {
        std::unique_ptr<DOMLSOutput, void (*)(DOMLSOutput*)> output(
            DOMImplementationRegistry::getDOMImplementation(u"Core LS")->createLSOutput(),
            [](DOMLSOutput* o) { o->release(); });
        MemBufFormatTarget target;
        output->setByteStream(&target);
        output->setEncoding(u"UTF-8");
        if (!writer->write(node, output.get())) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(target.getRawBuffer()), target.getLen());
    }
    XMLCh* out = writer->writeToString(node, nullptr);
    if (!out) return std::nullopt;
    std::string result = utf8(out);
    XMLPlatformUtils::fgMemoryManager->deallocate(out);
    return result;
}

std::vector<Operation> outputs() {
    auto text = [](const XMLCh* t) -> Result { return t ? Result(utf8(t)) : std::nullopt; };
    auto write = [](bool nodeByNode, bool saveFilter, bool toStream) {
        return [=](DOMDocument*, const Subjects& s) -> Result {
            ShowsNothing shows;
            SaveFilterNodeByNode save;
            return writtenThrough(saveFilter ? static_cast<DOMLSSerializerFilter*>(&save) : nodeByNode ? &shows : nullptr,
                                  s[0], toStream);
        };
    };
    return {
        {"writeToString of the project", {"project"}, write(false, false, false)},
        {"writeToString of the project, node by node", {"project"}, write(true, false, false)},
        {"writeToString of the project through the save filter, node by node", {"project"}, write(true, true, false)},
        {"write of the application", {""}, write(false, false, true)},
        {"write of the application, node by node", {""}, write(true, false, true)},
        {"saveToString of the document",
         {},
         [text](DOMDocument* doc, const Subjects&) -> Result {
             return text(static_cast<domImpl::DocumentImpl*>(doc)->saveToString(nullptr));
         }},
        {"saveToString of a box",
         {kBox},
         [text](DOMDocument* doc, const Subjects& s) -> Result {
             return text(static_cast<domImpl::DocumentImpl*>(doc)->saveToString(s[0]));
         }},
    };
}

TEST_F(EveryCallSweep, MutationsSucceedCompletelyOrKeepTheTree) {
    Tally tally;
    sweep(mutations(), tally);
    report("mutations", tally);
}

TEST_F(EveryCallSweep, CopiesAreCompleteOrRefused) {
    Tally tally;
    sweep(copies(), tally);
    report("copies", tally);
}

TEST_F(EveryCallSweep, OutputsAreCompleteOrFail) {
    Tally tally;
    sweep(outputs(), tally);
    report("outputs", tally);
}

} // namespace
