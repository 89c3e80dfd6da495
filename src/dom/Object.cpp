#include <DOMKw/bridge/Exceptions.hpp>
#include <DOMKw/dom/Object.hpp>

namespace dom {

Object::~Object() = default;

const void* Object::implementation_() const {
    throw dom::Exceptions::NOT_SUPPORTED_ERR;
}

Object* Object::clone() const {
    throw dom::Exceptions::NOT_SUPPORTED_ERR;
}

} // namespace dom
