// Definitions of the schema vocabulary declared in DomSchemaConstants.hpp.
//
// Load and unload order. All pairs are defined in this one file, each twin immediately before its
// pointer. Initialisation within a translation unit follows definition order, so every kNameStr is
// constructed (and its destructor registered for unload) before kName takes the address of its
// buffer. Across shared libraries the dynamic loader finishes this library's initialisers before
// it starts those of any module linked against it, and runs the destructors registered here only
// after that module's, so a plug-in may use the names even from its own static objects. Inside the
// library the order between this file and the others is unspecified; that is safe because no
// other file reads these objects from a static initialiser or destructor (the library reads kXmlNS
// only from function bodies, at run time). Keep it that way: a process-wide object that needs one
// of these names belongs in a function-local static. The pointers are never reset at unload.
#include <DOMKw/schema/DomSchemaConstants.hpp>

#include <string>

namespace DomSchemaConstants {
namespace {

// The naming rule, for every name whose text is not written out: drop the leading 'k' and put
// the first letter in lower case. Only that letter changes (kCMYKColorSpaceType gives
// "cMYKColorSpaceType").
DOMBTString ruleText(const XMLCh* name) {
    std::u16string text(name + 1);
    if (!text.empty() && text[0] >= u'A' && text[0] <= u'Z')
        text[0] = static_cast<XMLCh>(text[0] - u'A' + u'a');
    return DOMBTString(text.c_str());
}

} // namespace

#define DOMKW_SCHEMA_DEFINE(name, twin)                                                                      \
    const DOMBTString name##Str = twin;                                                                      \
    const XMLCh* const name = name##Str.GetUChar16();
#define DOMKW_SCHEMA_NAME(name) DOMKW_SCHEMA_DEFINE(name, ruleText(u"" #name))
#define DOMKW_SCHEMA_NAME_TEXT(name, text) DOMKW_SCHEMA_DEFINE(name, DOMBTString(text))
#include <DOMKw/schema/DomSchemaNames.def>
#undef DOMKW_SCHEMA_DEFINE

} // namespace DomSchemaConstants
