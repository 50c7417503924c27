// tessly: the replacement host's command. Loads drawings, loads the
// TesslyEval module as the host loads a plug-in, and evaluates fields.
#include "command/Commands.h"
#include "command/Session.h"
#include "command/SpreadsheetOption.h"

#include <exception>
#include <iostream>

namespace {
const char* const kHelp = R"(usage: tessly COMMAND [ARGS]

Drawings are tessly's JSON drawing files or ASCII DXF files (R12 to R2018).

commands:
  eval FILE      evaluate every field of a drawing and print what they show
                   [--json] [--save [--output OUT]] [--watch] [--module PATH]
  field CODE     evaluate one field code (or "-": one per line from stdin)
                   [--drawing FILE] [--select HANDLE] [--json] [--module PATH]
  expr EXPR      evaluate an expression of the expression language
                   [--drawing FILE] [--table HANDLE] [--json] [--module PATH]

Every command takes --spreadsheet builtin|libreoffice (or the environment
variable TESSLY_SPREADSHEET): the application that ExcelCell fields drive.

Run "tessly COMMAND --help" for what each option does.

examples:
  tessly eval examples/site-plan.json
  tessly eval examples/site-plan.dxf --save --output site-plan.json
  tessly eval examples/site-plan.json --watch
  tessly field '%<\AcLength Object(<38>)>%' --drawing examples/site-plan.json --json
  tessly expr 'ROUND(1234.5678, -2)'
)";
}

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty() || words[0] == "--help" || words[0] == "-h" || words[0] == "help") {
        std::cout << kHelp;
        return words.empty() ? 2 : 0;
    }
    std::string command = words[0];
    words.erase(words.begin());
    try {
        takeSpreadsheetOption(command, words);
        if (command == "eval")
            return runEval(words);
        if (command == "field")
            return runField(words);
        if (command == "expr")
            return runExpr(words);
        std::cerr << "tessly: unknown command \"" << command << "\"; see tessly --help\n";
        return 2;
    } catch (const UsageError& e) {
        std::cerr << e.what() << '\n';
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "tessly: " << e.what() << '\n';
        return 2;
    }
}
