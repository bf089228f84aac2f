// Timing whole processes for the end-to-end measurements: the tool as users run it.
#pragma once

#include <string>
#include <vector>

struct ProcessTiming {
    double wall = 1e30, cpu = 1e30;  // milliseconds, the fastest of the runs
};

// Runs each command (argv[0] a path, the last argument the file it writes) `runs` times, the
// commands in turn, and returns for each its fastest wall clock and CPU time (user + system).
// - Taken in turn, commands that are compared run under the same conditions on a machine
//   whose speed wanders from one minute to the next.
// - Each run writes a new file: the command's file is removed before it, untimed. Replacing a
//   file costs more (about 5 ms for a 1080p picture on ext4, which allocates the new file's
//   blocks when it is renamed over the old one), and a command whose first run alone wrote a
//   new file would have that run counted as its fastest while the others had none.
// A run that fails ends this program with a message.
std::vector<ProcessTiming> TimeProcesses(const std::vector<std::vector<std::string>>& commands,
                                         int runs);

// The program `name` in the folder of the running executable.
std::string BesideThisProgram(const std::string& name);
