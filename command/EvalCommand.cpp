// tessly eval: the main job. Loads a drawing and the module, runs one
// evaluation pass over every field, prints what each field shows, and can
// save the drawing with the new values, or keep watching it.
#include "command/Arguments.h"
#include "command/Commands.h"
#include "command/FieldReport.h"
#include "command/Session.h"
#include "host/dbfield.h"
#include "replacement_host/fields/FieldProgress.h"
#include "replacement_host/platform/SpreadsheetServer.h"
#include "replacement_host/text/Utf.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <unistd.h>

const char* const kEvalHelp = R"(usage: tessly eval FILE [--json] [--save [--output OUT]] [--watch] [--module PATH]

Loads the drawing FILE (our JSON drawing format, or ASCII DXF R12 to R2018),
loads the TesslyEval module as the host loads a plug-in, evaluates every
field in one pass and prints, per field, where it stands, its evaluator, its
parameters, its status and the value it shows. A summary (fields by
evaluator, failures, time) goes to standard error; on a terminal, a pass
that takes longer than a second shows its progress there.

  --json         print one JSON object per field (the "tessly field --json"
                 object plus "location", then the pass's
                 "spreadsheetStarts" and "workbooksOpened")
  --save         write the drawing with the new values, field data and
                 statuses back to FILE (through a temporary file, so a
                 failure leaves the old drawing intact). A DXF drawing is
                 passed through: only what the new values change is written
  --output OUT   with --save: write to OUT instead; a name ending in .dxf
                 writes DXF (for a drawing read from DXF), .json writes
                 tessly's drawing format, any other name is refused
  --watch        keep running: evaluate again whenever the drawing or a file
                 a field reads (text files, workbooks) changes, and print the
                 fields whose value changed, with the time; Ctrl-C stops
  --module PATH  the module to load (default: TesslyEval.so next to tessly)

examples:
  tessly eval examples/site-plan.json
  tessly eval examples/site-plan.dxf --json
  tessly eval plan.json --save
  tessly eval examples/site-plan.dxf --save
  tessly eval examples/site-plan.dxf --save --output site-plan.json
  tessly eval examples/site-plan.json --watch
  tessly eval plan.json --module build/bin/TesslyEval.so
)";

namespace fieldreport {

std::vector<AcDbField*> topLevelFields(AcDbDatabase& db)
{
    std::vector<AcDbField*> fields;
    for (AcDbObjectId id : db.objectIds()) {
        auto* field = AcDbField::cast(db.objectAt(id));
        if (field && !field->isErased() && !AcDbField::cast(db.objectAt(field->ownerId())))
            fields.push_back(field);
    }
    return fields;
}

double timedPass(Session& session)
{
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    bool terminal = ::isatty(STDERR_FILENO) != 0;
    bool shown = false;
    auto last = start;
    if (terminal) {
        // Only passes longer than a second show progress, at most ten times a second.
        fieldprogress::set([&](size_t done, size_t total) {
            auto now = Clock::now();
            if (now - start < std::chrono::seconds(1) || (now - last < std::chrono::milliseconds(100) && done < total))
                return;
            last = now;
            shown = true;
            std::fprintf(stderr, "\revaluating fields: %zu of %zu", done, total);
            std::fflush(stderr);
        });
    }
    // The counts reported are the pass's own.
    spreadsheetserver::resetCounts();
    session.evaluateAll();
    fieldprogress::set(nullptr);
    if (shown)
        std::fprintf(stderr, "\r\033[K");
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string summaryText(const std::vector<AcDbField*>& fields, double seconds)
{
    std::map<std::string, int> byEvaluator;
    int succeeded = 0, kept = 0;
    for (AcDbField* field : fields) {
        const ACHAR* id = field->evaluatorId();
        ++byEvaluator[id && *id ? utf::toUtf8(id) : "(plain text)"];
        succeeded += field->evaluationStatus() == AcDbField::kSuccess;
        // A field a CAD program saved for an evaluator not loaded here keeps what it showed.
        kept += field->evaluationStatus() == AcDbField::kEvaluatorNotFound && field->hostHasFileDisplay();
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", seconds);
    std::string text = std::to_string(fields.size()) + " field" + (fields.size() == 1 ? "" : "s") + ", " +
                       std::to_string(succeeded) + " evaluated, " +
                       std::to_string(fields.size() - succeeded - kept) + " failed" +
                       (kept ? ", " + std::to_string(kept) + " kept (evaluator not loaded)" : std::string()) +
                       " in " + time;
    std::string list;
    for (auto& [id, n] : byEvaluator)
        list += (list.empty() ? "" : ", ") + id + " " + std::to_string(n);
    return list.empty() ? text : text + " (" + list + ")";
}

void printFields(const std::vector<AcDbField*>& fields, bool json)
{
    if (json) {
        for (AcDbField* field : fields) {
            Json j = fieldJson(*field);
            j["location"] = locationJson(*field);
            addPassCounts(j);
            std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        }
        return;
    }
    std::vector<std::vector<std::string>> rows{{"LOCATION", "EVALUATOR", "PARAMETERS", "STATUS", "VALUE"}};
    for (AcDbField* field : fields) {
        const ACHAR* id = field->evaluatorId();
        rows.push_back({locationText(*field), utf::toUtf8(id ? id : u""), utf::toUtf8(field->parameters()),
                        statusText(field->evaluationStatus())});
    }
    // The values are written straight from the fields.
    printTable(rows, fields);
}

}

namespace {
// Where --save writes: OUT, or the drawing itself when it is one of ours.
std::string savePath(const Session& session, const std::string& path, const Arguments& args)
{
    (void)session;
    return args.has("--output") ? args.value("--output") : path;
}
}

int runEval(const std::vector<std::string>& words)
{
    Arguments args = parseArguments("eval", words, {"--json", "--save", "--watch", "--help", "-h"}, {"--module", "--output"});
    if (args.has("--help") || args.has("-h")) {
        std::cout << kEvalHelp;
        return 0;
    }
    if (args.positional.size() != 1)
        throw UsageError("tessly eval: give one drawing file; see tessly eval --help");
    if (args.has("--output") && !args.has("--save"))
        throw UsageError("tessly eval: --output goes with --save; see tessly eval --help");
    if (args.has("--watch") && args.has("--save"))
        throw UsageError("tessly eval: --watch and --save do not go together; see tessly eval --help");
    const std::string& path = args.positional[0];
    if (args.has("--watch"))
        return watchEval(path, args.value("--module"), args.has("--json"));

    Session session(path, args.value("--module"));
    session.leaveDrawingAtExit();
    std::string target = args.has("--save") ? savePath(session, path, args) : std::string();
    for (const std::string& note : session.loadNotes())
        std::cerr << path << ": " << note << '\n';
    session.loadModule();
    double seconds = fieldreport::timedPass(session);

    std::vector<AcDbField*> fields = fieldreport::topLevelFields(session.database());
    fieldreport::printFields(fields, args.has("--json"));
    if (!target.empty()) {
        std::string error = session.save(target);
        if (!error.empty())
            throw UsageError(error);
        for (const std::string& note : session.saveNotes())
            std::cerr << target << ": " << note << '\n';
    }
    std::cout.flush();
    std::cerr << fieldreport::summaryText(fields, seconds) << (target.empty() ? "" : "; saved " + target) << '\n';
    return 0;
}
