#pragma once
// Running a command line tool (tsql) with the stand-in's password in the shell's environment
// only ($STANDIN_PW), never on a command line that would show in a log; its output and status.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace standin::testing {

struct ToolRun {
    int status;
    std::string output;
};

inline ToolRun RunWithPassword(const std::string& command, const std::string& password)
{
    ::setenv("STANDIN_PW", password.c_str(), 1);
    ToolRun r{0, {}};
    FILE* p = ::popen(command.c_str(), "r");
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        r.output.append(buf, n);
    r.status = ::pclose(p);
    ::unsetenv("STANDIN_PW");
    return r;
}

} // namespace standin::testing
