// tessly: the replacement host's command. Loads drawings, loads the
// TesslyEval module as the host loads a plug-in, and evaluates fields.
#include "plugin/TesslyExports.h"
#include "command/Commands.h"
#include "command/ModuleLoader.h"
#include "command/Output.h"
#include "command/Session.h"
#include "replacement_host/HostVersion.h"
#include "replacement_host/text/Nearest.h"
#include "command/SpreadsheetOption.h"

#include <exception>
#include <iostream>
#include <map>

namespace {
const char* const kHelp = R"(usage: tessly COMMAND [ARGS]

Drawings are tessly's JSON drawing files or ASCII DXF files (R12 to R2018).

commands:
  eval FILE...   evaluate every field of drawings and print what they show
                   [--format table|json|csv] [--only IDS] [--failed]
                   [--save [--output OUT]] [--watch] [-j N] [--module PATH]
  field CODE     evaluate one field code (or "-": one per line from stdin)
                   [--drawing FILE] [--select HANDLE] [--json] [--module PATH]
  expr EXPR      evaluate an expression of the expression language
                   [--drawing FILE] [--table HANDLE] [--json] [--module PATH]
  check FILE     list what will make fields show something unmeant
                   [--json] [--module PATH]
  help COMMAND   the help of a command (the same as COMMAND --help)

  --version      the version of tessly, its module and its host

Every command takes --spreadsheet builtin|libreoffice (or the environment
variable TESSLY_SPREADSHEET): the application that ExcelCell fields drive.

Run "tessly COMMAND --help" for what each option does.

exit status: 0 success, 1 a field failed (eval, field), an expression gave
an error (expr) or check listed something, 2 a usage or file error.

examples:
  tessly eval examples/site-plan.json
  tessly eval examples/site-plan.dxf --save --output site-plan.json
  tessly eval examples/site-plan.json --watch
  tessly field '%<\AcLength Object(<38>)>%' --drawing examples/site-plan.json --json
  tessly expr 'ROUND(1234.5678, -2)'
  tessly check examples/site-plan.json
)";

using Run = int (*)(const std::vector<std::string>&);
const std::map<std::string, Run> kCommands{
    {"eval", runEval}, {"field", runField}, {"expr", runExpr}, {"check", runCheck}};

int unknownCommand(const std::string& command)
{
    std::vector<std::string> names;
    for (auto& [name, run] : kCommands)
        names.push_back(name);
    names.push_back("help");
    std::cerr << "tessly: unknown command \"" << command << "\"" << nearestword::suggestion(command, names)
              << "; see tessly --help\n";
    return 2;
}
}

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || (words[0] == "help" && words.size() == 1)) {
        output::write(kHelp);
        return words.empty() ? 2 : 0;
    }
    if (words[0] == "--version") {
        output::line(std::string("tessly ") + TESSLY_VERSION);
        output::line(std::string("host ") + hostversion::hostVersion());
        ModuleLoader module;
        std::string path = ModuleLoader::defaultPath();
        std::string error = module.load(path);
        auto version = reinterpret_cast<TesslyModuleVersionFn>(module.symbol("tesslyModuleVersion"));
        output::line("module " + path + ": " +
                     (!error.empty() ? error
                          : version  ? std::string(version()) + ", host API 0x130000"
                                     : "no version"));
        return 0;
    }
    std::string command = words[0];
    words.erase(words.begin());
    if (command == "help") {
        command = words[0];
        words = {"--help"};
    }
    try {
        takeSpreadsheetOption(command, words);
        auto it = kCommands.find(command);
        if (it == kCommands.end())
            return unknownCommand(command);
        return it->second(words);
    } catch (const UsageError& e) {
        output::flush();
        std::cerr << e.what() << '\n';
        return 2;
    } catch (const std::exception& e) {
        output::flush();
        std::cerr << "tessly: " << e.what() << '\n';
        return 2;
    }
}
