#pragma once

#include <functional>
#include <string_view>

namespace Toolkit {

class CControlUI;

// Creates controls from layout element names (ignoring case): Control, Container,
// VerticalLayout, HorizontalLayout, TabLayout, Label, Text, Button, CheckBox, Option,
// Edit, Progress, Combo, plus whatever RegisterControl adds. nullptr for unknown names.
CControlUI* CreateRegisteredControl(std::wstring_view elementName);
void RegisterControl(std::wstring_view elementName, std::function<CControlUI*()> factory);

} // namespace Toolkit
