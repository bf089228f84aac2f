#include "process_timing.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// One run of argv: its wall clock and CPU time.
ProcessTiming RunOnce(const std::vector<std::string>& argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0].c_str());
        std::exit(1);
    }
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return {wall, ms(usage.ru_utime) + ms(usage.ru_stime)};
}

}  // namespace

std::vector<ProcessTiming> TimeProcesses(const std::vector<std::vector<std::string>>& commands,
                                         int runs) {
    std::vector<ProcessTiming> best(commands.size());
    for (int r = 0; r < runs; ++r) {
        for (size_t c = 0; c < commands.size(); ++c) {
            std::remove(commands[c].back().c_str());
            const ProcessTiming t = RunOnce(commands[c]);
            best[c].wall = std::min(best[c].wall, t.wall);
            best[c].cpu = std::min(best[c].cpu, t.cpu);
        }
    }
    return best;
}

std::string BesideThisProgram(const std::string& name) {
    std::string self(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
    self.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.rfind('/') + 1) + name;
}
