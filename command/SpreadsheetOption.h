// The --spreadsheet option, taken by every command before its own options:
// which spreadsheet application the cell fields drive, handed on to the
// platform through the environment variable TESSLY_SPREADSHEET (which
// scripts and the watch mode may set directly).
#pragma once

#include <string>
#include <vector>

// Removes "--spreadsheet NAME" or "--spreadsheet=NAME" from the words and
// sets the variable; throws UsageError for a name other than builtin or
// libreoffice, or a missing one.
void takeSpreadsheetOption(const std::string& command, std::vector<std::string>& words);
