#include "toolkit/ControlRegistry.h"

#include <map>
#include <string>

#include "toolkit/Button.h"
#include "toolkit/CheckBox.h"
#include "toolkit/Combo.h"
#include "toolkit/Container.h"
#include "toolkit/Edit.h"
#include "toolkit/Label.h"
#include "toolkit/Progress.h"
#include "toolkit/TabLayout.h"

namespace Toolkit {
namespace {

std::wstring Lower(std::wstring_view text)
{
    std::wstring result(text);
    for (auto& c : result) {
        c = static_cast<wchar_t>(::towlower(c));
    }
    return result;
}

template <typename T> std::function<CControlUI*()> Make()
{
    return [] {
        return static_cast<CControlUI*>(new T());
    };
}

std::map<std::wstring, std::function<CControlUI*()>>& Registry()
{
    static std::map<std::wstring, std::function<CControlUI*()>> registry {
        { L"control", Make<CControlUI>() },
        { L"container", Make<CContainerUI>() },
        { L"verticallayout", Make<CVerticalLayoutUI>() },
        { L"horizontallayout", Make<CHorizontalLayoutUI>() },
        { L"tablayout", Make<CTabLayoutUI>() },
        { L"label", Make<CLabelUI>() },
        { L"text", Make<CLabelUI>() },
        { L"button", Make<CButtonUI>() },
        { L"checkbox", Make<CCheckBoxUI>() },
        { L"option", Make<CCheckBoxUI>() },
        { L"edit", Make<CEditUI>() },
        { L"progress", Make<CProgressUI>() },
        { L"combo", Make<CComboUI>() },
    };
    return registry;
}

} // namespace

CControlUI* CreateRegisteredControl(std::wstring_view elementName)
{
    const auto it = Registry().find(Lower(elementName));
    return it == Registry().end() ? nullptr : it->second();
}

void RegisterControl(std::wstring_view elementName, std::function<CControlUI*()> factory)
{
    Registry()[Lower(elementName)] = std::move(factory);
}

} // namespace Toolkit
