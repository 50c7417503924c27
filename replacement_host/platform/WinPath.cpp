// The path functions of host/winpath.h for this platform. Paths cross as
// UTF-16 and reach the file system as UTF-8. The full-path step works on the
// text alone, so no working folder is changed and nothing needs restoring.
#include "host/winpath.h"

#include "replacement_host/text/Utf.h"

#include <cerrno>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool isSeparator(ACHAR c) { return c == u'/' || c == u'\\'; }

std::string fileSystemPath(const ACHAR* path) { return utf::toUtf8(path ? std::u16string_view(path) : u""); }

// Where the process works now, as _wchdir to a relative folder would start from.
std::string workingFolder()
{
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE)
            return {};
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

// Drops empty and "." elements and lets ".." take back the one before it, as
// the runtime's full-path step does; ".." at the root stays at the root.
// Written element by element into one string: no list of parts.
std::string normalize(std::string_view absolute, bool trailingSeparator)
{
    std::string out;
    out.reserve(absolute.size() + 1);
    size_t i = 0;
    while (i <= absolute.size()) {
        size_t j = absolute.find('/', i);
        if (j == std::string_view::npos)
            j = absolute.size();
        std::string_view part = absolute.substr(i, j - i);
        if (part == "..") {
            out.resize(out.empty() ? 0 : out.rfind('/'));
        } else if (!part.empty() && part != ".") {
            out += '/';
            out += part;
        }
        i = j + 1;
    }
    if (out.empty())
        return "/";
    if (trailingSeparator)
        out += '/';
    return out;
}

}

bool PathIsRelativeW(const ACHAR* path)
{
    if (!path || !path[0])
        return true;
    return !(isSeparator(path[0]) || path[1] == u':');
}

bool PathRemoveFileSpecW(ACHAR* path)
{
    if (!path || !path[0])
        return false;
    std::u16string_view text(path);
    size_t last = text.find_last_of(u"/\\");
    // The end of the root that must stay: "/", "\\", "C:" or "C:\\".
    size_t root = 0;
    if (text.size() >= 2 && text[1] == u':')
        root = text.size() >= 3 && isSeparator(text[2]) ? 3 : 2;
    else if (isSeparator(text[0]))
        root = 1;
    size_t cut = last == std::u16string_view::npos ? 0 : last;
    if (cut < root)
        cut = root;
    if (cut >= text.size())
        return false;
    path[cut] = 0;
    return true;
}

bool PathFileExistsW(const ACHAR* path)
{
    if (!path || !path[0])
        return false;
    struct stat st {};
    return ::stat(fileSystemPath(path).c_str(), &st) == 0;
}

ACHAR* _wfullpathIn(ACHAR* absPath, const ACHAR* folder, const ACHAR* relPath, std::size_t maxLength)
{
    if (!absPath || !folder || !relPath) {
        errno = EINVAL;
        return nullptr;
    }
    // The same failures as making the folder the working folder.
    std::string base = fileSystemPath(folder);
    struct stat st {};
    if (base.empty() || ::stat(base.c_str(), &st) != 0) {
        errno = ENOENT;
        return nullptr;
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return nullptr;
    }
    if (base[0] != '/') {
        std::string here = workingFolder();
        if (here.empty())
            return nullptr;
        base = here + "/" + base;
    }
    std::u16string rel(relPath);
    for (char16_t& c : rel)
        if (c == u'\\')
            c = u'/';
    std::string relative = utf::toUtf8(rel);
    bool trailing = !relative.empty() && relative.back() == '/';
    std::string joined = !relative.empty() && relative[0] == '/' ? relative : base + "/" + relative;
    std::u16string full = utf::toUtf16(normalize(joined, trailing));
    if (full.size() + 1 > maxLength) {
        errno = ERANGE;
        return nullptr;
    }
    full.copy(absPath, full.size());
    absPath[full.size()] = 0;
    return absPath;
}
