// What the benchmarks that read drawing files share: a scratch folder made
// once and removed at exit, and the process's memory figures.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace benchsupport {

// A folder of this process's own, under the system's temporary folder.
inline const std::filesystem::path& scratchFolder(const char* prefix)
{
    struct Folder {
        std::filesystem::path path;
        explicit Folder(const char* name)
            : path(std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(::getpid())))
        {
            std::filesystem::create_directories(path);
        }
        ~Folder()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static Folder folder(prefix);
    return folder.path;
}

// A figure of /proc/self/status in kB, such as "VmRSS:" or "VmHWM:"; 0 when absent.
inline long statusKb(const char* key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return 0;
}

}
