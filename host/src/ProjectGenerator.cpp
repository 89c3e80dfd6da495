#include <DOMKwHost/ProjectGenerator.hpp>

#include <random>
#include <sstream>

namespace kwhost {

std::string generateProject(size_t elements, uint32_t seed) {
    std::mt19937 rng(seed);
    static const char* const words[] = {"spring", "coast", "hills", "editor", "layout", "baseline", "grid",
                                        "caf\xC3\xA9", "na\xC3\xAFve", "\xE2\x82\xAC", "tips", "story", "&",
                                        "<quoted>", "columns", "\xE6\x9D\xB1\xE4\xBA\xAC"};
    auto word = [&] { return std::string(words[rng() % (sizeof words / sizeof *words)]); };
    auto escape = [](const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c == '&') out += "&amp;";
            else if (c == '<') out += "&lt;";
            else if (c == '>') out += "&gt;";
            else out += c;
        }
        return out;
    };

    std::ostringstream x;
    size_t count = 0;
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<application xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" name=\"Generated\" version=\"6.0\">\n"
         "  <preferences><measurement horizontalUnits=\"points\" verticalUnits=\"inches\"/></preferences>\n"
         "  <colors>";
    count += 4;
    for (int i = 1; i <= 8; ++i, ++count)
        x << "<color id=\"c" << i << "\" name=\"Colour " << i << "\" cyan=\"" << rng() % 101 << "\" magenta=\""
          << rng() % 101 << "\" xsi:type=\"ProcessColor\"/>";
    x << "</colors>\n  <styleSheets><paragraphStyle name=\"Normal\" size=\"10pt\"/></styleSheets>\n"
         "  <project name=\"Generated\" id=\"p1\">\n";
    count += 4;
    std::ostringstream stories;
    size_t box = 0, story = 0, spread = 0;
    while (count < elements) {
        // One spread: two pages of three boxes; each text box gets a story of two paragraphs.
        if (spread % 50 == 0) {
            if (spread) x << "    </layout>\n";
            x << "    <layout name=\"Layout " << spread / 50 + 1 << "\" columns=\"" << 1 + rng() % 4 << "\">\n";
            ++count;
        }
        x << "      <spread id=\"s" << ++spread << "\">";
        ++count;
        for (int p = 1; p <= 2; ++p) {
            x << "<page number=\"" << p << "\" width=\"612\" height=\"792\">";
            ++count;
            for (int b = 1; b <= 3; ++b) {
                ++box;
                const bool textBox = b != 3;
                x << "<box id=\"b" << box << "\" type=\"" << (textBox ? "text" : "picture") << "\" bounds=\""
                  << rng() % 500 << "/" << rng() % 700 << "\"";
                if (textBox) x << " story=\"st" << story + 1 << "\"";
                x << "/>";
                ++count;
                if (!textBox) continue;
                stories << "      <story id=\"st" << ++story << "\">";
                ++count;
                for (int para = 0; para < 2; ++para) {
                    stories << "<paragraph style=\"Normal\">";
                    ++count;
                    for (int r = 0; r < 2; ++r) {
                        stories << "<textRun size=\"" << 8 + rng() % 10 << "pt\" color=\"c" << 1 + rng() % 8 << "\">"
                                << escape(word() + " " + word() + " " + word()) << "</textRun>";
                        ++count;
                    }
                    stories << "</paragraph>";
                }
                stories << "</story>\n";
            }
            x << "</page>";
        }
        x << "</spread>\n";
    }
    if (spread) x << "    </layout>\n";
    x << "    <stories>\n" << stories.str() << "    </stories>\n  </project>\n</application>\n";
    return x.str();
}

} // namespace kwhost
