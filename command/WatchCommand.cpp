// tessly eval --watch: evaluates a drawing, then waits (inotify) for the
// drawing or a file its fields read to change, evaluates again and prints
// only the fields whose value changed, with the time. SIGINT and SIGTERM
// end it through the normal teardown, so the module is unloaded.
#include "command/Commands.h"
#include "command/FieldReport.h"
#include "command/Output.h"
#include "command/Session.h"
#include "host/dbfield.h"
#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The data keys of fields that read a file, and whether the path is followed
// by ":sheet:cell" (split at the last two colons).
struct FileKey {
    const char16_t* evaluator;
    const char16_t* key;
    bool workbook;
};
constexpr FileKey kFileKeys[] = {
    {u"TextField", u"TextField Data", false},
    {u"ExcelCell", u"ExcelCell Data", true},
};

fs::path normal(const fs::path& p)
{
    std::error_code ec;
    fs::path abs = fs::absolute(p, ec);
    return (ec ? p : abs).lexically_normal();
}

void collectFiles(const AcDbField* field, const fs::path& folder, std::set<fs::path>& files)
{
    for (const FileKey& k : kFileKeys) {
        AcValue value;
        AcString text;
        if (field->getData(k.key, &value) != Acad::eOk || !value.get(text))
            continue;
        std::string path = utf::toUtf8(text);
        if (k.workbook) {
            for (int i = 0; i < 2; ++i) {
                auto colon = path.find_last_of(':');
                if (colon == std::string::npos)
                    break;
                path.erase(colon);
            }
        }
        for (char& c : path)
            if (c == '\\')
                c = '/';
        if (!path.empty())
            files.insert(normal(fs::path(path).is_absolute() ? fs::path(path) : folder / path));
    }
    for (const AcDbField* child : field->children())
        collectFiles(child, folder, files);
}

std::string clock()
{
    std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
    return text;
}

class Watcher {
public:
    Watcher(std::string path, std::string modulePath, bool json)
        : m_path(std::move(path)), m_drawing(normal(m_path)), m_module(std::move(modulePath)), m_json(json)
    {
        m_inotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (m_inotify < 0)
            throw UsageError("tessly eval --watch: cannot watch files (inotify)");
    }
    ~Watcher()
    {
        m_session.reset();
        if (m_inotify >= 0)
            ::close(m_inotify);
    }

    // Loads and evaluates; false (with the error printed) when the drawing cannot be read.
    bool reload(bool first)
    {
        m_session.reset();
        try {
            m_session = std::make_unique<Session>(m_path, m_module);
            m_session->loadModule();
        } catch (const UsageError& e) {
            m_session.reset();
            if (first)
                throw;
            std::cerr << clock() << " " << e.what() << '\n';
            return false;
        }
        for (const std::string& note : first ? m_session->loadNotes() : std::vector<std::string>())
            std::cerr << m_path << ": " << note << '\n';
        return true;
    }

    void evaluate(bool first)
    {
        double seconds = fieldreport::timedPass(*m_session);
        std::vector<AcDbField*> fields = fieldreport::topLevelFields(m_session->database());
        if (first) {
            std::vector<fieldreport::Entry> entries = fieldreport::drawingEntries(m_session->database());
            fieldreport::printEntries(entries, m_json ? fieldreport::Format::kJson : fieldreport::Format::kTable);
            output::flush();
            std::cerr << fieldreport::summaryText(entries, seconds) << '\n';
        } else {
            std::vector<std::pair<AcDbField*, std::optional<std::string>>> changed;
            for (AcDbField* f : fields) {
                auto it = m_values.find(utf::toUtf8(f->objectHandle().text()));
                // A field new in the drawing has no old value.
                std::optional<std::string> old;
                if (it != m_values.end())
                    old = it->second;
                if (it == m_values.end() || old != utf::toUtf8(f->getValue()))
                    changed.emplace_back(f, old);
            }
            printChanged(changed);
        }
        m_values.clear();
        std::set<fs::path> files{m_drawing};
        for (AcDbField* f : fields) {
            m_values[utf::toUtf8(f->objectHandle().text())] = utf::toUtf8(f->getValue());
            collectFiles(f, m_drawing.parent_path(), files);
        }
        m_files = files;
        for (const fs::path& file : m_files)
            watchFolder(file.parent_path());
    }

    // Waits for changes until a signal; the signal mask is set by the caller.
    void loop(int signalFd)
    {
        std::cerr << "watching " << m_files.size() << " file" << (m_files.size() == 1 ? "" : "s")
                  << "; press Ctrl-C to stop" << std::endl;
        for (;;) {
            pollfd fds[2] = {{signalFd, POLLIN, 0}, {m_inotify, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0)
                continue;
            if (fds[0].revents & POLLIN)
                return;
            bool drawingChanged = false, fileChanged = false;
            // Editors write in several steps: gather events until a quiet moment.
            do {
                drain(drawingChanged, fileChanged);
                pollfd more[2] = {{signalFd, POLLIN, 0}, {m_inotify, POLLIN, 0}};
                if (::poll(more, 2, 100) <= 0 || (more[0].revents & POLLIN))
                    break;
            } while (true);
            if (drawingChanged || (fileChanged && !m_session)) {
                if (reload(false))
                    evaluate(false);
            } else if (fileChanged) {
                evaluate(false);
            }
        }
    }

private:
    // Each changed field with the time, its old value and its new one.
    void printChanged(const std::vector<std::pair<AcDbField*, std::optional<std::string>>>& fields)
    {
        std::string time = clock();
        for (auto& [f, old] : fields) {
            if (m_json) {
                fieldreport::Json j = fieldreport::fieldJson(*f);
                j["location"] = fieldreport::locationJson(*f);
                fieldreport::addPassCounts(j);
                j["time"] = time;
                j["previous"] = old ? fieldreport::Json(*old) : fieldreport::Json(nullptr);
                output::line(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            } else {
                output::line(time + "  " + fieldreport::locationText(*f) + "  " +
                             fieldreport::statusText(f->evaluationStatus()) + "  " +
                             (old ? *old + " → " : std::string()) + utf::toUtf8(f->getValue()));
            }
            output::itemDone();
        }
        output::flush();
    }

    void watchFolder(const fs::path& folder)
    {
        if (m_folders.count(folder.string()))
            return;
        // Folders, not files: editors and tools replace files by renaming.
        int wd = inotify_add_watch(m_inotify, folder.c_str(),
                                   IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB);
        if (wd >= 0) {
            m_folders[folder.string()] = wd;
            m_byWd[wd] = folder;
        }
    }

    void drain(bool& drawingChanged, bool& fileChanged)
    {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                auto* e = reinterpret_cast<inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if (e->len == 0 || !m_byWd.count(e->wd))
                    continue;
                fs::path file = (m_byWd[e->wd] / e->name).lexically_normal();
                if (file == m_drawing)
                    drawingChanged = true;
                else if (m_files.count(file))
                    fileChanged = true;
            }
        }
    }

    std::string m_path;
    fs::path m_drawing;
    std::string m_module;
    bool m_json;
    int m_inotify = -1;
    std::unique_ptr<Session> m_session;
    std::map<std::string, std::string> m_values;  // field handle -> shown value
    std::set<fs::path> m_files;
    std::map<std::string, int> m_folders;
    std::map<int, fs::path> m_byWd;
};

}

int watchEval(const std::string& path, const std::string& modulePath, bool json)
{
    // The signals arrive through a descriptor, so the loop ends at a known point.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0)
        throw UsageError("tessly eval --watch: cannot receive signals");
    struct Close {
        int fd;
        ~Close() { ::close(fd); }
    } closeSignals{signalFd};

    output::setLive(true);
    Watcher watcher(path, modulePath, json);
    watcher.reload(true);
    watcher.evaluate(true);
    watcher.loop(signalFd);
    std::cerr << "stopped watching " << path << '\n';
    return 0;
}
