// The domkw tool as a hostile or careless user drives it: every output it reports as success is the
// whole of what was asked for, and every failure is one line and a non-zero status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct Outcome {
    int status;
    std::string out;
};

Outcome domkw(const std::string& arguments) {
    const std::string command = std::string(DOMKW_CLI) + " " + arguments + " 2>&1 </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    Outcome r{-1, {}};
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) r.out.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return r;
}

TEST(ToolOutput, formattedSaveOrWriteOfAnAttributeOrTextPrintsItInsteadOfNothing) {
    struct Case {
        const char* args;
        const char* expected;
    } cases[] = {
        {"save '//box[1]/@id' --format", "id=\"b1\"\n"},
        {"write '//box[1]/@id' --format", "id=\"b1\"\n"},
        {"save '(//textRun)[1]/text()' --format", "Prices &lt; 10 € this week\n"},
        {"write '(//textRun)[1]/text()' --format", "Prices &lt; 10 € this week\n"},
    };
    for (const Case& c : cases) {
        const Outcome r = domkw(c.args);
        EXPECT_EQ(r.status, 0) << c.args;
        EXPECT_EQ(r.out, c.expected) << c.args;
    }
}

TEST(ToolOutput, aTypeMismatchNamesTheTypeAsked) {
    const Outcome r = domkw("query 'count(//box)' --type nodes");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("does not give a value of type nodes"), std::string::npos) << r.out;
}

} // namespace
