#pragma once

#include <string>
#include <vector>

// One argument of a child's command line, and how it is written.
struct ChildArgument {
    enum class Form {
        // Quoted by Windows' argument rules only when it must be (blanks, quotes, empty).
        Plain,
        // The name as is, then the value always in quotes ("-instdir=\"D:\\\\\"" for D:\), as
        // the package's options are written.
        Option,
        // As given: text written for the command line itself (the team's extra arguments).
        Verbatim,
    };
    Form form = Form::Plain;
    std::wstring name; // Option: written before the value, unquoted ("-instdir=")
    std::wstring value;

    static ChildArgument PlainText(std::wstring text) { return { Form::Plain, {}, std::move(text) }; }
    static ChildArgument Named(std::wstring name, std::wstring value)
    {
        return { Form::Option, std::move(name), std::move(value) };
    }
    // name followed by "true" or "false".
    static ChildArgument Flag(const std::wstring& name, bool value)
    {
        return PlainText(name + (value ? L"true" : L"false"));
    }
    static ChildArgument AsGiven(std::wstring text) { return { Form::Verbatim, {}, std::move(text) }; }
};

// The command line of a child: the program in quotes, then each argument after one space, so
// that CommandLineToArgvW reads back exactly what was meant (a root folder "D:\", a trailing
// backslash, quotes and blanks). rawLast, when not empty, comes last and unquoted: the
// package's "/D=" and the uninstaller's "_?=" are read raw to the end of the line (quotes
// would become part of the folder), so blanks in them need no quotes and must stay last.
std::wstring BuildChildCommandLine(
    const std::wstring& program, const std::vector<ChildArgument>& arguments, const std::wstring& rawLast = {});
