#include "ChildScript.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

namespace {

std::string ToCodePage(const std::string& utf8, UINT codePage)
{
    const int wideSize = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wideSize);
    const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), wideSize, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string UnescapeText(const std::string& text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == 'r') {
            bytes.push_back('\r');
        } else if (next == 'n') {
            bytes.push_back('\n');
        } else if (next == 't') {
            bytes.push_back('\t');
        } else if (next == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else if (next == '\\') {
            bytes.push_back('\\');
        } else {
            // Not an escape: paths keep their backslashes.
            bytes.push_back('\\');
            bytes.push_back(next);
        }
    }
    return bytes;
}

std::vector<ChildStep> ParseChildScript(const std::string& script, std::string& error)
{
    std::vector<ChildStep> steps;
    std::istringstream lines(script);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t space = line.find(' ');
        const std::string verb = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        ChildStep step;
        if (verb == "cmdline") {
            step.kind = ChildStep::Kind::CommandLine;
            step.bytes = rest;
        } else if (verb == "cwd") {
            step.kind = ChildStep::Kind::CurrentDirectory;
            step.bytes = rest;
        } else if (verb == "stamp") {
            step.kind = ChildStep::Kind::Stamp;
            step.bytes = rest;
        } else if (verb == "stage") {
            step.kind = ChildStep::Kind::Stage;
            step.bytes = rest;
        } else if (verb == "readin") {
            step.kind = ChildStep::Kind::ReadInput;
        } else if (verb == "spawn") {
            step.kind = ChildStep::Kind::Spawn;
            step.bytes = rest;
        } else if (verb == "out") {
            step.kind = ChildStep::Kind::Queue;
            step.bytes = UnescapeText(rest) + "\n";
        } else if (verb == "raw") {
            step.kind = ChildStep::Kind::Queue;
            step.bytes = UnescapeText(rest);
        } else if (verb == "cp") {
            const std::size_t gap = rest.find(' ');
            step.kind = ChildStep::Kind::Queue;
            step.bytes = ToCodePage(UnescapeText(gap == std::string::npos ? std::string() : rest.substr(gap + 1)),
                             static_cast<UINT>(std::strtoul(rest.c_str(), nullptr, 10)))
                + "\n";
        } else if (verb == "fill") {
            std::istringstream args(rest);
            unsigned long count = 0;
            std::string fillChar = "x";
            args >> count >> fillChar;
            step.kind = ChildStep::Kind::Queue;
            step.bytes.assign(count, UnescapeText(fillChar)[0]);
        } else if (verb == "flush") {
            step.kind = ChildStep::Kind::Flush;
        } else if (verb == "closeout") {
            step.kind = ChildStep::Kind::CloseOutput;
        } else if (verb == "sleep" || verb == "stderr" || verb == "spam" || verb == "exit") {
            step.kind = verb == "sleep" ? ChildStep::Kind::Sleep
                : verb == "stderr"      ? ChildStep::Kind::StdErr
                : verb == "spam"        ? ChildStep::Kind::Spam
                                        : ChildStep::Kind::Exit;
            step.number = std::strtoul(rest.c_str(), nullptr, 0);
        } else {
            error = "unknown step: " + line;
            break;
        }
        steps.push_back(std::move(step));
    }
    return steps;
}
