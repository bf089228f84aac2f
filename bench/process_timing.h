// Timing whole processes for the end-to-end measurements: the tool as users run it.
#pragma once

#include <string>
#include <vector>

struct ProcessTiming {
    double wall = 1e30, cpu = 1e30;  // milliseconds, the fastest of the runs
};

// Runs argv (argv[0] a path) `runs` times; the fastest wall clock and CPU time (user + system).
// A run that fails ends this program with a message.
ProcessTiming TimeProcess(const std::vector<std::string>& argv, int runs);

// The program `name` in the folder of the running executable.
std::string BesideThisProgram(const std::string& name);
