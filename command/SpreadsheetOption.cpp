// The --spreadsheet option; see the header.
#include "command/SpreadsheetOption.h"

#include "command/Session.h"
#include "replacement_host/platform/SpreadsheetServer.h"

#include <cstdlib>

void takeSpreadsheetOption(const std::string& command, std::vector<std::string>& words)
{
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--")
            return;
        std::string value;
        size_t taken = 1;
        if (w == "--spreadsheet") {
            if (i + 1 >= words.size())
                throw UsageError("tessly " + command + ": --spreadsheet needs a value: builtin or libreoffice");
            value = words[i + 1];
            taken = 2;
        } else if (w.rfind("--spreadsheet=", 0) == 0) {
            value = w.substr(14);
        } else {
            continue;
        }
        if (value != "builtin" && value != "libreoffice")
            throw UsageError("tessly " + command + ": --spreadsheet " + value +
                             ": the spreadsheet application is builtin or libreoffice");
        ::setenv(spreadsheetserver::kChoiceVariable, value.c_str(), 1);
        words.erase(words.begin() + static_cast<std::ptrdiff_t>(i),
                    words.begin() + static_cast<std::ptrdiff_t>(i + taken));
        --i;
    }
}
