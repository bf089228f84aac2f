// OUTPUT under adverse conditions: full disks, size limits, impossible paths, signals and
// readers that go away. A regular OUTPUT appears whole or not at all; a stream is written
// directly and never replaced.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "tool_test.h"

namespace {

class OutputSafetyTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        WriteFile(Path("in.y4m"), MakeY4m("YUV4MPEG2 W64 H48 C420", 3));
    }

public:
    using ToolTest::Path;
    bool HasTemporaryFile() const {
        for (const std::string& name : Entries())
            if (name.find(".basinlift-") != std::string::npos) return true;
        return false;
    }
};

TEST_F(OutputSafetyTest, WriteFailuresLeaveNothingBehind) {
    const ToolRun full = RunTool({Path("in.y4m"), "-"}, {"/dev/null", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_NE(full.err.find("standard output"), std::string::npos) << full.err;

    // A file size limit is a write error like a full disk, not death by SIGXFSZ.
    const ToolRun limited = RunShell("ulimit -f 1; exec \"$TOOL\" '" + Path("in.y4m") + "' '" +
                                     Path("out.y4m") + "'");
    EXPECT_EQ(limited.status, 1);
    EXPECT_EQ(limited.signal, 0);
    EXPECT_NE(limited.err.find("out.y4m: write error: File too large"), std::string::npos)
        << limited.err;

    const ToolRun underFile = RunTool({Path("in.y4m"), Path("in.y4m") + "/out.y4m"});
    EXPECT_EQ(underFile.status, 1);
    EXPECT_NE(underFile.err.find("in.y4m/out.y4m"), std::string::npos) << underFile.err;

    EXPECT_EQ(Entries(), std::vector<std::string>{"in.y4m"});
}

TEST_F(OutputSafetyTest, EveryNameTheFileSystemTakesWorks) {
    ASSERT_EQ(RunTool({Path("in.y4m"), Path("whole.y4m")}).status, 0);
    const std::string whole = ReadFile(Path("whole.y4m"));
    for (size_t length : {238, 255}) {
        SCOPED_TRACE(length);
        const std::string name = std::string(length - 4, 'n') + ".y4m";
        const ToolRun run = RunTool({Path("in.y4m"), Path(name)});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(ReadFile(Path(name)) == whole);
        std::remove(Path(name).c_str());
    }
    // One byte more is refused before any work, and leaves nothing behind.
    const ToolRun tooLong = RunTool({Path("in.y4m"), Path(std::string(252, 'n') + ".y4m")});
    EXPECT_EQ(tooLong.status, 1);
    EXPECT_NE(tooLong.err.find("File name too long"), std::string::npos) << tooLong.err;
    EXPECT_EQ(Entries(), (std::vector<std::string>{"in.y4m", "whole.y4m"}));
}

TEST_F(OutputSafetyTest, ALinkIsWrittenThroughAndKept) {
    ASSERT_EQ(RunTool({Path("in.y4m"), Path("whole.y4m")}).status, 0);
    const std::string whole = ReadFile(Path("whole.y4m"));
    ASSERT_EQ(mkdir(Path("sub").c_str(), 0700), 0);
    WriteFile(Path("sub/old.y4m"), "old");
    // To an existing file, dangling, and dangling through a second link; all relative.
    ASSERT_EQ(symlink("sub/old.y4m", Path("existing.y4m").c_str()), 0);
    ASSERT_EQ(symlink("sub/new.y4m", Path("dangling.y4m").c_str()), 0);
    ASSERT_EQ(symlink("dangling2.y4m", Path("chain.y4m").c_str()), 0);
    ASSERT_EQ(symlink("sub/chained.y4m", Path("dangling2.y4m").c_str()), 0);
    for (const char* link : {"existing.y4m", "dangling.y4m", "chain.y4m"}) {
        SCOPED_TRACE(link);
        const ToolRun run = RunTool({Path("in.y4m"), Path(link)});
        EXPECT_EQ(run.status, 0) << run.err;
        struct stat info {};
        lstat(Path(link).c_str(), &info);
        EXPECT_TRUE(S_ISLNK(info.st_mode));
        EXPECT_TRUE(ReadFile(Path(link)) == whole);
    }
    for (const char* target : {"sub/old.y4m", "sub/new.y4m", "sub/chained.y4m"})
        EXPECT_TRUE(ReadFile(Path(target)) == whole) << target;
}

TEST_F(OutputSafetyTest, OutputFilesGetTheirUsualPermissions) {
    const mode_t mask = umask(022);
    WriteFile(Path("kept.y4m"), "old");
    chmod(Path("kept.y4m").c_str(), 0640);
    for (const char* name : {"new.y4m", "kept.y4m"})
        ASSERT_EQ(RunTool({Path("in.y4m"), Path(name)}).status, 0);
    umask(mask);
    struct stat info {};
    stat(Path("new.y4m").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    stat(Path("kept.y4m").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(OutputSafetyTest, APipeIsWrittenDirectlyAndKept) {
    ASSERT_EQ(RunTool({Path("in.y4m"), Path("file.y4m")}).status, 0);
    ASSERT_EQ(mkfifo(Path("fifo.y4m").c_str(), 0600), 0);
    std::string streamed;
    std::thread reader([&] { streamed = ReadFile(Path("fifo.y4m")); });
    const ToolRun run = RunTool({Path("in.y4m"), Path("fifo.y4m")});
    reader.join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(streamed, ReadFile(Path("file.y4m")));
    struct stat info {};
    lstat(Path("fifo.y4m").c_str(), &info);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// A run that has written two frames of standard input to OUTPUT's temporary file and waits
// for the third, until the test sends it a signal or closes its input.
class WaitingRun {
public:
    // progress: "--quiet", or "--progress" for the progress line.
    explicit WaitingRun(const OutputSafetyTest& test, const char* progress = "--quiet") {
        const std::string video = MakeY4m("YUV4MPEG2 W64 H48 C420", 2);
        if (pipe2(input_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        const int err =
            open(test.Path("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_ = StartTool({progress, "-", test.Path("out.y4m")}, input_[0], err, err);
        close(input_[0]);
        close(err);
        if (write(input_[1], video.data(), video.size()) != static_cast<ssize_t>(video.size()))
            throw std::runtime_error("write");
        for (int i = 0; i < 500 && !test.HasTemporaryFile(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~WaitingRun() { CloseInput(); }
    void CloseInput() {
        if (input_[1] >= 0) close(input_[1]);
        input_[1] = -1;
    }
    pid_t Pid() const { return pid_; }

private:
    int input_[2] = {-1, -1};
    pid_t pid_ = -1;
};

TEST_F(OutputSafetyTest, TerminationRemovesTheTemporaryFile) {
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
        SCOPED_TRACE(strsignal(signalNumber));
        WaitingRun run(*this);
        EXPECT_TRUE(HasTemporaryFile());
        kill(run.Pid(), signalNumber);
        EXPECT_EQ(WaitForExit(run.Pid()), 128 + signalNumber);
        EXPECT_EQ(Entries(), (std::vector<std::string>{"err.txt", "in.y4m"}));
    }
}

TEST_F(OutputSafetyTest, TerminationEndsAnOpenProgressLine) {
    WaitingRun run(*this, "--progress");
    // The first frame shows at once, on a line without its end.
    for (int i = 0; i < 500 && ReadFile(Path("err.txt")).find("frame 1") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    kill(run.Pid(), SIGTERM);
    EXPECT_EQ(WaitForExit(run.Pid()), 128 + SIGTERM);
    const std::string err = ReadFile(Path("err.txt"));
    EXPECT_NE(err.find("frame 1"), std::string::npos) << err;
    EXPECT_EQ(err.back(), '\n') << err;
}

TEST_F(OutputSafetyTest, ASignalIgnoredAtStartStaysIgnored) {
    // As under nohup: the hangup changes nothing, and the run finishes when its input ends.
    signal(SIGHUP, SIG_IGN);
    WaitingRun run(*this);
    signal(SIGHUP, SIG_DFL);
    kill(run.Pid(), SIGHUP);
    run.CloseInput();
    EXPECT_EQ(WaitForExit(run.Pid()), 0);
    EXPECT_EQ(ReadY4mFrames(Path("out.y4m")).size(), 2u);
}

TEST_F(OutputSafetyTest, AReaderThatLeavesEndsTheRunQuietly) {
    WriteFile(Path("long.y4m"), MakeY4m("YUV4MPEG2 W64 H48 C420", 120));
    int output[2];
    ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
    const int err = open(Path("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t pid = StartTool({Path("long.y4m"), "-"}, in, output[1], err);
    for (int fd : {output[1], err, in}) close(fd);
    char head[100];
    EXPECT_EQ(read(output[0], head, sizeof head), static_cast<ssize_t>(sizeof head));
    close(output[0]);
    int signalNumber = 0;
    EXPECT_EQ(WaitForExit(pid, &signalNumber), 1);
    EXPECT_EQ(signalNumber, 0);
    EXPECT_EQ(ReadFile(Path("err.txt")), "");
}

TEST_F(OutputSafetyTest, EveryFailedWriteOfStandardOutputIsAFailure) {
    ASSERT_EQ(mkdir(Path("demo").c_str(), 0700), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, std::vector<std::string>{"--version"},
          std::vector<std::string>{"--demo", Path("demo")},
          std::vector<std::string>{Path("in.y4m"), "-"}}) {
        SCOPED_TRACE(args[0]);
        const ToolRun run = RunTool(args, {"/dev/null", "/dev/full"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("standard output: write error: No space left on device"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
}

}  // namespace
