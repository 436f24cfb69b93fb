#include "toolkit/ImageRef.h"

#include <algorithm>

#include "toolkit/Attributes.h"
#include "toolkit/Diagnostics.h"

namespace Toolkit {

ImageRef ImageRef::Parse(std::wstring_view text)
{
    ImageRef image;
    if (text.find(L'=') == std::wstring_view::npos) {
        image.file = std::wstring(text);
        return image;
    }
    for (const auto& [name, value] : ParseAttributeList(text)) {
        if (EqualsNoCase(name, L"file")) {
            image.file = value;
        } else if (EqualsNoCase(name, L"corner")) {
            image.corner = ParseRect(value);
        } else if (EqualsNoCase(name, L"source")) {
            image.source = ParseRect(value);
            image.hasSource = true;
        } else if (EqualsNoCase(name, L"dest")) {
            image.dest = ParseRect(value);
            image.hasDest = true;
        } else if (EqualsNoCase(name, L"fade")) {
            image.fade = static_cast<BYTE>(std::clamp(ParseInt(value, 255), 0, 255));
        } else {
            Diagnostic(L"unknown image attribute '" + name + L"' in \"" + std::wstring(text) + L"\"");
        }
    }
    return image;
}

} // namespace Toolkit
