#include "tool_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int OpenOrThrow(const std::string& path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    return fd;
}

pid_t Spawn(const std::vector<std::string>& argv, int in, int out, int err) {
    std::vector<char*> pointers;
    for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
    pointers.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        setenv("TOOL", BASINLIFT_TOOL_PATH, 1);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork failed");
    return pid;
}

}  // namespace

int WaitForExit(pid_t pid, int* signalNumber) {
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
    }
    if (signalNumber) *signalNumber = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

pid_t StartTool(const std::vector<std::string>& args, int in, int out, int err) {
    std::vector<std::string> argv{BASINLIFT_TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv, in, out, err);
}

ToolRun RunProgram(const std::vector<std::string>& argv, const Redirects& redirects) {
    std::string outName = ::testing::TempDir() + "basinlift_out_XXXXXX";
    std::string errName = ::testing::TempDir() + "basinlift_err_XXXXXX";
    const int capturedOut = mkstemp(outName.data());
    const int capturedErr = mkstemp(errName.data());
    if (capturedOut < 0 || capturedErr < 0) throw std::runtime_error("cannot capture output");
    const int in = OpenOrThrow(redirects.in, O_RDONLY);
    const int out = redirects.out.empty()
                        ? capturedOut
                        : OpenOrThrow(redirects.out, O_WRONLY | O_CREAT | O_TRUNC);
    ToolRun run;
    run.status = WaitForExit(Spawn(argv, in, out, capturedErr), &run.signal);
    run.out = Slurp(outName);
    run.err = Slurp(errName);
    for (int fd : {in, capturedOut, capturedErr}) close(fd);
    if (out != capturedOut) close(out);
    unlink(outName.c_str());
    unlink(errName.c_str());
    return run;
}

ToolRun RunTool(const std::vector<std::string>& args, const Redirects& redirects) {
    std::vector<std::string> argv{BASINLIFT_TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, redirects);
}

ToolRun RunShell(const std::string& script) { return RunProgram({"/bin/sh", "-c", script}); }
