// tessly eval: the main job. Loads a drawing and the module, runs one
// evaluation pass over every field, prints what each field shows, and can
// save the drawing with the new values.
#include "command/Arguments.h"
#include "command/Commands.h"
#include "command/FieldReport.h"
#include "command/Session.h"
#include "host/dbfield.h"
#include "replacement_host/platform/SpreadsheetServer.h"
#include "replacement_host/text/Utf.h"

#include <iostream>
#include <map>

const char* const kEvalHelp = R"(usage: tessly eval FILE [--json] [--save] [--module PATH]

Loads the drawing FILE, loads the TesslyEval module as the host loads a
plug-in, evaluates every field in one pass and prints, per field, where it
stands, its evaluator, its parameters, its status and the value it shows.

  --json         print one JSON object per field (the "tessly field --json"
                 object plus "location", then the pass's
                 "spreadsheetStarts" and "workbooksOpened")
  --save         write the drawing back with the new values, field data and
                 statuses (through a temporary file, so a failure leaves the
                 old drawing intact)
  --module PATH  the module to load (default: TesslyEval.so next to tessly)

example:
  tessly eval examples/site-plan.json
)";

namespace {
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
}

int runEval(const std::vector<std::string>& words)
{
    Arguments args = parseArguments("eval", words, {"--json", "--save", "--help", "-h"}, {"--module"});
    if (args.has("--help") || args.has("-h")) {
        std::cout << kEvalHelp;
        return 0;
    }
    if (args.positional.size() != 1)
        throw UsageError("tessly eval: give one drawing file; see tessly eval --help");
    const std::string& path = args.positional[0];

    Session session(path, args.value("--module"));
    session.loadModule();
    // The counts reported are the pass's own.
    spreadsheetserver::resetCounts();
    session.evaluateAll();

    std::vector<AcDbField*> fields = topLevelFields(session.database());
    std::map<int, int> byStatus;
    if (args.has("--json")) {
        for (AcDbField* field : fields) {
            fieldreport::Json j = fieldreport::fieldJson(*field);
            j["location"] = fieldreport::locationJson(*field);
            fieldreport::addPassCounts(j);
            std::cout << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        }
    } else {
        std::vector<std::vector<std::string>> rows{{"LOCATION", "EVALUATOR", "PARAMETERS", "STATUS", "VALUE"}};
        for (AcDbField* field : fields) {
            const ACHAR* id = field->evaluatorId();
            rows.push_back({fieldreport::locationText(*field), utf::toUtf8(id ? id : u""),
                            utf::toUtf8(field->parameters()), fieldreport::statusText(field->evaluationStatus()),
                            utf::toUtf8(field->getValue())});
        }
        fieldreport::printTable(rows);
    }
    for (AcDbField* field : fields)
        ++byStatus[field->evaluationStatus()];

    if (args.has("--save")) {
        std::string error = session.save(path);
        if (!error.empty())
            throw UsageError(error);
    }
    if (!args.has("--json")) {
        std::cout.flush();
        int failed = static_cast<int>(fields.size()) - byStatus[AcDbField::kSuccess];
        std::cerr << fields.size() << " field" << (fields.size() == 1 ? "" : "s") << ", " << byStatus[AcDbField::kSuccess]
                  << " evaluated, " << failed << " failed" << (args.has("--save") ? ", saved " + path : "") << '\n';
    }
    return 0;
}
