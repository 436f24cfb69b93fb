#include "toolkit/ImageSpec.h"

#include <algorithm>

#include "toolkit/Attributes.h"
#include "toolkit/Diagnostics.h"

namespace Toolkit {

ImageSpec ImageSpec::Parse(std::wstring_view text)
{
    ImageSpec spec;
    if (text.find(L'=') == std::wstring_view::npos) {
        spec.file = std::wstring(text);
        return spec;
    }
    for (const auto& [name, value] : ParseAttributeList(text)) {
        if (EqualsNoCase(name, L"file")) {
            spec.file = value;
        } else if (EqualsNoCase(name, L"corner")) {
            spec.corner = ParseRect(value);
        } else if (EqualsNoCase(name, L"source")) {
            spec.source = ParseRect(value);
            spec.hasSource = true;
        } else if (EqualsNoCase(name, L"dest")) {
            spec.dest = ParseRect(value);
            spec.hasDest = true;
        } else if (EqualsNoCase(name, L"fade")) {
            spec.fade = static_cast<BYTE>(std::clamp(ParseInt(value, 255), 0, 255));
        } else {
            Diagnostic(L"unknown image attribute '" + name + L"' in \"" + std::wstring(text) + L"\"");
        }
    }
    return spec;
}

} // namespace Toolkit
