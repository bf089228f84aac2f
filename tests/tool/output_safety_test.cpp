// OUTPUT under adverse conditions: full disks, size limits, impossible paths, signals and
// readers that go away. A regular OUTPUT appears whole or not at all; a stream is written
// directly and never replaced.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tool_test.h"

namespace {

class OutputSafetyTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        writeFile(path("in.y4m"), makeY4m("YUV4MPEG2 W64 H48 C420", 3));
    }
    bool hasTemporaryFile() const {
        for (const std::string& name : entries())
            if (name.find(".basinlift-") != std::string::npos) return true;
        return false;
    }
};

TEST_F(OutputSafetyTest, WriteFailuresLeaveNothingBehind) {
    const ToolRun full = runTool({path("in.y4m"), "-"}, {"/dev/null", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("standard output"), std::string::npos) << full.err;

    const ToolRun limited = runShell("ulimit -f 1; trap '' XFSZ; exec \"$TOOL\" '" +
                                     path("in.y4m") + "' '" + path("out.y4m") + "'");
    EXPECT_EQ(limited.status, 1);
    EXPECT_NE(limited.err.find("out.y4m"), std::string::npos) << limited.err;

    const ToolRun underFile = runTool({path("in.y4m"), path("in.y4m") + "/out.y4m"});
    EXPECT_EQ(underFile.status, 1);
    EXPECT_NE(underFile.err.find("in.y4m/out.y4m"), std::string::npos) << underFile.err;

    EXPECT_EQ(entries(), std::vector<std::string>{"in.y4m"});
}

TEST_F(OutputSafetyTest, OutputFilesGetTheirUsualPermissions) {
    const mode_t mask = umask(022);
    writeFile(path("kept.y4m"), "old");
    chmod(path("kept.y4m").c_str(), 0640);
    for (const char* name : {"new.y4m", "kept.y4m"})
        ASSERT_EQ(runTool({path("in.y4m"), path(name)}).status, 0);
    umask(mask);
    struct stat info {};
    stat(path("new.y4m").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    stat(path("kept.y4m").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(OutputSafetyTest, APipeIsWrittenDirectlyAndKept) {
    ASSERT_EQ(runTool({path("in.y4m"), path("file.y4m")}).status, 0);
    ASSERT_EQ(mkfifo(path("fifo.y4m").c_str(), 0600), 0);
    std::string streamed;
    std::thread reader([&] { streamed = readFile(path("fifo.y4m")); });
    const ToolRun run = runTool({path("in.y4m"), path("fifo.y4m")});
    reader.join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(streamed, readFile(path("file.y4m")));
    struct stat info {};
    lstat(path("fifo.y4m").c_str(), &info);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(OutputSafetyTest, TerminationRemovesTheTemporaryFile) {
    const std::string video = makeY4m("YUV4MPEG2 W64 H48 C420", 2);
    for (int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        int input[2];
        ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
        const int err =
            open(path("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const pid_t pid = startTool({"--quiet", "-", path("out.y4m")}, input[0], err, err);
        close(input[0]);
        close(err);
        // Two frames, and the stream stays open: the tool waits for the third.
        ASSERT_EQ(write(input[1], video.data(), video.size()), static_cast<ssize_t>(video.size()));
        for (int i = 0; i < 500 && !hasTemporaryFile(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(hasTemporaryFile());
        kill(pid, signalNumber);
        EXPECT_EQ(waitForExit(pid), 128 + signalNumber);
        close(input[1]);
        EXPECT_EQ(entries(), (std::vector<std::string>{"err.txt", "in.y4m"}));
    }
}

TEST_F(OutputSafetyTest, AReaderThatLeavesEndsTheRunQuietly) {
    writeFile(path("long.y4m"), makeY4m("YUV4MPEG2 W64 H48 C420", 120));
    int output[2];
    ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
    const int err = open(path("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = startTool({path("long.y4m"), "-"}, in, output[1], err);
    for (int fd : {output[1], err, in}) close(fd);
    char head[100];
    EXPECT_EQ(read(output[0], head, sizeof head), static_cast<ssize_t>(sizeof head));
    close(output[0]);
    int signalNumber = 0;
    EXPECT_EQ(waitForExit(pid, &signalNumber), 1);
    EXPECT_EQ(signalNumber, 0);
    const std::string message = readFile(path("err.txt"));
    EXPECT_LE(std::count(message.begin(), message.end(), '\n'), 1) << message;
}

}  // namespace
