// domkw shell driven through a pseudo-terminal, as a person would use it: line editing and history
// from libedit, one clear error per failed command, and the session going on.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class Terminal {
public:
    explicit Terminal(const std::string& project) {
        pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            setenv("TERM", "dumb", 1);
            unsetenv("DOMKW_TRACE");
            execl(DOMKW_CLI, "domkw", "shell", "--doc", project.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Terminal() {
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (master >= 0) close(master);
    }

    // Reads until `marker` appears in what came after the last send (or the other side closes); what
    // was read since that send.
    std::string readUntil(const std::string& marker) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (transcript.find(marker, mark) == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            transcript.append(buffer, static_cast<size_t>(n));
        }
        return transcript.substr(mark);
    }
    // Sends a line and returns everything up to the next prompt.
    std::string command(const std::string& line) {
        send(line + "\r");
        return readUntil(" > ");
    }
    void send(const std::string& keys) {
        mark = transcript.size();
        ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    int finish() {
        send("quit\r");
        readUntil("\x01never");
        int status = 0;
        waitpid(pid, &status, 0);
        exited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    const std::string& all() const { return transcript; }

private:
    pid_t pid = -1;
    int master = -1;
    bool exited = false;
    std::string transcript;
    size_t mark = 0;
};

TEST(Shell, ASessionThroughAPseudoTerminal) {
    Terminal t(std::string(DOMKW_TEST_DATA_DIR) + "/small.xml");
    ASSERT_NE(t.readUntil("domkw /application > ").find("domkw /application > "), std::string::npos) << t.all();
    const std::string saved = testing::TempDir() + std::to_string(getpid()) + "-shell-saved.xml";
    struct Step {
        std::string line;
        std::string expected; // in the output of the line
    } steps[] = {
        {"ls", "  colors"},
        {"cd colors", "domkw /application/colors > "},
        {"set name Palette", " > "},
        {"cat color[2]", "<color generator="},
        {"begin", "transaction begun"},
        {"set name Temporary", " > "},
        {"undo", "undone"},
        {"xpath string(@name)", "Palette"},
        {"rm color[2]", " > "},
        {"xpath count(color)", "1"},
        {"frobnicate", "error: unknown command 'frobnicate'"},
        {"xpath //[", "error: "},
        {"rm @name", "error: DOM error -1: not provided by this DOM"},
        {"cd color/@id", "error: 'color/@id' is not an element"},
        {"cd ..", "domkw /application > "},
        {"mv colors project", " > "},
        {"xpath count(project/colors)", "1"},
        {"cd //textRun", "domkw /application/project/story/paragraph/textRun > "},
        {"edit Goodbye", " > "},
        {"xpath string(.)", "Goodbye"},
        {"trace on", " > "},
        {"pwd", "trace "},
        {"trace off", " > "},
        {"save " + saved, "saved "},
        {"set 'a b", "error: a quote is not closed"},
    };
    for (const Step& s : steps) {
        const std::string out = t.command(s.line);
        EXPECT_NE(out.find(s.expected), std::string::npos) << s.line << "\n" << out;
    }
    // History through libedit: Ctrl-P brings the last line back.
    t.send("\x10\r");
    EXPECT_NE(t.readUntil("quote is not closed").find("error: a quote is not closed"), std::string::npos) << t.all();
    t.readUntil(" > ");
    EXPECT_EQ(t.finish(), 0) << t.all();

    std::ifstream in(saved);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("<textRun size=\"10pt\">Goodbye</textRun>"), std::string::npos) << text.str();
    EXPECT_EQ(t.all().find("Sanitizer"), std::string::npos) << t.all();
}

} // namespace
