// The subcommands of tessly. Each takes its words after the subcommand name
// and gives the exit status; user errors are thrown as UsageError.
#pragma once

#include <string>
#include <vector>

int runEval(const std::vector<std::string>& words);
int runField(const std::vector<std::string>& words);
int runExpr(const std::vector<std::string>& words);
int runCheck(const std::vector<std::string>& words);
// tessly eval --watch: runs until SIGINT or SIGTERM.
int watchEval(const std::string& path, const std::string& modulePath, bool json);

extern const char* const kEvalHelp;
extern const char* const kFieldHelp;
extern const char* const kExprHelp;
extern const char* const kCheckHelp;
