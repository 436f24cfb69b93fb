#include "toolkit/Diagnostics.h"

#include <windows.h>

namespace Toolkit {
namespace {

std::function<void(const std::wstring&)>& Sink()
{
    static std::function<void(const std::wstring&)> sink;
    return sink;
}

} // namespace

void SetDiagnosticSink(std::function<void(const std::wstring&)> sink)
{
    Sink() = std::move(sink);
}

void Diagnostic(const std::wstring& line)
{
    if (Sink()) {
        Sink()(line);
        return;
    }
    ::OutputDebugStringW((L"[toolkit] " + line + L"\r\n").c_str());
}

} // namespace Toolkit
