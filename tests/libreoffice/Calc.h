// Test support for LibreOffice: whether it can be driven here, the choice
// of application for the tests' duration, and this process's instances.
#pragma once

#include "replacement_host/platform/SpreadsheetServer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace calc {

inline bool installed()
{
    static const bool found = std::system("command -v soffice >/dev/null 2>&1") == 0 &&
        std::system("/usr/bin/python3 -c 'import uno' >/dev/null 2>&1") == 0;
    return found;
}

// Sets an environment variable until the end of the scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        m_had = std::getenv(name) != nullptr;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

inline std::string commandLineOf(pid_t pid)
{
    std::string text;
    int fd = ::open(("/proc/" + std::to_string(pid) + "/cmdline").c_str(), O_RDONLY);
    if (fd < 0)
        return text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

// Processes of the instances this test program started, with a word of
// their command line when given ("soffice.bin").
inline std::vector<pid_t> ourProcesses(const std::string& word = {})
{
    std::vector<pid_t> found;
    const std::string mark = "tessly-calc-" + std::to_string(::getpid()) + "-";
    DIR* dir = ::opendir("/proc");
    while (dirent* e = dir ? ::readdir(dir) : nullptr) {
        pid_t pid = std::atoi(e->d_name);
        if (pid <= 0)
            continue;
        std::string line = commandLineOf(pid);
        if (line.find(mark) != std::string::npos && line.find(word) != std::string::npos)
            found.push_back(pid);
    }
    if (dir)
        ::closedir(dir);
    return found;
}

}
