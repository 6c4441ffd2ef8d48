#pragma once
// Runs one of the built programs through the shell and keeps what it printed.
#include "ChildProcess.h"
#include "FormFixture.h"

#include <chrono>
#include <string>

namespace apptest {

struct ProcessResult {
    std::string out, err;
    int status = -1;
};

// Runs `command` (a shell command line) in the current directory, at most 60 s;
// standard error goes through a file in that directory. The status is -1 when the
// command was killed at the limit.
inline ProcessResult RunCommand(const std::string& command) {
    testsupport::ChildOptions stdoutOnly;
    stdoutOnly.captureStderr = false;
    const testsupport::RunResult run = testsupport::RunProgram(
        {"/bin/sh", "-c", command + " 2>stderr.txt"}, std::chrono::seconds(60), stdoutOnly);
    ProcessResult result;
    result.out = run.output;
    result.status = run.status;
    result.err = fakes::ReadFile("stderr.txt");
    return result;
}

// A text quoted for the shell.
inline std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace apptest
