// What the command shows of a field after a pass: the JSON object of the
// acceptance contract, and a row of the human table.
#pragma once

#include "host/dbfield.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

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

// Prints rows as aligned columns; newlines in cells show as "\n".
void printTable(const std::vector<std::vector<std::string>>& rows);

}
