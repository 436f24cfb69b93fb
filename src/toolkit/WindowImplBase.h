#pragma once

#include <string>

#include "toolkit/Control.h"
#include "toolkit/Notify.h"
#include "toolkit/PaintManager.h"
#include "toolkit/WindowWnd.h"

namespace Toolkit {

// Where a window's layout comes from. Only the skin archive in the program's resources
// (ZipResource) is supported; the other kinds fail to create the window.
enum class ResourceKind : int { File = 1, Zip = 2, Resource = 3, ZipResource = 4 };

// A skinned window: on creation it loads its layout from the skin, sizes itself by the
// layout, and dispatches through its PaintManager. Subclasses answer the skin questions
// and override the hooks.
class WindowImplBase : public CWindowWnd, public INotifyUI, public IMessageFilterUI, public IDialogBuilderCallback {
public:
    WindowImplBase() = default;
    ~WindowImplBase() override;

    PaintManager& GetPaintManager() noexcept { return m_pm; }
    CControlUI* FindControl(std::wstring_view name) const { return m_pm.FindControl(name); }
    template <typename T> T* FindControlAs(std::wstring_view name, std::wstring_view className) const
    {
        CControlUI* control = m_pm.FindControl(name);
        return control ? static_cast<T*>(control->GetInterface(className)) : nullptr;
    }
    // The reason the last Create failed to load the layout (empty when it did not fail).
    const std::wstring& GetLoadError() const noexcept { return m_loadError; }

    // Hooks.
    virtual void InitWindow() { }
    void Notify(TNotifyUI& msg) override;
    virtual void OnClick(TNotifyUI& msg);
    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    CControlUI* CreateControl(const wchar_t*) override { return nullptr; }

protected:
    virtual std::wstring GetSkinFolder() = 0;
    virtual std::wstring GetSkinFile() = 0;
    virtual ResourceKind GetResourceType() const { return ResourceKind::ZipResource; }
    virtual int GetResourceID() const { return 147; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Messages the subclass wants before the toolkit's own handling.
    virtual LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcHitTest(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // Moved to a display of another scale: takes the suggested rect and lays out anew.
    virtual LRESULT OnDpiChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // After the window took a new scale (fonts, layout and size already follow it).
    virtual void OnScaleChanged() { }
    // Window size, drag area and round corners of the layout, at the window's scale.
    SIZE ScaledInitSize() const noexcept { return m_pm.GetScale().Size(m_pm.GetInitSize()); }

    PaintManager m_pm;

private:
    std::wstring m_loadError;
};

} // namespace Toolkit
