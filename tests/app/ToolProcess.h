#pragma once
// Runs one of the built programs through the shell and keeps what it printed.
#include "FormFixture.h"

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace apptest {

struct ProcessResult {
    std::string out, err;
    int status = -1;
};

// Runs `command` (a shell command line) in the current directory; standard error goes
// through a file in that directory.
inline ProcessResult RunCommand(const std::string& command) {
    ProcessResult result;
    FILE* pipe = popen((command + " 2>stderr.txt").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> chunk;
    for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
        result.out.append(chunk.data(), n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
