// Prunes empty structure: a node is written only if it is text, carries a specified attribute, or has
// such a node below it. The search below a node is a loop, not a recursion, so any depth is safe. While
// a WriterImpl write runs, the filter remembers the answers its searches found for every element they
// went through, so that the write asks the host about each node a bounded number of times however
// deeply the tree nests; between writes it remembers nothing.
#pragma once

#include <xercesc/dom/DOMLSSerializerFilter.hpp>

#include <memory>

namespace domImpl {

class WriterFilterImpl : public XERCES_CPP_NAMESPACE::DOMLSSerializerFilter {
public:
    WriterFilterImpl();
    ~WriterFilterImpl() override;
    FilterAction acceptNode(const XERCES_CPP_NAMESPACE::DOMNode* node) const override;
    ShowType getWhatToShow() const override { return 0xFFFF; }
    virtual void reserved() {}

    struct Answers;
    // Answers remembered for the life of one write (scopes nest: an inner one starts afresh and the
    // outer one's answers come back after it).
    class WriteSession {
    public:
        explicit WriteSession(const WriterFilterImpl& filter);
        ~WriteSession();
        WriteSession(const WriteSession&) = delete;
        WriteSession& operator=(const WriteSession&) = delete;

    private:
        const WriterFilterImpl& filter;
        std::unique_ptr<Answers> previous;
    };

private:
    mutable std::unique_ptr<Answers> answers;
};

} // namespace domImpl
