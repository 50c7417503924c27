// tessly check: lists, for every field of a drawing, what will make it show
// something its author probably did not mean: handles that name nothing or
// an object the field does not measure, blocks and layers no one has,
// options that are not options, cells outside the table, missing files,
// expressions that give a message, unknown evaluators, codes nested too
// deep or never closed. The rules are the module's (tesslyCheckField); only
// nested fields and expressions are evaluated.
#include "plugin/TesslyExports.h"
#include "command/Arguments.h"
#include "command/Commands.h"
#include "command/FieldReport.h"
#include "command/Output.h"
#include "command/Session.h"
#include "host/AcFdEval.h"
#include "host/dbtext.h"
#include "replacement_host/fields/FieldCode.h"
#include "replacement_host/text/Utf.h"

#include <nlohmann/json.hpp>
#include <iostream>

const char* const kCheckHelp = R"(usage: tessly check FILE [--json] [--module PATH]

Lists, for every field of the drawing FILE, what will make it show
something you probably did not mean, although the field itself does not
fail: handles that name no object or an object the field does not measure,
block and layer names that nothing has, options that are not options,
cell addresses outside the table, files that do not exist, expressions that
give an error message, evaluators that are not loaded, codes nested deeper
than evaluation follows and codes with no closing >%. The rules are the
module's own; fields are not evaluated, except the fields nested in others
(their values are part of the code) and expressions.

  --json         one JSON object per field with findings:
                 {"code", "evaluator", "location", "findings": [...]}
  --module PATH  the module to load (default: TesslyEval.so next to tessly)

exit status: 0 nothing found, 1 something listed, 2 a usage or file error.

examples:
  tessly check examples/site-plan.json
  tessly check plan.dxf --json
)";

namespace {

struct Checked {
    fieldreport::Entry entry;
    std::string code;
    std::vector<std::string> findings;
};

void nestedFirst(AcDbField* field, std::vector<AcDbObjectId>& ids)
{
    for (AcDbField* child : field->children()) {
        nestedFirst(child, ids);
        ids.push_back(child->objectId());
    }
}

void collect(Session& session, const AcDbField& field, int depth, std::vector<std::string>& out)
{
    for (const AcDbField* child : field.children())
        collect(session, *child, depth + 1, out);
    if (field.isTextField())
        return;
    std::string prefix = depth == 0 ? "" : utf::toUtf8(field.getFieldCode(AcDbField::kTextField)) + ": ";
    const ACHAR* id = field.evaluatorId();
    AcFdFieldEngine* engine = acdbGetFieldEngine();
    const ACHAR* asked = id;
    if (!engine || !engine->findEvaluator(const_cast<AcDbField*>(&field), asked)) {
        std::string name = utf::toUtf8(id ? id : u"");
        out.push_back(prefix + fieldreport::unknownEvaluatorText(name));
        return;
    }
    // Deeper codes stay text, so the evaluator reads them as they are written.
    if (depth + 1 >= fieldcode::kMaxNesting && !fieldcode::findCodes(field.parameters()).empty())
        out.push_back(prefix + "codes nested deeper than " + std::to_string(fieldcode::kMaxNesting) +
                      " levels are not evaluated; they stay text");
    for (const std::string& finding : fieldreport::causes(field))
        out.push_back(prefix + finding);
}

}

int runCheck(const std::vector<std::string>& words)
{
    Arguments args = parseArguments("check", words, {"--json", "--help", "-h"}, {"--module"});
    if (args.has("--help") || args.has("-h")) {
        output::write(kCheckHelp);
        return 0;
    }
    if (args.positional.size() != 1)
        throw UsageError("tessly check: give one drawing file; see tessly check --help");
    const std::string& path = args.positional[0];
    Session session(path, args.value("--module"));
    for (const std::string& note : session.loadNotes())
        std::cerr << path << ": " << note << '\n';
    session.loadModule();
    if (!session.moduleSymbol("tesslyCheckField"))
        throw UsageError(
            "the module does not export tesslyCheckField (built without TESSLY_TOOL_EXPORTS); it cannot check fields");

    std::vector<Checked> checked;
    const std::vector<fieldreport::Entry> entries = fieldreport::drawingEntries(session.database());
    for (const fieldreport::Entry& e : entries) {
        Checked c{e, {}, {}};
        if (!e.field) {
            c.code = e.openCode;
            c.findings.push_back("the code has no closing >%; the text shows it as it is");
        } else {
            auto* field = const_cast<AcDbField*>(e.field);
            std::vector<AcDbObjectId> nested;
            nestedFirst(field, nested);
            if (!nested.empty())
                session.evaluate(nested);
            c.code = utf::toUtf8(field->getFieldCode(AcDbField::kTextField));
            collect(session, *field, 0, c.findings);
        }
        if (!c.findings.empty())
            checked.push_back(std::move(c));
    }

    bool json = args.has("--json");
    std::vector<std::vector<std::string>> rows{{"LOCATION", "CODE", "FINDING"}};
    size_t count = 0;
    for (const Checked& c : checked) {
        count += c.findings.size();
        if (json) {
            fieldreport::Json j;
            j["code"] = c.code;
            const ACHAR* id = c.entry.field ? c.entry.field->evaluatorId() : nullptr;
            j["evaluator"] = id && !c.entry.field->isTextField() ? fieldreport::Json(utf::toUtf8(id)) : nullptr;
            j["location"] = c.entry.field ? fieldreport::locationJson(*c.entry.field)
                                          : fieldreport::ownerLocationJson(c.entry.text);
            j["findings"] = c.findings;
            output::line(j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
            output::itemDone();
        } else {
            for (const std::string& finding : c.findings)
                rows.push_back({fieldreport::entryLocationText(c.entry), c.code, finding});
        }
    }
    if (!json && !checked.empty())
        fieldreport::printTable(rows);
    output::flush();
    // How many fields were checked, and of those how many have findings.
    std::cerr << path << ": " << (count ? std::to_string(count) : "no") << " finding" << (count == 1 ? "" : "s")
              << " in " << (count ? std::to_string(checked.size()) + " of " : "") << entries.size() << " field"
              << (entries.size() == 1 ? "" : "s") << '\n';
    return count ? 1 : 0;
}
