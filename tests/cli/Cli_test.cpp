// The domkw tool end to end on the sample project: outputs, error paths and exit statuses.
#include <gtest/gtest.h>

#include <unicode/ucnv.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status;
    std::string out;
};

// Runs domkw with the arguments (a shell command line; leading NAME=value words set its environment).
Outcome domkw(const std::string& arguments, bool withErrors = false, const std::string& input = "") {
    size_t start = 0;
    while (arguments.find('=', start) < arguments.find(' ', start) && arguments[start] != '-')
        start = arguments.find(' ', start) + 1;
    std::string command = "env " + arguments.substr(0, start) + DOMKW_CLI + " " + arguments.substr(start);
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

// A path of the temporary directory that no other run of the tests shares.
std::string tempPath(const std::string& name) {
    return testing::TempDir() + std::to_string(getpid()) + "-" + name;
}

// A file written for the test, removed at the end of the scope.
struct TempFile {
    explicit TempFile(const std::string& name, const std::string& text) : path(tempPath(name)) {
        std::ofstream(path, std::ios::binary) << text;
    }
    ~TempFile() { std::remove(path.c_str()); }
    const std::string path;
};

// Each command line (standard input as printf escapes): its status and its output with standard error.
TEST(Cli, CommandLinesGiveTheirStatusAndOutput) {
    const std::string small = std::string(DOMKW_TEST_DATA_DIR) + "/small.xml";
    const std::string sample = std::string(DOMKW_SAMPLES_DIR) + "/project.xml";
    const std::string maps = std::string(DOMKW_SAMPLES_DIR) + "/mappings/";
    const std::string dir = testing::TempDir();
    const std::string cli = DOMKW_CLI;
    const TempFile malformed("malformed.xml", "<application>\n  <project>\n</application>\n");
    const TempFile broken("broken.map", "not a mapping file\n");
    const TempFile readOnly("read-only.xml",
                            "<application xmlns:host=\"urn:domkw:reference-host\" host:readOnly=\"true\">"
                            "<project><colors><color id=\"c1\"/></colors><stories><story><paragraph>"
                            "<textRun>x</textRun></paragraph></story></stories></project></application>\n");
    // Characters XML 1.0 output cannot hold: printing such a match as XML fails.
    const TempFile v11("v11.xml", "<?xml version=\"1.1\"?><application name=\"T\"><colors a=\"&#1;\">t&#2;</colors>"
                                  "<story>fine</story></application>");
    const TempFile spaced("spaced.xml", "<application name=\"T\"><colors a=\"x&#9;y&#10;z&#13;\"/></application>");
    enum Match { kWhole, kPart, kAbsent };
    struct Row {
        std::string args;
        const char* input;
        int status;
        std::string expected;
        Match match = kWhole;
    };
    const Row rows[] = {
        {"query 'count(//box)'", "", 0, "37\n"},
        {"query '//layout[2]/@name'", "", 0, "/application/project[1]/layout[2]/@name\tLayout 2\n"},
        {"query --type string '//color[@id=\"c7\"]/@name'", "", 0, "Ocean Blue\n"},
        {"query '//paragraph[@style=\"Normal\"]/textRun[contains(., \"Tabs\")]/text()'", "", 0,
         "/application/project[1]/stories/story[2]/paragraph[2]/textRun[2]/text()\tTabs\\tand  double  "
         "spaces stay (story 2)\n",
         kPart},
        {"query //nothing", "", 10, "XPath set is empty\n"},
        {"query --xml '//box[@id=\"b2\"]' " + small, "", 0,
         "<box generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" schemaVersion=\"6.0\" "
         "id=\"b2\"/>\n"},
        {"query --xml --format '//page' " + small + " | head -2", "", 0,
         "<page generator=\"DOMKw reference host &amp; &quot;friends&quot; &lt;1>\" number=\"1\" "
         "schemaVersion=\"6.0\">\n"
         "  <box bounds=\"12/-3\" id=\"b1\"/>\n"},
        {"query 'count(//box)' " + small + " " + sample, "", 0, small + ":3\n" + sample + ":37\n"},
        {"query //nothing " + small + " /nonexistent.xml", "", 1,
         small + ": XPath set is empty\ndomkw query: /nonexistent.xml: cannot open the file (No such file or "
                 "directory)\n"},
        {"query --type string -- '--doc'", "", 1, "domkw query: invalid expression '--doc'\n"},
        {"query --ns s=http://www.w3.org/2001/XMLSchema-instance 'count(//@s:type)' " + small, "", 0, "1\n"},
        {"query --xml '//colors' " + v11.path, "", 1, "", kPart},
        {"query --xml '//story/text()' " + v11.path, "", 0, "fine\n"},
        {"query --xml '//colors/@a' " + spaced.path, "", 0, " a=\"x&#9;y&#10;z&#13;\"\n"}, // read back intact
        // The declaration names the encoding of the bytes printed, not the UTF-16 of the library's string.
        {"write / | head -c 36", "", 0, "<?xml version=\"1.0\" encoding=\"UTF-8\""},
        {"save / | head -c 36", "", 0, "<?xml version=\"1.0\" encoding=\"UTF-8\""},
        {"write / | " + cli + " query 'count(//box)' -", "", 0, "37\n"},
        {"save / | " + cli + " query 'count(//box)' -", "", 0, "37\n"},
        {"save '(//textRun)[1]/text()' --format", "", 0, "Prices &lt; 10 € this week\n"},
        {"events", "", 0, "\"Mint\" -> \"Peppermint\"", kPart},
        {"events --type DOMAttrModified", "", 0, "DOMNodeInserted", kAbsent},
        {"gen --elements 300 --seed 4 | " + cli + " query 'count(//*) >= 300' -", "", 0, "true\n"},
        // The trace shows each host call and balances the references, also when switched on from outside.
        {"--trace query --type string /application/@version", "", 0, "=\"version\", null) = 0 -> \"6.0\"",
         kPart},
        {"--trace query --type string /application/@version", "", 0, "+1 ref", kPart},
        {"--trace query --type string /application/@version", "", 0, "released, 0 held at exit", kPart},
        {"DOMKW_TRACE=summary query 'count(//box)'", "", 0, "AdjustReference", kPart},
        {"query 'count(//box)' 2>&1 >/dev/null | grep -c '^trace '", "", 1, "0\n"},
        {"convert --from UTF-8 --to map --map " + maps + "SHIFT_JIS.map", "\\346\\235\\261", 0, "\x93\x8C"},
        {"convert --from UTF-8 --to 0", "ab\\377", 1, "byte offset 2", kPart},
        {"convert --from 3 --to 0", "ab\\360\\237", 1, "ends inside a character", kPart},
        {"LC_ALL=C LANG=C convert --from UTF-8 --to 21", "caf\\303\\251", 0, "caf\xE9"}, // the system default
        {"convert --from UTF-8 --to UTF-16", "a\\303\\251", 0, std::string("\xFE\xFF\0a\0\xE9", 6)},
        {"convert --from UTF-16 --to UTF-8", "\\377\\376a\\000b\\000", 0, "ab"},
        {"convert --from UTF-16 --to UTF-8", "\\000a", 0, "a"}, // no mark: big-endian
        {"convert --from UTF-32 --to UTF-8", "\\377\\376\\000\\000a\\000\\000\\000", 0, "a"},
        {"convert --from ISO-2022-JP --to UTF-8", "\\033$B\\105\\154\\033(B", 0, "\xE6\x9D\xB1"},
        {"mapcheck " + maps + "CP1252.map", "", 0, "0 error(s)", kPart},
        {"mapcheck " + broken.path, "", 1, "1 error(s)", kPart},
        {"", "", 2, "usage", kPart},
        {"frobnicate", "", 2, "unknown command", kPart},
        {"query --ns 'p' 1", "", 2, "domkw query: --ns needs PREFIX=URI, not 'p'\n"},
        {"query 'count(//box)' - - <" + small, "", 2, "domkw query: standard input can be read once\n"},
        {"save --doc " + malformed.path, "", 1, ":3:", kPart},
        {"save '//nothing'", "", 1, "selects no node", kPart},
        {"save --doc " + dir, "", 1, "is a directory", kPart},
        {"events --doc " + readOnly.path, "", 1, "DOM error 7", kPart},
        {"convert --from 0 --to map --map /dev/zero", "", 1, "larger than 64 MiB", kPart},
        {"convert --from nowhere --to 0", "", 2, "unknown encoding", kPart},
        {"convert --from UTF-8 --to 59", "a", 2, "out of range", kPart},
        {"gen --elements 18446744073709551617", "", 2, "out of range", kPart},
    };
    for (const Row& row : rows) {
        const bool redirected = *row.input || row.args.find_first_of("<|") != std::string::npos;
        const Outcome r = domkw(row.args + (redirected ? "" : " </dev/null"), true, row.input);
        EXPECT_EQ(r.status, row.status) << row.args << "\n" << r.out;
        const bool found = r.out.find(row.expected) != std::string::npos;
        EXPECT_TRUE(row.match == kWhole ? r.out == row.expected : found == (row.match == kPart))
            << row.args << "\n"
            << r.out;
        for (const char* bad : {"terminate", "Sanitizer", "runtime error"}) {
            EXPECT_EQ(r.out.find(bad), std::string::npos) << row.args << "\n" << r.out;
        }
    }
    // The failed events run left no listener behind: the same project still loads and answers.
    EXPECT_EQ(domkw("query 'count(//color)' --doc " + readOnly.path).out, "1\n");
}

// Whether the processes of a shell command line stayed below `limitKiB` of resident memory.
bool staysBelow(const std::string& commandLine, long limitKiB) {
    const pid_t child = fork();
    if (child == 0) {
        const int status = std::system(commandLine.c_str());
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        std::fprintf(stderr, "status %d, peak %ld KiB\n", status, usage.ru_maxrss);
        _exit(status == 0 && usage.ru_maxrss < limitKiB ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(Cli, ConvertStreamsSoEndlessInputRunsInBoundedMemory) {
    // 256 MiB of input: read whole, it would take that much and twice as much again as UTF-16.
    EXPECT_TRUE(staysBelow("head -c 268435456 /dev/zero | " + std::string(DOMKW_CLI) +
                               " convert --from UTF-8 --to 0 | tail -c 1 >/dev/null",
                           160 * 1024));
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

// Two- and four-byte characters across every piece boundary of the streamed conversion, there and back.
TEST(Cli, ConvertAcceptsTheUsualAliasesAsIcuReadsThem) {
    std::string pieces = "caf\xC3\xA9 \xE6\x9D\xB1" + std::string(65535, 'x') + "\xC3\xA9";
    for (int i = 0; i < 40000; ++i) pieces += "\xF0\x9F\x98\x80";
    const std::pair<const char*, std::string> cases[] = {
        {"UTF-16LE", pieces},
        {"utf-16be", "caf\xC3\xA9"},
        {"UTF-32LE", pieces},
        {"UTF8", pieces},
        {"cp1252", "\xE2\x82\xAC 5"},
        {"sjis", "\xE6\x9D\xB1\xE4\xBA\xAC"},
        {"gb18030", "\xF0\x9F\x98\x80"},
    };
    const std::string input = tempPath("alias-input.txt");
    for (const auto& [alias, utf8] : cases) {
        std::ofstream(input, std::ios::binary | std::ios::trunc) << utf8;
        const std::string expected = icuBytes(alias, utf8);
        const Outcome to = domkw(std::string("convert --from UTF-8 --to '") + alias + "' <" + input, true);
        EXPECT_EQ(to.status, 0) << alias << "\n" << to.out.substr(0, 200);
        EXPECT_TRUE(to.out == expected) << alias;
        std::ofstream(input, std::ios::binary | std::ios::trunc) << expected;
        const Outcome back = domkw(std::string("convert --to UTF-8 --from '") + alias + "' <" + input, true);
        EXPECT_TRUE(back.out == utf8) << alias << ": " << back.out.size() << " bytes back of " << utf8.size();
    }
    std::remove(input.c_str());
}

// "cd ." and "cd .." hand out elements the shell may hold already: each is ended once.
TEST(Cli, AShellSessionEditsSavesAndGoesOnAfterErrors) {
    const std::string saved = tempPath("shell-saved.xml");
    const std::pair<std::string, std::string> steps[] = {
        {"cd colors", ""},
        {"cd .", ""},
        {"cd @name", "error: '@name' selects no node"},
        {"pwd", "/application/colors\n"},
        {"set name Palette", ""},
        {"begin", "transaction begun"},
        {"set name Temporary", ""},
        {"undo", "undone"},
        {"xpath string(@name)", "Palette"},
        {"rm color[2]", ""},
        {"xpath count(color)", "1"},
        {"frobnicate", "error: unknown command 'frobnicate'"},
        {"rm @name", "error: DOM error -1: not provided by this DOM"},
        {"cd ..", ""},
        {"cd //color", ""},
        {"cd //color", ""},
        {"cd", ""},
        {"pwd", "/application\n"},
        {"mv colors project", ""},
        {"xpath count(project/colors)", "1"},
        {"cd //textRun", ""},
        {"edit Goodbye", ""},
        {"save " + saved, "saved "},
        {"set 'a b", "error: a quote is not closed"},
        {"xpath string(.)", "Goodbye"},
        {"trace on", ""}, // for the summary at the end
    };
    std::string input;
    for (const auto& step : steps) input += step.first + "\n";
    const TempFile script("shell-input.txt", input);
    const std::string small = std::string(DOMKW_TEST_DATA_DIR) + "/small.xml";
    const Outcome r = domkw("shell --doc " + small + " <" + script.path, true);
    EXPECT_EQ(r.status, 0) << r.out;
    size_t at = 0;
    for (const auto& [line, expected] : steps) {
        const size_t found = r.out.find(expected, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << r.out.substr(at);
        at = found + expected.size();
    }
    EXPECT_EQ(domkw("query --type string '//textRun[. = \"Goodbye\"]/@size' " + saved).out, "10pt\n");
    std::remove(saved.c_str());
    EXPECT_NE(r.out.find(" 0 held at exit\n"), std::string::npos) << r.out;
}

// Words the tool knows and values that broke it before: never an abort or a sanitizer report.
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
    for (int runs = 0; runs < total; ++runs) {
        // A command (now and then a global option first), then words that mostly fit it.
        std::string args = next() % 8 == 0 ? words[next() % 12] + " " : "";
        args += words[next() % 8] + " ";
        const int count = next() % 5;
        for (int i = 0; i < count; ++i) args += words[12 + next() % (words.size() - 12)] + " ";
        const Outcome r = domkw(args + "</dev/null", true);
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2 || r.status == 10) << args << "\n" << r.out;
        for (const char* bad : {"terminate", "Sanitizer", "runtime error", "Aborted"})
            EXPECT_EQ(r.out.find(bad), std::string::npos) << args << "\n" << r.out;
    }
}

} // namespace
