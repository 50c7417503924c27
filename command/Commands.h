// The subcommands of tessly. Each takes its words after the subcommand name
// and gives the exit status; user errors are thrown as UsageError.
#pragma once

#include <string>
#include <vector>

int runEval(const std::vector<std::string>& words);
int runField(const std::vector<std::string>& words);
int runExpr(const std::vector<std::string>& words);

extern const char* const kEvalHelp;
extern const char* const kFieldHelp;
extern const char* const kExprHelp;
