#include "install/CommandLine.h"

#include "utils/Processes.h"

std::wstring BuildChildCommandLine(
    const std::wstring& program, const std::vector<ChildArgument>& arguments, const std::wstring& rawLast)
{
    // Always quoted, or a folder with a blank makes CreateProcessW try each prefix as a
    // program. The program token is read up to the next quote, without escapes; a path
    // holds no quote.
    std::wstring line = L"\"" + program + L"\"";
    for (const ChildArgument& argument : arguments) {
        line += L' ';
        switch (argument.form) {
        case ChildArgument::Form::Plain:
            line += Utils::QuoteCommandLineArgument(argument.value);
            break;
        case ChildArgument::Form::Option:
            line += argument.name + Utils::QuoteCommandLineArgument(argument.value, Utils::Quoting::Always);
            break;
        case ChildArgument::Form::Verbatim:
            line += argument.value;
            break;
        }
    }
    if (!rawLast.empty()) {
        line += L' ';
        line += rawLast;
    }
    return line;
}
