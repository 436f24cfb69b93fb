#include "ProtocolWriter.h"

#include <cstdio>
#include <string>

#include "utils/Text.h"

namespace Demo {
namespace {

// Long enough for a reader blocked on the pipe to take the line on its own.
constexpr DWORD kEncodeGapMs = 200;

} // namespace

ProtocolWriter::ProtocolWriter(DWORD stepMs)
    : m_out(::GetStdHandle(STD_OUTPUT_HANDLE))
    , m_stepMs(stepMs)
{
}

void ProtocolWriter::AnnounceUtf8()
{
    Line(L"Encode", L"UTF8");
    ::Sleep(kEncodeGapMs);
}

void ProtocolWriter::Line(std::wstring_view key, std::wstring_view value)
{
    std::wstring line(key);
    line += L'=';
    line += value;
    line += L"\r\n";
    const std::string bytes = Utils::WideToMultiByte(line, CP_UTF8);
    if (m_out == nullptr || m_out == INVALID_HANDLE_VALUE || bytes.empty()) {
        return;
    }
    DWORD written = 0;
    ::WriteFile(m_out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (m_stepMs > 0) {
        ::Sleep(m_stepMs);
    }
}

void ProtocolWriter::Progress(double fraction)
{
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%.2f", fraction);
    Line(L"Progress", text);
}

DWORD StepMsFromText(std::wstring_view text, DWORD fallback)
{
    if (text.empty() || text.size() > 6) {
        return fallback;
    }
    DWORD value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return fallback;
        }
        value = value * 10 + static_cast<DWORD>(c - L'0');
    }
    return value;
}

} // namespace Demo
