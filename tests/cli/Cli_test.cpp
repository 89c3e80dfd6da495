// The domkw tool end to end on the sample project: outputs, error paths and exit statuses.
#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status;
    std::string out;
};

// Runs domkw with the arguments (a shell command line); standard error goes to `out` as well when
// `withErrors` is set.
Outcome domkw(const std::string& arguments, bool withErrors = false, const std::string& input = "") {
    std::string command = std::string(DOMKW_CLI) + " " + arguments;
    if (!input.empty()) command = "printf '" + input + "' | " + command;
    command += withErrors ? " 2>&1" : " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome r{-1, {}};
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
    return r;
}

TEST(Cli, QueryPrintsValuesAndNodePaths) {
    struct Case {
        const char* args;
        const char* expected;
    } cases[] = {
        {"query 'count(//box)'", "37\n"},
        {"query '1 div 4'", "0.25\n"},
        {"query '//layout[2]/@name'", "/application/project[1]/layout[2]/@name\tLayout 2\n"},
        {"query --type string '//color[@id=\"c7\"]/@name'", "Ocean Blue\n"},
        {"query 'boolean(//preferences)'", "true\n"},
        {"query --type first '//textRun'", "/application/project[1]/stories/story[1]/paragraph[1]/textRun[1]\tPrices < 10 € this week\n"},
        {"query '//paragraph[@style=\"Normal\"]/textRun[contains(., \"Tabs\")]/text()'",
         "/application/project[1]/stories/story[2]/paragraph[2]/textRun[2]/text()\tTabs\\tand  double  spaces stay (story 2)\n"},
    };
    for (const Case& c : cases) {
        const Outcome r = domkw(c.args);
        EXPECT_EQ(r.status, 0) << c.args;
        if (std::string(c.args).find("Tabs") != std::string::npos) {
            EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.args << "\n" << r.out;
        } else {
            EXPECT_EQ(r.out, c.expected) << c.args;
        }
    }
}

TEST(Cli, SaveWriteAndGen) {
    const Outcome saved = domkw("save '//layout[2]/spread[1]/page[1]'");
    EXPECT_EQ(saved.status, 0);
    EXPECT_EQ(saved.out.rfind("<page generator=", 0), 0u) << saved.out;
    const Outcome written = domkw("write '//colors'");
    EXPECT_EQ(written.status, 0);
    EXPECT_NE(written.out.find("<color id=\"c10\" name=\"Sand\""), std::string::npos);
    const Outcome generated = domkw("gen --elements 300 --seed 4");
    EXPECT_EQ(generated.status, 0);
    const std::string path = testing::TempDir() + "domkw-gen.xml";
    std::ofstream(path) << generated.out;
    EXPECT_EQ(domkw("query 'count(//*) >= 300' --doc " + path).out, "true\n");
}

// The whole document printed by save and write reads back as a project: its declaration names the
// encoding of the bytes printed (UTF-8), not the UTF-16 of the library's string.
TEST(Cli, TheWholeDocumentPrintedReadsBackAsAProject) {
    for (const char* command : {"write /", "save /"}) {
        const Outcome printed = domkw(command);
        ASSERT_EQ(printed.status, 0) << command;
        EXPECT_EQ(printed.out.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << printed.out.substr(0, 80);
        const std::string path = testing::TempDir() + "domkw-whole.xml";
        std::ofstream(path) << printed.out;
        EXPECT_EQ(domkw("query 'count(//box)' --doc " + path).out, "37\n") << command;
    }
}

TEST(Cli, EventsShowEveryDelivery) {
    const Outcome r = domkw("events");
    EXPECT_EQ(r.status, 0);
    for (const char* line : {"MutationEvent,DOMNodeInserted", "MutationEvent,DOMAttrModified",
                             "MutationEvent,DOMCharacterDataModified", "MutationEvent,DOMNodeRemoved",
                             "\"Mint\" -> \"Peppermint\""})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    EXPECT_EQ(domkw("events --type DOMAttrModified").out.find("DOMNodeInserted"), std::string::npos);
}

TEST(Cli, ConvertAndMapcheck) {
    const Outcome r = domkw("convert --from UTF-8 --to windows-1252", false, "caf\\303\\251");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "caf\xE9");
    const Outcome viaMap = domkw(std::string("convert --from UTF-8 --to map --map ") + DOMKW_SAMPLES_DIR "/mappings/SHIFT_JIS.map",
                             false, "\\346\\235\\261");
    EXPECT_EQ(viaMap.status, 0);
    EXPECT_EQ(viaMap.out, "\x93\x8C");
    const Outcome bad = domkw("convert --from UTF-8 --to 0", true, "ab\\377");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("byte offset 2"), std::string::npos) << bad.out;
    const Outcome check = domkw(std::string("mapcheck ") + DOMKW_SAMPLES_DIR "/mappings/CP1252.map");
    EXPECT_EQ(check.status, 0);
    EXPECT_NE(check.out.find("0 error(s)"), std::string::npos);
    const std::string broken = testing::TempDir() + "broken.map";
    std::ofstream(broken) << "not a mapping file\n";
    const Outcome failed = domkw("mapcheck " + broken);
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.out.find("1 error(s)"), std::string::npos) << failed.out;
}

TEST(Cli, ErrorsAreOneLineWithTheirExitStatus) {
    const std::string malformed = testing::TempDir() + "malformed.xml";
    std::ofstream(malformed) << "<application>\n  <project>\n</application>\n";
    struct Case {
        std::string args;
        int status;
        const char* text;
    } cases[] = {
        {"", 2, "usage"},
        {"frobnicate", 2, "unknown command"},
        {"query", 2, "expression is needed"},
        {"query '//['", 1, "invalid expression"},
        {"query --type weird 1", 2, "--type"},
        {"save --doc " + malformed, 1, ":3:"},
        {"save --doc /nonexistent.xml", 1, "cannot open"},
        {"gen --elements x", 2, "--elements"},
        {"convert --from nowhere --to 0", 2, "unknown encoding"},
        {"save '//nothing'", 1, "selects no node"},
    };
    for (const Case& c : cases) {
        const Outcome r = domkw(c.args, true);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find("terminate"), std::string::npos) << c.args;
    }
    EXPECT_EQ(domkw("query --help").status, 0);
    EXPECT_EQ(domkw("--help").status, 0);
}

// Hostile or mistaken input: every failure is one line on standard error and a clear status, never an
// abort, whatever exception the library or the host raised underneath.
TEST(Cli, EveryFailureIsOneClearLineNeverAnAbort) {
    const std::string dir = testing::TempDir();
    const std::string readOnly = dir + "read-only.xml";
    std::ofstream(readOnly) << "<application xmlns:host=\"urn:domkw:reference-host\" host:readOnly=\"true\">"
                               "<project><colors><color id=\"c1\"/></colors><stories><story><paragraph>"
                               "<textRun>x</textRun></paragraph></story></stories></project></application>\n";
    struct Case {
        std::string args;
        int status;
        const char* text;
    } cases[] = {
        {"query '$x'", 1, "invalid expression '$x'"},
        {"query --type nodes '$x'", 1, "'$x'"},
        {"events --doc " + readOnly, 1, "DOM error 7"},
        {"mapcheck " + dir, 1, "is a directory"},
        {"convert --from 0 --to map --map " + dir, 1, "is a directory"},
        {"save --doc " + dir, 1, "is a directory"},
        {"mapcheck /dev/zero", 1, "larger than 64 MiB"},
        {"convert --from 0 --to map --map /dev/zero", 1, "larger than 64 MiB"},
        {"gen --elements -5", 2, "whole number"},
        {"gen --elements ' 5'", 2, "whole number"},
        {"gen --elements 0", 2, "out of range"},
        {"gen --elements 99999999999999999999", 2, "out of range"},
        {"gen --elements 18446744073709551617", 2, "out of range"},
        {"gen --elements 10000001", 2, "out of range"},
        {"gen --elements 10 --seed 4294967296", 2, "--seed is out of range"},
        {"gen --elements 10 --seed -1", 2, "whole number"},
    };
    for (const Case& c : cases) {
        const Outcome r = domkw(c.args + " </dev/null", true);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out.find("terminate"), std::string::npos) << c.args;
        EXPECT_EQ(r.out.find("Sanitizer"), std::string::npos) << c.args << "\n" << r.out;
    }
    // The failed events run left no listener behind: the same project still loads and answers.
    EXPECT_EQ(domkw("query 'count(//color)' --doc " + readOnly).out, "1\n");
}

// The largest resident size (KiB) the processes of a shell command line reached.
long peakKiB(const std::string& commandLine) {
    int channel[2];
    if (pipe(channel) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        const int ignored = std::system(commandLine.c_str());
        (void)ignored;
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        const long peak = usage.ru_maxrss;
        if (write(channel[1], &peak, sizeof peak) != sizeof peak) _exit(1);
        _exit(0);
    }
    close(channel[1]);
    long peak = -1;
    if (read(channel[0], &peak, sizeof peak) != sizeof peak) peak = -1;
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return peak;
}

TEST(Cli, ConvertStreamsSoEndlessInputRunsInBoundedMemory) {
    // 256 MiB of input: read whole, it would take that much and twice as much again as UTF-16.
    const long peak = peakKiB("head -c 268435456 /dev/zero | " + std::string(DOMKW_CLI) +
                              " convert --from UTF-8 --to 0 | tail -c 1 >/dev/null");
    ASSERT_GT(peak, 0);
    EXPECT_LT(peak, 160 * 1024) << "KiB";
}

TEST(Cli, ConvertKeepsCharactersCutBetweenPiecesOfInput) {
    // Two- and four-byte characters across every piece boundary of the streamed conversion, there and
    // back through UTF-16 and UTF-32.
    std::string text(65535, 'x');
    text += "\xC3\xA9";
    for (int i = 0; i < 40000; ++i) text += "\xF0\x9F\x98\x80";
    const std::string path = testing::TempDir() + "pieces.txt";
    std::ofstream(path, std::ios::binary) << text;
    const Outcome r = domkw("convert --from 3 --to 4 <" + path + " | " + DOMKW_CLI + " convert --from 4 --to 6 | " +
                            DOMKW_CLI + " convert --from 6 --to 3");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == text) << r.out.size() << " bytes back of " << text.size();
    const Outcome cut = domkw("convert --from 3 --to 0", true, "ab\\360\\237");
    EXPECT_EQ(cut.status, 1);
    EXPECT_NE(cut.out.find("ends inside a character"), std::string::npos) << cut.out;
}

// What ICU itself makes of UTF-8 text in the encoding named `alias`.
std::string icuBytes(const char* alias, const std::string& utf8) {
    UErrorCode error = U_ZERO_ERROR;
    std::string out(utf8.size() * 4 + 16, '\0');
    const int32_t n = ucnv_convert(alias, "UTF-8", &out[0], static_cast<int32_t>(out.size()), utf8.data(),
                                   static_cast<int32_t>(utf8.size()), &error);
    EXPECT_TRUE(U_SUCCESS(error)) << alias << ": " << u_errorName(error);
    out.resize(U_SUCCESS(error) ? n : 0);
    return out;
}

TEST(Cli, ConvertAcceptsTheUsualAliasesAsIcuReadsThem) {
    struct Case {
        const char* alias;
        const char* utf8;
    } cases[] = {
        {"UTF-16LE", "caf\xC3\xA9 \xE6\x9D\xB1"}, {"utf-16be", "caf\xC3\xA9"},   {"UTF8", "caf\xC3\xA9"},
        {"latin1", "caf\xC3\xA9"},                 {"macintosh", "caf\xC3\xA9"},    {"cp1252", "\xE2\x82\xAC 5"},
        {"sjis", "\xE6\x9D\xB1\xE4\xBA\xAC"},      {"koi8-r", "\xD0\x9C\xD0\xB8\xD1\x80"},
        {"EUC-JP", "\xE6\x9D\xB1"},                 {"big5", "\xE4\xB8\xAD"},     {"gb18030", "\xF0\x9F\x98\x80"},
    };
    const std::string input = testing::TempDir() + "alias-input.txt";
    for (const Case& c : cases) {
        std::ofstream(input, std::ios::binary | std::ios::trunc) << c.utf8;
        const std::string expected = icuBytes(c.alias, c.utf8);
        const Outcome to = domkw(std::string("convert --from UTF-8 --to '") + c.alias + "' <" + input, true);
        EXPECT_EQ(to.status, 0) << c.alias << "\n" << to.out;
        EXPECT_TRUE(to.out == expected) << c.alias;
        std::ofstream(input, std::ios::binary | std::ios::trunc) << expected;
        const Outcome back = domkw(std::string("convert --to UTF-8 --from '") + c.alias + "' <" + input, true);
        EXPECT_EQ(back.out, c.utf8) << c.alias;
    }
}

TEST(Cli, ConvertResolvesTheSystemDefaultAndByteOrderMarks) {
    struct Case {
        std::string args;
        const char* input; // octal escapes for printf
        std::string expected;
        int status;
    } cases[] = {
        // 21 is the system default: windows-1252 in the C locale.
        {"env LC_ALL=C LANG=C " + std::string(DOMKW_CLI) + " convert --from UTF-8 --to 21", "caf\\303\\251", "caf\xE9", 0},
        {"convert --from UTF-8 --to UTF-16", "a\\303\\251", std::string("\xFE\xFF\0a\0\xE9", 6), 0},
        {"convert --from UTF-8 --to UTF-32", "a", std::string("\0\0\xFE\xFF\0\0\0a", 8), 0},
        {"convert --from UTF-16 --to UTF-8", "\\377\\376a\\000b\\000", "ab", 0},
        {"convert --from UTF-16 --to UTF-8", "\\376\\377\\000a", "a", 0},
        {"convert --from UTF-16 --to UTF-8", "\\000a", "a", 0}, // no mark: big-endian
        {"convert --from UTF-32 --to UTF-8", "\\377\\376\\000\\000a\\000\\000\\000", "a", 0},
        {"convert --from ISO-2022-JP --to UTF-8", "\\033$B\\105\\154\\033(B", "\xE6\x9D\xB1", 0},
        {"convert --from UTF-8 --to ascii", "a", "no encoding identifier", 2},
        {"convert --from UTF-8 --to no-such-thing", "a", "unknown encoding", 2},
        {"convert --from UTF-8 --to 59", "a", "out of range", 2},
    };
    for (const Case& c : cases) {
        std::string command = c.args;
        if (command.rfind("env ", 0) != 0) command = std::string(DOMKW_CLI) + " " + command;
        FILE* pipe = popen(("printf '" + std::string(c.input) + "' | " + command + " 2>&1").c_str(), "r");
        std::string out;
        char buffer[256];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        const int raw = pclose(pipe);
        EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.args << "\n" << out;
        if (c.status == 0) EXPECT_TRUE(out == c.expected) << c.args << ": " << out;
        else EXPECT_NE(out.find(c.expected), std::string::npos) << c.args << ": " << out;
    }
    const Outcome help = domkw("convert --help");
    for (const char* listed : {"0\twindows-1252", "21\tthe system default", "ISO-2022-JP", "not available here"})
        EXPECT_NE(help.out.find(listed), std::string::npos) << listed;
}

TEST(Cli, QueryFollowsTheXmllintConventions) {
    const std::string small = std::string(DOMKW_TEST_DATA_DIR) + "/small.xml";
    const std::string sample = std::string(DOMKW_SAMPLES_DIR) + "/project.xml";
    struct Case {
        std::string args;
        int status;
        std::string expected; // the whole output (standard error included)
    } cases[] = {
        {"query //nothing", 10, "XPath set is empty\n"},
        {"query --type first //nothing", 10, "XPath set is empty\n"},
        {"query --noout //box", 0, ""},
        {"query --noout //nothing", 10, "XPath set is empty\n"},
        {"query --xml '//color[@id=\"c2\"]/@name' --doc " + small, 0, " name=\"Cyan\"\n"},
        {"query --xml '//textRun/text()' --doc " + small, 0, "Hello, world\n"},
        {"query --xml '//box[@id=\"b2\"]' " + small, 0,
         "<box generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\" id=\"b2\"/>\n"},
        {"query --xml --format '//page' " + small + " | head -2", 0,
         "<page generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" number=\"1\" schemaVersion=\"6.0\">\n"
         "  <box bounds=\"12/-3\" id=\"b1\"/>\n"},
        {"query 'count(//box)' " + small + " " + sample, 0, small + ":3\n" + sample + ":37\n"},
        {"query 'count(//box)' - <" + small, 0, "3\n"},
        {"query 'count(//box)' --doc - <" + small, 0, "3\n"},
        {"query //nothing " + small + " /nonexistent.xml", 1,
         small + ": XPath set is empty\ndomkw query: /nonexistent.xml: cannot open the file (No such file or directory)\n"},
        {"query -- '-1 + 4'", 0, "3\n"},
        {"query --type string -- '--doc'", 1, "domkw query: invalid expression '--doc'\n"},
        {"query --ns s=http://www.w3.org/2001/XMLSchema-instance 'count(//@s:type)' " + small, 0, "1\n"},
        {"query --ns p=urn:nothing 'count(//p:box) + count(//@xsi:type)' " + small, 0, "1\n"},
        {"query --ns 'p' 1", 2, "domkw query: --ns needs PREFIX=URI, not 'p'\n"},
        {"query 'count(//box)' - - <" + small, 2, "domkw query: standard input can be read once\n"},
        {"save --noout //colors", 0, ""},
    };
    for (const Case& c : cases) {
        const Outcome r = domkw(c.args, true);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out;
        EXPECT_EQ(r.out, c.expected) << c.args;
    }
    const Outcome version = domkw("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("domkw 0.", 0), 0u) << version.out;
    EXPECT_NE(version.out.find("Xerces-C 3.2"), std::string::npos) << version.out;
}

TEST(Cli, TraceShowsEveryHostCallAndBalancesReferences) {
    const Outcome full = domkw("--trace query --type string /application/@version", true);
    EXPECT_EQ(full.status, 0);
    for (const char* expected : {"NavigateElement(", "GetAttributeValue(", "= 0 -> \"6.0\"", "AdjustReference(1, true) = 0",
                                 "+1 ref", "trace summary:", "references: ", "0 held at exit"})
        EXPECT_NE(full.out.find(expected), std::string::npos) << expected << "\n" << full.out;
    // The summary alone, through the environment as a plug-in would switch it on; its counts agree with
    // the lines of the full trace.
    const Outcome summary = domkw("query --type string /application/@version --trace=summary", true);
    EXPECT_EQ(summary.out.find("trace      1"), std::string::npos);
    const auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    const size_t lines = count(full.out, "\ntrace ") + (full.out.rfind("trace ", 0) == 0 ? 1 : 0) - 1; // less the summary
    EXPECT_NE(summary.out.find("trace summary: " + std::to_string(lines) + " host calls"), std::string::npos)
        << lines << "\n" << summary.out;
    const Outcome viaEnvironment = domkw("query 'count(//box)' 2>&1 >/dev/null | grep -c '^trace ' ; DOMKW_TRACE=summary " +
                                         std::string(DOMKW_CLI) + " query 'count(//box)'",
                                         true);
    EXPECT_NE(viaEnvironment.out.find("0\n"), std::string::npos) << "no trace without the switch";
    EXPECT_NE(viaEnvironment.out.find("AdjustReference"), std::string::npos) << viaEnvironment.out;
}

// The shell holds the element it is at; "cd ." and "cd .." hand out elements it may hold already (one
// counted object per host element). Each hand-out is ended once: the session stays at the right place,
// nothing is freed under it, and every reference comes back.
TEST(Cli, ShellEndsEveryHandOutOfTheElementItIsAt) {
    const struct {
        const char* commands;
        const char* where;
    } cases[] = {
        {"cd //layout[2]\\ncd .\\ncd .\\ncd .\\npwd\\n", "/application/project[1]/layout[2]\n"},
        {"cd //layout[2]\\ncd ..\\ncd .\\nls\\ncd /application/project\\npwd\\n",
         "/application/project[1]\n"},
        {"cd //story\\ncd //story\\nxpath count(.)\\ncd\\ncd\\npwd\\n", "/application\n"},
        {"cd //layout[1]\\ncd nothing\\ncd @name\\npwd\\n", "/application/project[1]/layout[1]\n"},
    };
    for (const auto& c : cases) {
        const Outcome r = domkw("--trace=summary shell", true, c.commands);
        EXPECT_EQ(r.status, 0) << c.commands << "\n" << r.out;
        EXPECT_NE(r.out.find(c.where), std::string::npos) << c.commands << "\n" << r.out;
        EXPECT_NE(r.out.find(" 0 held at exit\n"), std::string::npos) << c.commands << "\n" << r.out;
        EXPECT_EQ(r.out.find("Sanitizer"), std::string::npos) << c.commands << "\n" << r.out;
    }
}

// Random command lines from the words the tool knows and the values that broke it before: whatever the
// combination, the tool ends with one of its statuses, never an abort or a sanitizer report.
TEST(Cli, RandomCommandLinesNeverAbort) {
    const std::string small = std::string(DOMKW_TEST_DATA_DIR) + "/small.xml";
    const std::vector<std::string> words = {
        "query", "save", "write", "events", "convert", "mapcheck", "gen", "shell", "frobnicate", "--version",
        "--help", "--trace=summary", "--type", "nodes", "first", "string", "--doc", "--xml", "--format", "--noout",
        "--ns", "p=urn:x", "p", "--from", "--to", "--map", "--elements", "--seed", "--", "-", "-5", "0", "1", "300",
        "99999999999999999999", "'//box'", "'$x'", "'//['", "'count(//box)'", "'//nothing'", "/tmp",
        "/nonexistent.xml", small, "UTF-8", "21", "latin1", "UTF-16", "map", "''"};
    uint32_t state = 20261207;
    auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    // DOMKW_CLI_SWEEP_RUNS asks for a longer sweep than the suite's.
    const char* wanted = std::getenv("DOMKW_CLI_SWEEP_RUNS");
    const int total = wanted ? std::atoi(wanted) : 120;
    int runs = 0, byStatus[11] = {};
    for (; runs < total; ++runs) {
        // A command (now and then a global option first), then words that mostly fit it.
        std::string args = next() % 8 == 0 ? words[next() % 12] + " " : "";
        args += words[next() % 8] + " ";
        const int count = next() % 5;
        for (int i = 0; i < count; ++i) args += words[12 + next() % (words.size() - 12)] + " ";
        const Outcome r = domkw(args + "</dev/null", true);
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2 || r.status == 10) << args << "\n" << r.out;
        if (r.status >= 0 && r.status <= 10) ++byStatus[r.status];
        for (const char* bad : {"terminate", "Sanitizer", "runtime error", "Aborted"})
            EXPECT_EQ(r.out.find(bad), std::string::npos) << args << "\n" << r.out;
    }
    std::printf("%d command lines: %d done, %d bad input, %d bad usage, %d empty sets\n", runs, byStatus[0],
                byStatus[1], byStatus[2], byStatus[10]);
}

} // namespace
