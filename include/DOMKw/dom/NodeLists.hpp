// The exported searches by tag name and by type name. A list they answer holds host references, not
// node objects: item() wraps on the spot, and each item must be disposed. A list belongs to the node
// that made it and dies with that node object.
#pragma once

#include <DOMKw/strings/DOMBTString.hpp>

#include <xercesc/util/XercesDefs.hpp>

XERCES_CPP_NAMESPACE_BEGIN
class DOMElement;
class DOMNodeList;
XERCES_CPP_NAMESPACE_END

// The first element with the tag name below `element`: the host's search for a library element, the
// first of getElementsByTagName for a Xerces-C element; null when there is none.
XERCES_CPP_NAMESPACE::DOMElement* getElementByTagName(XERCES_CPP_NAMESPACE::DOMElement* element,
                                                      const DOMBTString& name);
// The children of a library element whose "xsi:type" is `typeName`; null for a Xerces-C element.
XERCES_CPP_NAMESPACE::DOMNodeList* getElementsByTypeName(XERCES_CPP_NAMESPACE::DOMElement* element,
                                                         const DOMBTString& typeName);
