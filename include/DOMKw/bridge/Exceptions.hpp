// The library's own error codes now live with the lowest layer; this name keeps existing includes working.
#pragma once

#include <DOMKw/platform/Exceptions.hpp>
