// What the command shows of a field after a pass: the JSON object of the
// acceptance contract, and a row of the human table.
#pragma once

#include "host/dbfield.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

class Session;

namespace fieldreport {

using Json = nlohmann::ordered_json;

// {"evaluator", "compile", "status", "returned", "type", "value", "display"}
Json fieldJson(const AcDbField& field);
// Adds what the spreadsheet application did in the pass:
// "spreadsheetStarts" and "workbooksOpened".
void addPassCounts(Json& j);
// Where the field stands: block, holding object and, for several, its number.
Json locationJson(const AcDbField& field);
std::string locationText(const AcDbField& field);
std::string statusText(int status);

// Prints rows as aligned columns; newlines in cells show as "\n". With
// shown fields, row i + 1 ends in what shownFields[i] shows, written out in
// pieces, so a field showing a whole text file is not copied to be printed.
void printTable(const std::vector<std::vector<std::string>>& rows,
                const std::vector<AcDbField*>& shownFields = {});

// Every field of the drawing not nested in another, in drawing order.
std::vector<AcDbField*> topLevelFields(AcDbDatabase& db);
// One pass over every field, with a progress line on a terminal when it
// runs past a second; gives the seconds it took.
double timedPass(Session& session);
// "12 fields, 11 evaluated, 1 failed in 0.03 s (AcArea 2, AcLength 3, ...)"
std::string summaryText(const std::vector<AcDbField*>& fields, double seconds);
// The table of eval, or one JSON object per field.
void printFields(const std::vector<AcDbField*>& fields, bool json);

}
