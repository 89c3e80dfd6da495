// The children of one of our elements written straight from host handles, without node objects: the
// bytes the delegate writes for them, with the same checks the guard makes on what it writes.
#pragma once

#include <xercesc/dom/DOMLSSerializer.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/framework/XMLFormatter.hpp>

#include <new>
#include <string>

#include "serialize/GuardFilter.hpp"
#include "serialize/RefusalWatch.hpp"

namespace domImpl::serializeImpl {

// Bytes written in memory, which can be cut back to an earlier length. A buffer starts with room for what
// the thread's previous one held: a project written again grows no buffer and leaves no trail of
// outgrown ones behind in the heap (room only: pages never written are never touched).
class OutputBuffer : public XERCES_CPP_NAMESPACE::XMLFormatTarget {
public:
    OutputBuffer() {
        try {
            bytes.reserve(previous());
        } catch (const std::bad_alloc&) {
            // Without the room, the buffer grows as it is written.
        }
    }
    ~OutputBuffer() override { previous() = bytes.size(); }
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    void writeChars(const XMLByte* const toWrite, const XMLSize_t count,
                    XERCES_CPP_NAMESPACE::XMLFormatter* const) override {
        bytes.append(reinterpret_cast<const char*>(toWrite), count);
    }
    size_t size() const { return bytes.size(); }
    void cutTo(size_t length) { bytes.resize(length); }
    const XMLByte* data() const { return reinterpret_cast<const XMLByte*>(bytes.data()); }

private:
    static size_t& previous() {
        thread_local size_t held = 0;
        return held;
    }
    std::string bytes;
};

// How the children of a node are written.
enum class HostWalkMode {
    NodeByNode, // through the delegate, a node object each
    Whole,      // from host handles, everything (no caller's filter)
    Pruned,     // from host handles, leaving out what the library's save filter leaves out
};

// HostWalkMode::NodeByNode unless `node` is one of our elements, the filter is none or the library's
// save filter, and the delegate's settings are those under which its output is plain (no pretty
// printing, no byte order mark, no canonical form, default content discarded) in an encoding that holds
// every character, for an XML 1.0 document.
HostWalkMode hostWalkMode(const XERCES_CPP_NAMESPACE::DOMNode* node, XERCES_CPP_NAMESPACE::DOMLSSerializer* d,
                          const XMLCh* encoding, const GuardFilter& guard);

// Writes the children of `node` (with their subtrees) to `target` in `encoding`, as the delegate writes
// them one by one. `any` tells whether there was a child. False when something written could not be
// written well-formed or lies too deep (a refusal the facade passed over comes first, as the host's
// DOMException). Nothing is read below the nesting bound but what the save filter's search reads.
bool writeHostChildren(const XERCES_CPP_NAMESPACE::DOMNode* node, HostWalkMode mode, const XMLCh* encoding,
                       OutputBuffer& target, const GuardFilter& guard, const RefusalWatch& watch, bool& any);

} // namespace domImpl::serializeImpl
