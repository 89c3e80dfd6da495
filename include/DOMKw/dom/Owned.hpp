// dom::Owned: holds an object the library handed out and ends it when the scope ends, however it ends.
//
// The library's objects end in one of two ways, and Owned picks the right one from the type it holds:
//   - a node (DOMElement, DOMAttr, DOMText, any DOMNode but the document) ends with dom::dispose; every
//     getter hands out a node of its own (release() on a node does nothing), so each one is guarded once;
//   - everything else that was made for the caller ends with release(): the document from
//     createDocument, XPath results, expressions and namespace resolvers, serializers and parsers.
//
//     dom::Owned<DOMDocument> doc(impl->createDocument());   // declared first: ended last
//     dom::Owned<DOMElement> app(doc->getDocumentElement());
//     auto found = dom::own(doc->evaluate(u"//layout", doc.get(), nullptr,
//                                         DOMXPathResult::FIRST_ORDERED_NODE_TYPE, nullptr));
//     dom::Owned<DOMNode> layout(found->getNodeValue());
//
// Releasing a document ends every node object of it that is still alive, so a node guard must not
// outlive its document's guard: declare the document first. Guard only what was handed to you to end:
// getOwnerDocument() answers the document itself, and a guard of it would release the document under
// everyone else's feet. Node lists and attribute maps belong to the node that made them and are never
// guarded (they have no release(), so a guard of one does not compile).
#pragma once

#include <DOMKw/dom/Object.hpp>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <type_traits>
#include <utility>

namespace dom {

// Whether an object of type T ends with dom::dispose (a node) rather than release(). A node typed as
// DOMNode that happens to be the document is disposed, which does nothing: only a guard typed as the
// document releases it.
template <class T>
inline constexpr bool endsWithDispose = std::is_base_of_v<XERCES_CPP_NAMESPACE::DOMNode, T> &&
                                        !std::is_base_of_v<XERCES_CPP_NAMESPACE::DOMDocument, T>;

template <class T> class Owned {
    static_assert(!std::is_const_v<T>, "ending an object changes it: hold it as non-const");

public:
    Owned() noexcept = default;
    explicit Owned(T* object) noexcept : object(object) {}
    Owned(Owned&& other) noexcept : object(other.release()) {}
    // From a guard of a derived type that ends the same way (Owned<DOMElement> into Owned<DOMNode>); a
    // document guard does not become a node guard, which would dispose it instead of releasing it.
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*> &&
                                                endsWithDispose<U> == endsWithDispose<T>>>
    Owned(Owned<U>&& other) noexcept : object(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { end(object); }

    T* get() const noexcept { return object; }
    T* operator->() const noexcept { return object; }
    T& operator*() const noexcept { return *object; }
    explicit operator bool() const noexcept { return object != nullptr; }

    // Ends the object held (if any) and holds `replacement`, a new hand-out, instead. A getter may hand
    // out the element object the guard holds already (elements are shared and counted per hand-out):
    // that is a claim of its own, so the old one still ends. An object ended with release() is never
    // handed out twice, so the same one again is the guard's own and is kept.
    void reset(T* replacement = nullptr) noexcept {
        if constexpr (!endsWithDispose<T>)
            if (replacement == object) return;
        T* old = object;
        object = replacement;
        end(old);
    }
    // Hands the object over without ending it; the caller ends it now. (Not to be confused with the
    // object's own release(), reached through the arrow: `result->release()` ends a result.)
    [[nodiscard]] T* release() noexcept {
        T* held = object;
        object = nullptr;
        return held;
    }
    void swap(Owned& other) noexcept { std::swap(object, other.object); }

private:
    // A guard ends its object on the way out of a scope, perhaps during an exception: a refusal here
    // (a node whose document was released first, DOMException 11) has nowhere to go and must not end the
    // host process, so it is dropped; the object is not touched.
    static void end(T* held) noexcept {
        if (!held) return;
        try {
            if constexpr (endsWithDispose<T>)
                dispose(held);
            else
                held->release();
        } catch (...) {
        }
    }

    T* object = nullptr;
};

// A guard of the type the expression hands out: auto result = dom::own(doc->evaluate(...));
template <class T> Owned<T> own(T* object) noexcept {
    return Owned<T>(object);
}

} // namespace dom
