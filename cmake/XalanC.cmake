# Xalan-C ships no pkg-config file or CMake package: the imported targets are made from its library names.
#   XalanC::Headers  its include directory only: the installed XPath headers name Xalan-C's types, so a
#                    plug-in compiling them needs the headers, but not the libraries.
#   XalanC::XalanC   headers and libraries, for code that calls Xalan-C itself (the library, and a plug-in
#                    that uses the Xalan-C members of XPathResultImpl).
if(NOT TARGET XalanC::XalanC)
  find_path(XALANC_INCLUDE_DIR xalanc/XPath/XPath.hpp REQUIRED)
  find_library(XALANC_LIBRARY xalan-c REQUIRED)
  find_library(XALANC_MSG_LIBRARY xalanMsg REQUIRED)
  add_library(XalanC::Headers INTERFACE IMPORTED)
  target_include_directories(XalanC::Headers INTERFACE ${XALANC_INCLUDE_DIR})
  add_library(XalanC::XalanC INTERFACE IMPORTED)
  target_link_libraries(XalanC::XalanC INTERFACE XalanC::Headers ${XALANC_LIBRARY} ${XALANC_MSG_LIBRARY}
    XercesC::XercesC)
endif()
