#include "msi/StubArguments.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "utils/Processes.h"

namespace Msi {

namespace {

constexpr PropertyOption kOptions[] = {
    { L"DOWNLOADURL", L"-downloadurl", false },
    { L"MIRRORURLS", L"-mirrorurls", false },
    { L"PROXY", L"-proxy", true },
    { L"LIMITRATE", L"-limitrate", false },
    { L"PACKAGETIMEOUT", L"-packagetimeout", true },
    { L"LOG", L"-log", true },
    { L"RESULTFILE", L"-resultfile", true },
};

bool HasControlCharacter(const std::wstring& value)
{
    return std::any_of(value.begin(), value.end(), [](wchar_t c) { return c < L' ' || c == 0x7F; });
}

} // namespace

const PropertyOption* PropertyOptions(std::size_t& count)
{
    count = std::size(kOptions);
    return kOptions;
}

StubArguments BuildStubArguments(StubAction action, const std::function<std::wstring(const wchar_t*)>& property)
{
    StubArguments result;
    result.arguments
        = action == StubAction::Install ? L"-quiet=true -scope=machine" : L"-uninstall=true -quiet=true -scope=machine";
    for (const PropertyOption& entry : kOptions) {
        if (action == StubAction::Remove && !entry.onRemoval) {
            continue;
        }
        const std::wstring value = property(entry.property);
        if (value.empty()) {
            continue;
        }
        if (HasControlCharacter(value)) {
            result.refusedProperty = entry.property;
            result.arguments.clear();
            return result;
        }
        result.arguments += L' ';
        result.arguments += Utils::QuoteCommandLineArgument(std::wstring(entry.option) + L'=' + value);
    }
    result.ok = true;
    return result;
}

std::wstring EncodeActionData(const ActionData& data)
{
    return data.stubPath + L'\n' + data.logOption + L'\n' + data.arguments;
}

bool DecodeActionData(const std::wstring& text, ActionData& data)
{
    const std::size_t first = text.find(L'\n');
    const std::size_t second = first == std::wstring::npos ? first : text.find(L'\n', first + 1);
    if (second == std::wstring::npos || text.find(L'\n', second + 1) != std::wstring::npos) {
        return false;
    }
    ActionData decoded { text.substr(0, first), text.substr(first + 1, second - first - 1), text.substr(second + 1) };
    if (decoded.stubPath.size() < 4 || decoded.stubPath[1] != L':' || decoded.stubPath[2] != L'\\') {
        return false;
    }
    data = std::move(decoded);
    return true;
}

} // namespace Msi
