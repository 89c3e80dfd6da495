// Synthetic projects of any size with the shape of the sample project: preferences, colours, styles,
// layouts of spreads, pages and boxes, and stories of paragraphs and text runs with attributes and text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kwhost {

// UTF-8 XML of a project with at least `elements` elements (a few more, to finish the last unit).
// The same size and seed give the same text.
std::string generateProject(size_t elements, uint32_t seed = 1);

} // namespace kwhost
