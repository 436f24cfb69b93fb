#pragma once

#include <functional>
#include <string>

// What the MSI's custom actions hand the installer they carry: its command line, built from the
// package's public properties, and the one string a deferred action receives.
namespace Msi {

enum class StubAction { Install, Remove };

// The public properties passed on, and the option each becomes. A property that is not set or
// empty is left out, so an unset one never reaches the installer as an empty option.
struct PropertyOption {
    const wchar_t* property;
    const wchar_t* option;
    bool onRemoval; // also passed to the removal's run
};
const PropertyOption* PropertyOptions(std::size_t& count);

struct StubArguments {
    bool ok = false;
    std::wstring arguments; // after the program's own name
    std::wstring refusedProperty; // when !ok: the property whose value cannot be passed
};

// The fixed options of the action, then each set property as one quoted argument. A value with
// a control character is refused: no property may add a line or an argument of its own.
StubArguments BuildStubArguments(StubAction action, const std::function<std::wstring(const wchar_t*)>& property);

// What a deferred action needs, as its CustomActionData: three lines, the installer's full path,
// the LOG property (to name the log afterwards) and the arguments.
struct ActionData {
    std::wstring stubPath;
    std::wstring logOption;
    std::wstring arguments;
};
std::wstring EncodeActionData(const ActionData& data);
// False when the text is not of that form (not three lines, or no full path first).
bool DecodeActionData(const std::wstring& text, ActionData& data);

} // namespace Msi
