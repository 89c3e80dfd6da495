# Xalan-C ships no pkg-config file or CMake package: the imported target is made from its library names.
if(NOT TARGET XalanC::XalanC)
  find_path(XALANC_INCLUDE_DIR xalanc/XPath/XPath.hpp REQUIRED)
  find_library(XALANC_LIBRARY xalan-c REQUIRED)
  find_library(XALANC_MSG_LIBRARY xalanMsg REQUIRED)
  add_library(XalanC::XalanC INTERFACE IMPORTED)
  target_include_directories(XalanC::XalanC INTERFACE ${XALANC_INCLUDE_DIR})
  target_link_libraries(XalanC::XalanC INTERFACE ${XALANC_LIBRARY} ${XALANC_MSG_LIBRARY} XercesC::XercesC)
endif()
