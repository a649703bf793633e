// vistrel-dvr as a program: arguments, the listening line, a clean end on SIGTERM and SIGINT.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "TestClient.h"
#include "tests/support/Command.h"
#include "tests/support/Files.h"

namespace {

const std::string kProgram = std::string(VISTREL_BIN_DIR) + "/vistrel-dvr";

struct Outcome {
    int status = -1;
    std::string out, err;
};

Outcome runQuick(const std::string& arguments) {
    Outcome o;
    const std::string errFile = testing::TempDir() + "emu_program_err.txt";
    const auto run = vistrel::testsupport::RunCapture(kProgram + " " + arguments + " 2>" + errFile);
    o.out = run.output;
    o.status = run.exitCode;
    o.err = vistrel::testsupport::ReadText(errFile);
    return o;
}

}  // namespace

TEST(Program, BadArgumentsGiveOneLineAndStatus2) {
    for (const char* args : {"--port", "--port 70000", "--auth kerberos", "--frobnicate", "--user admin",
                             "--auth digest", "--size 100x100"}) {
        const Outcome o = runQuick(args);
        EXPECT_EQ(o.status, 2) << args;
        ASSERT_FALSE(o.err.empty()) << args;
        EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << args << ": " << o.err;
        EXPECT_EQ(o.err.rfind("vistrel-dvr: ", 0), 0u) << args;
    }
    EXPECT_EQ(runQuick("--help").status, 0);
}

TEST(Program, ListensThenEndsCleanlyOnSignals) {
    for (int signal : {SIGTERM, SIGINT}) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(pipeFds[1], 1);
            ::close(pipeFds[0]);
            ::execl(kProgram.c_str(), kProgram.c_str(), "--port", "0", "--frame-interval", "0",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        std::string line;
        char c;
        while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
        ::close(pipeFds[0]);
        ASSERT_EQ(line.rfind("listening on http://127.0.0.1:", 0), 0u) << line;
        const int port = std::atoi(line.c_str() + std::strlen("listening on http://127.0.0.1:"));
        ASSERT_GT(port, 0);
        // A viewer is connected when the signal comes.
        const auto r = emutest::rawGet(std::uint16_t(port), "/pushall.htm;9", 1000, 5000);
        EXPECT_EQ(r.status, 200);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}
