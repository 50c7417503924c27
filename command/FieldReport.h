// What the command shows of a field after a pass: the JSON object of the
// acceptance contract, a row of the human table or of CSV, and the problem
// sentence of a field that did not evaluate. A text whose field code has no
// closing ">%" shows as an entry of its own, so it is never silently text.
#pragma once

#include "host/dbfield.h"

// Declarations only: the full JSON header is for the files that use it.
#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <set>
#include <string>
#include <vector>

class AcDbText;
class Session;

namespace fieldreport {

using Json = nlohmann::ordered_json;

// One thing the report shows: a field, or a text with an unclosed code.
struct Entry {
    const AcDbField* field = nullptr;
    const AcDbText* text = nullptr;  // with openCode: the text holding it
    std::string openCode;            // from the unclosed "%<" to the end
};

enum class Format { kTable, kJson, kCsv };

// What the module knows about why a field shows what it shows; set once the
// module is loaded.
using CauseFinder = std::function<std::vector<std::string>(const AcDbField&)>;
void setCauseFinder(CauseFinder finder);
std::vector<std::string> causes(const AcDbField& field);

// {"code", "evaluator", "compile", "status", "returned", "type", "value",
// "display", "problem" (when the status is not 2)}
Json fieldJson(const AcDbField& field);
Json entryJson(const Entry& entry);
// Adds what the spreadsheet application did in the pass:
// "spreadsheetStarts" and "workbooksOpened".
void addPassCounts(Json& j);
// Takes the counts of the pass just run, for addPassCounts.
void recordPassCounts();
// Where the field stands: block, holding object and, for several, its number.
Json locationJson(const AcDbField& field);
Json ownerLocationJson(const AcDbObject* owner);
std::string locationText(const AcDbField& field);
std::string entryLocationText(const Entry& entry);
std::string statusText(int status);
// One sentence: what the status means and, where known, the cause.
std::string problemText(const AcDbField& field);
// "no evaluator named AcLenght (did you mean AcLength?)"
std::string unknownEvaluatorText(const std::string& id);
int entryStatus(const Entry& entry);
// True when the entry counts as a failure: status other than 2, except a
// field read from a drawing whose evaluator is missing here and which keeps
// its stored value.
bool failed(const Entry& entry);

// Prints rows as aligned columns; newlines in cells show as "\n".
void printTable(std::vector<std::vector<std::string>> rows);

// Every field of the drawing not nested in another, in drawing order, and
// after each text's fields the code it leaves unclosed.
std::vector<Entry> drawingEntries(AcDbDatabase& db);
std::vector<AcDbField*> topLevelFields(AcDbDatabase& db);
// The code a text leaves unclosed, or empty.
std::string unclosedCode(std::u16string_view text);
// Keeps the entries of these evaluators (any letter case; empty: all), and
// with failedOnly only the failures.
std::vector<Entry> filtered(std::vector<Entry> entries, const std::set<std::string>& evaluators, bool failedOnly);
// One pass over every field, with a progress line on a terminal when it
// runs past a second; gives the seconds it took.
double timedPass(Session& session);
// "12 fields, 11 evaluated, 1 failed in 0.03 s (AcArea 2, AcLength 3, ...)"
std::string summaryText(const std::vector<Entry>& entries, double seconds);
// The entries in the format; passCounts adds the spreadsheet counts to JSON.
// With a drawing label (several drawings in one call), JSON objects get
// "drawing" and CSV rows a first "drawing" column.
void printEntries(const std::vector<Entry>& entries, Format format, const std::string& drawing = {});
Format parseFormat(const std::string& text);
// One line: fieldJson with the pass counts, written out as it is made (a
// long value is not copied). With unclosed, the text around the code leaves
// it unclosed: status 8 with that problem.
void printFieldJson(const AcDbField& field, bool unclosed);

}
