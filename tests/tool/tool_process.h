// Running the built basinlift executable as a user would, with its standard streams
// redirected to files, and collecting what it printed and how it ended.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ToolRun {
    int status = -1;  // exit status, or -1 when a signal ended the process
    int signal = 0;   // the signal that ended it
    std::string out;  // standard output, unless it was sent elsewhere
    std::string err;
};

struct Redirects {
    std::string in = "/dev/null";
    std::string out;  // empty: captured into ToolRun::out
};

// argv[0] is the program; `tool` is the path of basinlift.
ToolRun RunProgram(const std::vector<std::string>& argv, const Redirects& redirects = {});
ToolRun RunTool(const std::vector<std::string>& args, const Redirects& redirects = {});
// /bin/sh -c script, with $TOOL set to basinlift's path.
ToolRun RunShell(const std::string& script);

// Starts basinlift with the given descriptors as its standard streams; returns its pid.
pid_t StartTool(const std::vector<std::string>& args, int in, int out, int err);
// Waits for pid; status as in ToolRun (signal through *signalNumber when not null).
int WaitForExit(pid_t pid, int* signalNumber = nullptr);
