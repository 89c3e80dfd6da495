// The XPath layer's start-up step.
#pragma once

namespace domImpl::xpathImpl {

// Starts Xerces-C and Xalan-C's XPath support and installs the XPath support every document of the
// library evaluates through; once per process, safe to call any number of times. Connect calls it at
// start-up; every entry into the XPath layer calls it too.
void startXPath();

} // namespace domImpl::xpathImpl
