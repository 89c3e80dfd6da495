#include "dom/SerializerFactory.hpp"

namespace domImpl {

SerializerFactory& serializerFactory() {
    static SerializerFactory factory;
    return factory;
}

} // namespace domImpl
