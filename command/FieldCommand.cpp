// tessly field: evaluates field codes as fields of texts in model space of a
// drawing (a new empty one by default), all in one evaluation pass, and
// prints each field's result.
#include "command/Arguments.h"
#include "command/Commands.h"
#include "command/FieldReport.h"
#include "command/Output.h"
#include "command/Session.h"
#include "host/dbfield.h"
#include "host/dbsymtb.h"
#include "host/dbtext.h"
#include "replacement_host/HostAccess.h"
#include "replacement_host/platform/SpreadsheetServer.h"
#include "replacement_host/text/Utf.h"

#include <algorithm>
#include <iostream>

const char* const kFieldHelp = R"(usage: tessly field CODE [--drawing FILE] [--select HANDLE] [--json] [--module PATH]

Evaluates one field code as a field of a text in model space and prints its
value. With CODE "-", reads one code per line from standard input and
evaluates all of them in the same pass. While the sibling library holds a
selection (--select, or "selected" in the drawing), the field is one being
placed from it: it has no owner yet, and an expression's bare cell
references address the selected table.

  --drawing FILE   the drawing the field lives in, JSON or ASCII DXF
                   (default: a new empty one)
  --select HANDLE  the object the sibling library holds as selected
  --json           print {"evaluator","compile","status","returned","type","value","display",
                   "spreadsheetStarts","workbooksOpened"}
  --module PATH    the module to load (default: TesslyEval.so next to tessly)

Relative paths of TextField and ExcelCell codes count from the drawing's
folder, or from the current folder when no drawing is given.

exit status: 0 every field evaluated, 1 a field failed (its problem goes to
standard error, or to "problem" with --json), 2 a usage or file error.

examples:
  tessly field '%<\AcLength Object(<1F2;2A0>)>%' --drawing plan.json
  tessly field '%<\AcBlockCount "TREE">%' --drawing examples/site-plan.dxf
  printf '%s\n' '%<\TsExpr 1+2>%' '%<\TsExpr 2*3>%' | tessly field - --json
  tessly field '%<\TsExpr SUM(B2:B3)>%' --drawing examples/site-plan.json --select F00
  tessly field '%<\TsExpr 1+2>%' --module build/bin/TesslyEval.so
)";

namespace {
// A field being placed from the sibling library's selection has no owner yet.
AcDbObjectId addUnplacedField(AcDbDatabase& db, const std::u16string& code)
{
    auto* field = new AcDbField(code.c_str());
    AcDbObjectId fieldId;
    if (db.addObject(field, AcDbObjectId(), fieldId) != Acad::eOk) {
        delete field;
        throw UsageError("tessly field: cannot add a field to the drawing");
    }
    return fieldId;
}

AcDbObjectId addCodeAsText(AcDbDatabase& db, const std::u16string& code)
{
    // The text shows exactly one field whose code is the whole line.
    auto* text = new AcDbText;
    HostAccess::hostSetMakesOwnFields(*text, false);
    text->setTextString(code.c_str());
    AcDbObjectId textId, fieldId;
    if (db.addObject(text, db.modelSpaceId(), textId) != Acad::eOk) {
        delete text;
        throw UsageError("tessly field: cannot add a text to the drawing");
    }
    auto* field = new AcDbField(code.c_str());
    if (db.addObject(field, textId, fieldId) != Acad::eOk) {
        delete field;
        throw UsageError("tessly field: cannot add a field to the drawing");
    }
    HostAccess::hostAddField(*text, fieldId);
    return fieldId;
}
}

int runField(const std::vector<std::string>& words)
{
    Arguments args = parseArguments("field", words, {"--json", "--help", "-h"}, {"--drawing", "--select", "--module"});
    if (args.has("--help") || args.has("-h")) {
        output::write(kFieldHelp);
        return 0;
    }
    if (args.positional.size() != 1)
        throw UsageError(
            "tessly field: give one field code (or - to read codes from standard input); see tessly field --help");

    std::vector<std::string> codes = inputsOf(args.positional[0]);

    Session session(args.value("--drawing"), args.value("--module"));
    session.leaveDrawingAtExit();
    for (const std::string& note : session.loadNotes())
        std::cerr << args.value("--drawing") << ": " << note << '\n';
    if (args.has("--select"))
        session.select(args.value("--select"));
    std::vector<AcDbObjectId> ids;
    ids.reserve(codes.size());
    for (const std::string& code : codes)
        ids.push_back(session.selected().isNull() ? addCodeAsText(session.database(), utf::toUtf16(code))
                                                  : addUnplacedField(session.database(), utf::toUtf16(code)));
    session.loadModule();
    // The counts reported are the pass's own.
    spreadsheetserver::resetCounts();
    session.evaluate(ids);
    fieldreport::recordPassCounts();

    bool json = args.has("--json");
    int status = 0;
    for (size_t i = 0; i < ids.size(); ++i) {
        auto* field = AcDbField::cast(HostAccess::objectAt(session.database(), ids[i]));
        // The line is the text of a text object: an unclosed code in it is its problem.
        std::string open = fieldreport::unclosedCode(utf::toUtf16(codes[i]));
        fieldreport::Entry entry{field, nullptr, {}};
        bool failed = fieldreport::failed(entry) || !open.empty();
        status = std::max(status, failed ? 1 : 0);
        if (json) {
            fieldreport::printFieldJson(*field, !open.empty());
        } else {
            // Written from the field's own text: a long value is converted as it goes out.
            AcString storage;
            output::text(HostAccess::hostDisplayView(*field, storage));
            output::write("\n");
            output::itemDone();
            if (field->evaluationStatus() != AcDbField::kSuccess)
                std::cerr << "tessly field: " << codes[i] << ": " << fieldreport::problemText(*field) << '\n';
            else if (!open.empty())
                std::cerr << "tessly field: " << codes[i]
                          << ": the code has no closing >%; the text shows it as it is\n";
        }
        output::itemDone();
    }
    return status;
}
