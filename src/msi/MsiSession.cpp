#include "msi/MsiSession.h"

namespace Msi {

namespace {

// MsiGetPropertyW and MsiFormatRecordW both say how long the text is when the buffer is short.
template <typename Read> std::wstring ReadText(Read read)
{
    std::wstring text(64, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = static_cast<DWORD>(text.size());
        const UINT status = read(text.data(), &length);
        if (status == ERROR_SUCCESS) {
            text.resize(length);
            return text;
        }
        if (status != ERROR_MORE_DATA) {
            break;
        }
        text.assign(length + 1, L'\0');
    }
    return {};
}

} // namespace

std::wstring MsiSession::Property(const wchar_t* name) const
{
    return ReadText([&](wchar_t* buffer, DWORD* length) { return ::MsiGetPropertyW(m_install, name, buffer, length); });
}

bool MsiSession::SetProperty(const wchar_t* name, const std::wstring& value) const
{
    return ::MsiSetPropertyW(m_install, name, value.c_str()) == ERROR_SUCCESS;
}

std::wstring MsiSession::Format(const std::wstring& text) const
{
    UniqueMsiHandle record(::MsiCreateRecord(0));
    if (!record || ::MsiRecordSetStringW(record.get(), 0, text.c_str()) != ERROR_SUCCESS) {
        return {};
    }
    return ReadText(
        [&](wchar_t* buffer, DWORD* length) { return ::MsiFormatRecordW(m_install, record.get(), buffer, length); });
}

void MsiSession::Log(const std::wstring& text) const
{
    UniqueMsiHandle record(::MsiCreateRecord(1));
    if (!record) {
        return;
    }
    // The text goes in a field, not the template, so brackets in a path stay as they are.
    ::MsiRecordSetStringW(record.get(), 0, L"Vellumora: [1]");
    ::MsiRecordSetStringW(record.get(), 1, text.c_str());
    ::MsiProcessMessage(m_install, INSTALLMESSAGE_INFO, record.get());
}

void MsiSession::RequestRestart() const
{
    ::MsiSetMode(m_install, MSIRUNMODE_REBOOTATEND, TRUE);
}

} // namespace Msi
