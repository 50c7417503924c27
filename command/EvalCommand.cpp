// tessly eval: the main job. Loads a drawing and the module, runs one
// evaluation pass over every field, prints what each field shows, and can
// save the drawing with the new values, or keep watching it. Several
// drawings are evaluated each in a process of its own (the module's state
// is per process), -j of them at once, and printed in the order given.
#include "command/Arguments.h"
#include "command/Commands.h"
#include "command/FieldReport.h"
#include "command/Output.h"
#include "command/Session.h"
#include "host/dbfield.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

const char* const kEvalHelp = R"(usage: tessly eval FILE... [--format table|json|csv] [--only IDS] [--failed]
                   [--save [--output OUT]] [--watch] [-j N] [--module PATH]

Loads the drawing FILE (our JSON drawing format, or ASCII DXF R12 to R2018),
loads the TesslyEval module as the host loads a plug-in, evaluates every
field in one pass and prints, per field, where it stands, its evaluator, its
parameters, its status, the value it shows and, for a field that failed,
the problem. A summary (fields by evaluator, failures, time) goes to
standard error; on a terminal, a pass that takes longer than a second shows
its progress there.

Several drawings are evaluated each in its own pass and process; their
results are printed in the order given, then one total.

  --format F     table (the default), json (one JSON object per field: the
                 "tessly field --json" object plus "location", then the
                 pass's "spreadsheetStarts" and "workbooksOpened") or csv
  --json         the same as --format json
  --only IDS     only the fields of these evaluators (comma-separated ids)
  --failed       only the fields that failed
  --save         write the drawing with the new values, field data and
                 statuses back to FILE (through a temporary file, so a
                 failure leaves the old drawing intact; through a symbolic
                 link to the file it names; never over a read-only file). A
                 DXF drawing is passed through: only what the new values
                 change is written
  --output OUT   with --save: write to OUT instead; a name ending in .dxf
                 writes DXF (for a drawing read from DXF), .json writes
                 tessly's drawing format, any other name is refused
  --watch        keep running: evaluate again whenever the drawing or a file
                 a field reads (text files, workbooks) changes, and print the
                 fields whose value changed (old -> new), with the time;
                 Ctrl-C stops
  -j N           with several drawings: evaluate N at once
  --module PATH  the module to load (default: TesslyEval.so next to tessly)

exit status: 0 every field evaluated, 1 a field failed, 2 a usage error or a
drawing that cannot be read or written; with several drawings, the worst.

examples:
  tessly eval examples/site-plan.json
  tessly eval examples/site-plan.dxf --json
  tessly eval examples/site-plan.json --only AcArea,AcLength --format csv
  tessly eval plan.json --save
  tessly eval examples/site-plan.dxf --save
  tessly eval examples/site-plan.dxf --save --output site-plan.json
  tessly eval examples/site-plan.json --watch
  tessly eval a.json b.dxf c.json -j 2
  tessly eval plan.json --module build/bin/TesslyEval.so
)";

namespace {

struct Options {
    fieldreport::Format format = fieldreport::Format::kTable;
    std::set<std::string> only;
    bool failedOnly = false;
    std::string module;
    bool save = false;
    std::string output;
    bool several = false;
};

// What one drawing gave, for the total.
struct Tally {
    size_t fields = 0;
    size_t failures = 0;
    double seconds = 0;
};

// Where --save writes: OUT, or the drawing itself when it is one of ours.
std::string savePath(const Session& session, const std::string& path, const Options& o)
{
    (void)session;
    return o.output.empty() ? path : o.output;
}

// A single drawing is left to the exit; in a batch each is freed before the next.
int evalOne(const std::string& path, const Options& o, Tally& tally, bool leaveAtExit = false)
{
    Session session(path, o.module);
    if (leaveAtExit)
        session.leaveDrawingAtExit();
    std::string target = o.save ? savePath(session, path, o) : std::string();
    for (const std::string& note : session.loadNotes())
        std::cerr << path << ": " << note << '\n';
    session.loadModule();
    double seconds = fieldreport::timedPass(session);

    std::vector<fieldreport::Entry> entries =
        fieldreport::filtered(fieldreport::drawingEntries(session.database()), o.only, o.failedOnly);
    fieldreport::printEntries(entries, o.format, o.several ? path : std::string());
    if (!target.empty()) {
        std::string error = session.save(target);
        if (!error.empty())
            throw UsageError(error);
        for (const std::string& note : session.saveNotes())
            std::cerr << target << ": " << note << '\n';
    }
    output::flush();
    std::cerr << fieldreport::summaryText(entries, seconds) << (target.empty() ? "" : "; saved " + target) << '\n';
    tally.fields = entries.size();
    for (const fieldreport::Entry& e : entries)
        tally.failures += fieldreport::failed(e);
    tally.seconds = seconds;
    return tally.failures ? 1 : 0;
}

// One drawing in a child process: its output, errors and tally are kept
// until the parent prints them in order.
struct Child {
    pid_t pid = -1;
    int out = -1, err = -1, tally = -1;
    int status = 2;
};

std::string readAll(int fd)
{
    std::string text;
    ::lseek(fd, 0, SEEK_SET);
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return text;
}

Child start(const std::string& path, const Options& o)
{
    Child c;
    c.out = memfd_create("tessly-out", MFD_CLOEXEC);
    c.err = memfd_create("tessly-err", MFD_CLOEXEC);
    c.tally = memfd_create("tessly-tally", MFD_CLOEXEC);
    if (c.out < 0 || c.err < 0 || c.tally < 0)
        throw UsageError(std::string("tessly eval: cannot start a drawing's process: ") + std::strerror(errno));
    output::flush();
    std::cout.flush();
    std::cerr.flush();
    c.pid = ::fork();
    if (c.pid < 0)
        throw UsageError(std::string("tessly eval: cannot start a drawing's process: ") + std::strerror(errno));
    if (c.pid == 0) {
        ::dup2(c.out, STDOUT_FILENO);
        ::dup2(c.err, STDERR_FILENO);
        int status = 2;
        Tally t;
        try {
            status = evalOne(path, o, t);
        } catch (const std::exception& e) {
            std::cerr << e.what() << '\n';
        }
        output::flush();
        std::cerr.flush();
        std::string line =
            std::to_string(t.fields) + " " + std::to_string(t.failures) + " " + std::to_string(t.seconds);
        if (::write(c.tally, line.data(), line.size()) < 0)
            status = 2;
        std::_Exit(status);
    }
    return c;
}

int evalMany(const std::vector<std::string>& paths, const Options& o, int jobs)
{
    std::vector<Child> children(paths.size());
    size_t next = 0, printed = 0;
    int running = 0, worst = 0;
    bool sawHeader = false;
    Tally total;
    std::vector<bool> done(paths.size(), false);
    while (printed < paths.size()) {
        while (running < jobs && next < paths.size()) {
            children[next] = start(paths[next], o);
            ++next;
            ++running;
        }
        int status = 0;
        pid_t pid = ::waitpid(-1, &status, 0);
        if (pid < 0 && errno == EINTR)
            continue;
        if (pid < 0)
            break;
        for (size_t i = 0; i < next; ++i)
            if (children[i].pid == pid) {
                children[i].status = WIFEXITED(status) ? WEXITSTATUS(status) : 2;
                done[i] = true;
                --running;
            }
        // Results in the order given, each as soon as those before it are done.
        while (printed < paths.size() && done[printed]) {
            Child& c = children[printed];
            std::string out = readAll(c.out), err = readAll(c.err);
            std::istringstream tally(readAll(c.tally));
            Tally t;
            tally >> t.fields >> t.failures >> t.seconds;
            total.fields += t.fields;
            total.failures += t.failures;
            total.seconds += t.seconds;
            if (o.format == fieldreport::Format::kTable)
                output::line("== " + paths[printed]);
            // One CSV header for all drawings.
            if (o.format == fieldreport::Format::kCsv && sawHeader && out.starts_with("drawing,"))
                out.erase(0, out.find('\n') + 1);
            sawHeader |= out.starts_with("drawing,");
            output::write(out);
            output::flush();
            std::istringstream lines(err);
            for (std::string line; std::getline(lines, line);)
                std::cerr << paths[printed] << ": " << line << '\n';
            worst = std::max(worst, c.status);
            ++printed;
        }
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", total.seconds);
    std::cerr << paths.size() << " drawings: " << total.fields << " fields, " << total.fields - total.failures
              << " evaluated, " << total.failures << " failed in " << time << '\n';
    return worst;
}

std::set<std::string> evaluatorList(const std::string& text)
{
    std::set<std::string> ids;
    std::stringstream in(text);
    for (std::string id; std::getline(in, id, ',');)
        if (!id.empty())
            ids.insert(id);
    return ids;
}

}

int runEval(const std::vector<std::string>& words)
{
    Arguments args = parseArguments("eval", words, {"--json", "--save", "--watch", "--failed", "--help", "-h"},
                                    {"--module", "--output", "--format", "--only", "-j"});
    if (args.has("--help") || args.has("-h")) {
        output::write(kEvalHelp);
        return 0;
    }
    if (args.positional.empty())
        throw UsageError("tessly eval: give a drawing file; see tessly eval --help");
    if (args.has("--output") && !args.has("--save"))
        throw UsageError("tessly eval: --output goes with --save; see tessly eval --help");
    if (args.has("--watch") && args.has("--save"))
        throw UsageError("tessly eval: --watch and --save do not go together; see tessly eval --help");
    if (args.has("--json") && args.has("--format") && args.value("--format") != "json")
        throw UsageError("tessly eval: --json and --format " + args.value("--format") + " do not go together");
    Options o;
    o.format =
        args.has("--json") ? fieldreport::Format::kJson : fieldreport::parseFormat(args.value("--format", "table"));
    o.only = evaluatorList(args.value("--only"));
    checkEvaluatorIds(o.only);
    o.failedOnly = args.has("--failed");
    o.module = args.value("--module");
    o.save = args.has("--save");
    o.output = args.value("--output");
    int jobs = 1;
    if (args.has("-j")) {
        const std::string& j = args.value("-j");
        if (j.empty() || j.find_first_not_of("0123456789") != std::string::npos || std::stoi(j.substr(0, 4)) < 1)
            throw UsageError("tessly eval: -j " + j + ": give a number of drawings to evaluate at once, 1 or more");
        jobs = std::stoi(j.substr(0, 4));
    }
    if (args.positional.size() > 1) {
        if (args.has("--watch"))
            throw UsageError("tessly eval: --watch takes one drawing");
        if (!o.output.empty())
            throw UsageError("tessly eval: --output takes one drawing");
        o.several = true;
        return evalMany(args.positional, o, jobs);
    }
    const std::string& path = args.positional[0];
    if (args.has("--watch"))
        return watchEval(path, o.module, o.format == fieldreport::Format::kJson);
    Tally tally;
    return evalOne(path, o, tally, true);
}
