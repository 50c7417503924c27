// Test files: a fresh folder per test, files written byte for byte, and
// modification times set to the second.
#pragma once

#include "replacement_host/text/Utf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>

namespace testfiles {

class Folder {
public:
    Folder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessly-ext-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        m_path = pattern;
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    std::u16string u16(const std::string& name = {}) const
    {
        return utf::toUtf16(name.empty() ? m_path : m_path + "/" + name);
    }

    // Writes the bytes, making the folders on the way; gives the full path.
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::string full = *this / name;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << bytes;
        return full;
    }

private:
    std::string m_path;
};

// Sets the file's modification time, seconds since 1970 UTC.
inline void setModified(const std::string& path, long long seconds)
{
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

}
