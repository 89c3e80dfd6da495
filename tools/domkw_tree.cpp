// Loads a project into the reference host, connects the library and prints the tree as the library's
// facade sees it: tag names, attributes and text.
#include <DOMKw/bridge/Connect.hpp>
#include <DOMKw/bridge/ObjectRef.hpp>
#include <DOMKwHost/ReferenceHost.hpp>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/util/TransService.hpp>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const DOMBTString& s) {
    xercesc::TranscodeToStr bytes(s.GetUChar16(), "UTF-8");
    return reinterpret_cast<const char*>(bytes.str());
}

void print(const Kw::ElementRef& node, int depth) {
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    if (node.IsTextNode()) {
        std::printf("%s\"%s\"\n", indent.c_str(), utf8(node.GetTextValue()).c_str());
        return;
    }
    std::printf("%s<%s", indent.c_str(), utf8(node.get_TagName()).c_str());
    for (const Kw::StringKey& key : node.get_AttributeKeys())
        std::printf(" %s=\"%s\"", utf8(DOMBTString(key.GetUChar16())).c_str(),
                    utf8(node.GetAttributeValue(key)).c_str());
    std::printf(">\n");
    for (Kw::ElementRef child = node.get_FirstChild(); !child.isNil(); child = child.get_NextSibling())
        print(child, depth + 1);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr, "usage: domkw_tree PROJECT.xml\n");
        return argc == 2 ? 0 : 2;
    }
    kwhost::ReferenceHost& host = kwhost::ReferenceHost::instance();
    try {
        host.loadFile(argv[1]);
        Kw::Connect(host.activateRec());
        print(Kw::ElementRef::get_Application(), 0);
    } catch (const kwhost::LoadError& e) {
        std::fprintf(stderr, "domkw_tree: %s\n", e.what());
        return 1;
    } catch (const xercesc::DOMException& e) {
        std::fprintf(stderr, "domkw_tree: host refused an operation (DOMException %d)\n", e.code);
        return 1;
    }
    std::fprintf(stderr, "%lld host references held at exit\n", static_cast<long long>(host.outstandingReferences()));
    return 0;
}
