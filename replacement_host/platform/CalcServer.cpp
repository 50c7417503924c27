// LibreOffice Calc as the spreadsheet application behind the automation
// server: startCalc() of SpreadsheetApplication.h. Each instance is a bridge
// process (calc_bridge.py on Debian's python3-uno) that starts a headless
// soffice and drives it through UNO; the host speaks to the bridge one line
// a request over a socket, and every request has a time limit, past which
// the instance is ended. Both processes carry the instance folder in their
// command lines ("tessly-calc-<owner pid>-…"): that mark is how a left-over
// instance is found, listed as a main window of the platform whose text is
// the caption the session gave it. Instances of another running host are
// not listed; a user's own LibreOffice never is.
#include "replacement_host/platform/SpreadsheetApplication.h"

#include "CalcBridgeScript.h"
#include "replacement_host/platform/Processes.h"
#include "replacement_host/text/Utf.h"
#include "replacement_host/text/CaseFold.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using spreadsheetserver::Disconnected;
using spreadsheetserver::StartFailure;

constexpr const char* kFolderMark = "tessly-calc-";
constexpr const char* kPython = "/usr/bin/python3";
// Seconds; TESSLY_LIBREOFFICE_TIMEOUT sets them all at once.
constexpr int kStartSeconds = 90;
constexpr int kCallSeconds = 60;
constexpr int kQuitSeconds = 10;

int g_starts = 0;
int g_opened = 0;

int limit(int seconds)
{
    const char* set = std::getenv("TESSLY_LIBREOFFICE_TIMEOUT");
    int value = set ? std::atoi(set) : 0;
    return value > 0 ? value : seconds;
}

// soffice.bin itself when it can be found: the soffice script starts it in
// a process that would not end with the bridge.
std::string sofficeProgram()
{
    if (const char* set = std::getenv("TESSLY_SOFFICE"); set && *set)
        return set;
    std::error_code ec;
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        fs::path script = fs::path(dir.empty() ? "." : dir) / "soffice";
        if (!fs::exists(script, ec))
            continue;
        fs::path real = fs::canonical(script, ec);
        fs::path binary = real.parent_path() / "soffice.bin";
        return fs::exists(binary, ec) ? binary.string() : real.string();
    }
    return {};
}

std::string escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::vector<std::string> splitReply(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            char e = line[++i];
            fields.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string lastLineOf(const fs::path& file)
{
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    return last;
}

// ---- The marked processes of the system ----

struct Marked {
    DWORD processId;
    std::string folder;  // the instance folder, from the command line
};

// The instance folder named in a command line, or empty.
std::string folderIn(const std::string& commandLine)
{
    size_t mark = commandLine.find(kFolderMark);
    if (mark == std::string::npos)
        return {};
    size_t start = commandLine.rfind('\0', mark);
    start = start == std::string::npos ? 0 : start + 1;
    size_t end = commandLine.find_first_of(std::string("/\0", 2), mark);
    std::string folder = commandLine.substr(start, (end == std::string::npos ? commandLine.size() : end) - start);
    for (const char* prefix : {"-env:UserInstallation=", "file://"})
        if (folder.rfind(prefix, 0) == 0)
            folder.erase(0, std::strlen(prefix));
    return folder;
}

// Read with the system's calls: a process may end while it is read.
std::string readAll(const std::string& path)
{
    std::string text;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

std::vector<Marked> markedProcesses()
{
    std::vector<Marked> found;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string folder = folderIn(readAll("/proc/" + name + "/cmdline"));
        if (!folder.empty())
            found.push_back({static_cast<DWORD>(std::stoul(name)), folder});
    }
    return found;
}

// The host that started the instance, from the folder's name.
pid_t ownerOf(const std::string& folder)
{
    std::string name = fs::path(folder).filename().string();
    return static_cast<pid_t>(std::atol(name.c_str() + std::strlen(kFolderMark)));
}

// Left over: its host has gone, or it is this host's own.
bool leftOver(const std::string& folder)
{
    pid_t owner = ownerOf(folder);
    return owner == ::getpid() || owner <= 0 || (::kill(owner, 0) != 0 && errno == ESRCH);
}

void endProcessesOf(const std::string& folder)
{
    for (const Marked& m : markedProcesses())
        if (m.folder == folder)
            ::kill(static_cast<pid_t>(m.processId), SIGKILL);
    std::error_code ec;
    fs::remove_all(folder, ec);
}

std::u16string captionOf(const std::string& folder)
{
    std::string text = readAll(folder + "/caption");
    return utf::toUtf16(text.empty() ? "LibreOffice Calc" : text);
}

// One main window an instance, owned by its first process.
std::vector<processes::ForeignWindow> calcWindows()
{
    std::map<std::string, DWORD> first;
    for (const Marked& m : markedProcesses()) {
        if (!leftOver(m.folder))
            continue;
        auto [it, added] = first.emplace(m.folder, m.processId);
        if (!added)
            it->second = std::min(it->second, m.processId);
    }
    std::vector<processes::ForeignWindow> windows;
    for (const auto& [folder, processId] : first)
        windows.push_back({processId, u"XLMAIN", captionOf(folder)});
    return windows;
}

std::string folderOf(DWORD processId)
{
    for (const Marked& m : markedProcesses())
        if (m.processId == processId && leftOver(m.folder))
            return m.folder;
    return {};
}

const bool g_listed = [] {
    processes::addForeignSource({calcWindows, [](DWORD id) { return !folderOf(id).empty(); },
                                 [](DWORD id) {
                                     std::string folder = folderOf(id);
                                     if (folder.empty())
                                         return false;
                                     endProcessesOf(folder);
                                     return true;
                                 }});
    return true;
}();

// ---- One instance: the bridge process and its soffice ----

class Bridge {
public:
    Bridge()
    {
        std::string soffice = sofficeProgram();
        if (soffice.empty() || ::access(soffice.c_str(), X_OK) != 0)
            throw StartFailure{u"LibreOffice is not installed (no soffice program was found; Debian's package is "
                               u"libreoffice-calc-nogui)"};
        if (::access(kPython, X_OK) != 0)
            throw StartFailure{u"python3 is not installed at /usr/bin/python3, so LibreOffice cannot be driven"};
        std::error_code ec;
        std::string pattern =
            (fs::temp_directory_path(ec) / (kFolderMark + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data()))
            throw StartFailure{u"no instance folder could be made in " + utf::toUtf16(pattern)};
        m_folder = pattern;
        try {
            launch(soffice);
            std::vector<std::string> ready = receive(limit(kStartSeconds), "starting");
            if (ready.at(0) != "ready" || ready.size() < 2)
                throw StartFailure{u"LibreOffice did not start: " +
                                   utf::toUtf16(ready.size() > 1 ? ready[1] : ready.at(0))};
        } catch (const StartFailure&) {
            end();
            throw;
        } catch (const std::exception& e) {
            end();
            throw StartFailure{utf::toUtf16(e.what())};
        }
    }
    ~Bridge() { end(); }
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    const std::string& folder() const { return m_folder; }

    bool alive()
    {
        if (m_pid <= 0)
            return false;
        if (::waitpid(m_pid, nullptr, WNOHANG) == 0)
            return true;
        m_pid = 0;
        end();
        return false;
    }

    // The reply's fields after "ok". A raised error throws runtime_error
    // with its message; an instance that stops or does not answer in time
    // is ended, and the call raises what happened.
    std::vector<std::string> request(const std::vector<std::string>& fields, int seconds, const std::string& what)
    {
        if (!alive())
            throw Disconnected{};
        std::string line;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                line += '\t';
            line += escape(fields[i]);
        }
        line += '\n';
        if (::send(m_socket, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
            end();
            throw std::runtime_error("LibreOffice stopped before " + what);
        }
        std::vector<std::string> reply = receive(seconds, what);
        if (reply[0] == "ok")
            return {reply.begin() + 1, reply.end()};
        std::string message = reply.size() > 1 ? reply[1] : reply[0];
        if (reply[0] == "gone")
            end();
        throw std::runtime_error(message);
    }

    void quit()
    {
        if (alive()) {
            try {
                request({"quit"}, limit(kQuitSeconds), "quitting");
            } catch (...) {
            }
            // The bridge ends by itself after quitting; it is waited for a while.
            for (int i = 0; i < 100 && m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        end();
    }

private:
    void launch(const std::string& soffice)
    {
        std::ofstream(fs::path(m_folder) / "bridge.py", std::ios::binary) << kCalcBridgeScript;
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            throw StartFailure{u"no socket for the bridge to LibreOffice"};
        std::string log = m_folder + "/bridge.log";
        int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::string script = m_folder + "/bridge.py";
        std::vector<char*> argv = {const_cast<char*>(kPython),
                                   const_cast<char*>("-u"),
                                   script.data(),
                                   m_folder.data(),
                                   const_cast<char*>(soffice.c_str()),
                                   nullptr};
        pid_t parent = ::getpid();
        pid_t pid = ::fork();
        if (pid == 0) {
            // A group of its own, ended together; and ended with its host.
            ::setsid();
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
            ::dup2(pair[1], 0);
            ::dup2(pair[1], 1);
            if (logFd >= 0)
                ::dup2(logFd, 2);
            // Nothing else of the host's: a pipe held open here would keep
            // whoever reads the host's output waiting.
            ::close_range(3, ~0U, 0);
            ::execv(kPython, argv.data());
            ::_exit(127);
        }
        ::close(pair[1]);
        if (logFd >= 0)
            ::close(logFd);
        m_socket = pair[0];
        if (pid < 0)
            throw StartFailure{u"the bridge to LibreOffice could not be started"};
        m_pid = pid;
    }

    std::vector<std::string> receive(int seconds, const std::string& what)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        for (;;) {
            if (size_t eol = m_pending.find('\n'); eol != std::string::npos) {
                std::string line = m_pending.substr(0, eol);
                m_pending.erase(0, eol + 1);
                return splitReply(line);
            }
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                end();
                throw std::runtime_error("LibreOffice did not answer within " + std::to_string(seconds) + " s while " +
                                         what + "; it was ended");
            }
            pollfd p{m_socket, POLLIN, 0};
            int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
            if (ready < 0 && errno != EINTR) {
                end();
                throw std::runtime_error("the bridge to LibreOffice failed while " + what);
            }
            if (ready <= 0)
                continue;
            char buffer[65536];
            ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (n > 0) {
                m_pending.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            std::string why = lastLineOf(fs::path(m_folder) / "bridge.log");
            end();
            throw std::runtime_error("LibreOffice stopped while " + what + (why.empty() ? "" : ": " + why));
        }
    }

    // Ends both processes and removes the folder; nothing is left behind.
    void end()
    {
        if (m_pid > 0) {
            ::kill(-m_pid, SIGKILL);
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
        if (m_socket >= 0) {
            ::close(m_socket);
            m_socket = -1;
        }
        if (!m_folder.empty()) {
            endProcessesOf(m_folder);
            m_folder.clear();
        }
    }

    std::string m_folder;
    pid_t m_pid = 0;
    int m_socket = -1;
    std::string m_pending;
};

class CalcApplication final : public spreadsheetserver::Application {
public:
    CalcApplication() { ++g_starts; }

    bool running() const override { return m_bridge.alive(); }
    void setCaption(const std::u16string& caption) override
    {
        m_caption = caption;
        std::ofstream(fs::path(m_bridge.folder()) / "caption", std::ios::binary) << utf::toUtf8(caption);
    }
    std::u16string caption() const override { return m_caption; }
    void setDisplayAlerts(bool) override {}  // headless: it never asks
    void quit() override
    {
        m_books.clear();
        m_bridge.quit();
    }

    int workbookCount() const override { return static_cast<int>(m_books.size()); }
    int open(const std::u16string& path) override
    {
        std::vector<std::string> reply =
            m_bridge.request({"open", utf::toUtf8(path)}, limit(kCallSeconds), "opening '" + utf::toUtf8(path) + "'");
        if (reply.empty())
            throw std::runtime_error("LibreOffice gave no name for '" + utf::toUtf8(path) + "'");
        Book book{utf::toUtf16(reply[0]), {}};
        for (size_t i = 1; i < reply.size(); ++i)
            book.sheets.push_back(utf::toUtf16(reply[i]));
        m_books.push_back(std::move(book));
        ++g_opened;
        return workbookCount();
    }
    std::u16string fullName(int book) const override { return at(book).fullName; }
    int worksheetCount(int book) const override { return static_cast<int>(at(book).sheets.size()); }
    std::u16string worksheetName(int book, int sheet) const override
    {
        const Book& b = at(book);
        if (sheet < 1 || sheet > static_cast<int>(b.sheets.size()))
            throw std::runtime_error("'" + utf::toUtf8(b.fullName) + "' has no worksheet number " +
                                     std::to_string(sheet));
        return b.sheets[static_cast<size_t>(sheet - 1)];
    }
    int worksheetByName(int book, const std::u16string& name) const override
    {
        const Book& b = at(book);
        for (size_t i = 0; i < b.sheets.size(); ++i)
            if (casefold::equalsIgnoreCase(b.sheets[i], name))
                return static_cast<int>(i + 1);
        throw std::runtime_error("'" + utf::toUtf8(b.fullName) + "' has no worksheet named '" + utf::toUtf8(name) +
                                 "'");
    }
    std::function<std::u16string()> range(int book, int sheet, const std::u16string& reference) override
    {
        std::string where = utf::toUtf8(worksheetName(book, sheet)) + "!" + utf::toUtf8(reference);
        std::vector<std::string> reply =
            m_bridge.request({"text", std::to_string(book), std::to_string(sheet), utf::toUtf8(reference)},
                             limit(kCallSeconds), "reading " + where);
        std::u16string text = utf::toUtf16(reply.empty() ? std::string() : reply[0]);
        return [text] { return text; };
    }

private:
    struct Book {
        std::u16string fullName;
        std::vector<std::u16string> sheets;
    };
    const Book& at(int book) const
    {
        if (book < 1 || book > workbookCount())
            throw std::runtime_error("There is no open workbook number " + std::to_string(book));
        return m_books[static_cast<size_t>(book - 1)];
    }

    mutable Bridge m_bridge;
    std::u16string m_caption;
    std::vector<Book> m_books;
};

}

namespace spreadsheetserver {

std::unique_ptr<Application> startCalc() { return std::make_unique<CalcApplication>(); }

int calcStarts() { return g_starts; }
int calcWorkbooksOpened() { return g_opened; }

void resetCalcCounts()
{
    g_starts = 0;
    g_opened = 0;
}

}
