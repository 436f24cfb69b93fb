#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "toolkit/Notify.h"

namespace Toolkit {

class CControlUI;
class PaintManager;

// Builds a control tree from a layout:
//   <Window size="600,400" caption="0,0,0,35" roundcorner="2,2" showshadow="true" ...>
//     <Font id="0" name="微软雅黑" size="14" bold="false" default="true"/>
//     <Default name="Button" value="textcolor=&quot;#FF333333&quot;"/>
//     <VerticalLayout name="root"> ... </VerticalLayout>
//   </Window>
// Fonts, defaults and window attributes go to the manager; the single top control
// becomes the returned root. Elements unknown to the registry are offered to the
// callback; unknown elements and attributes are reported through Diagnostic().
class MarkupBuilder {
public:
    // From layout bytes (UTF-8 or UTF-16 with BOM). nullptr and `error` on failure.
    static std::unique_ptr<CControlUI> Build(const void* data, std::size_t size, PaintManager& manager,
        IDialogBuilderCallback* callback, std::wstring* error = nullptr);
    // From the skin archive by file name.
    static std::unique_ptr<CControlUI> BuildFromSkin(std::wstring_view fileName, PaintManager& manager,
        IDialogBuilderCallback* callback, std::wstring* error = nullptr);
};

} // namespace Toolkit
