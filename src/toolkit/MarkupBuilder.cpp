#include "toolkit/MarkupBuilder.h"

#include <pugixml.hpp>

#include "toolkit/Attributes.h"
#include "toolkit/Combo.h"
#include "toolkit/Container.h"
#include "toolkit/ControlRegistry.h"
#include "toolkit/Diagnostics.h"
#include "toolkit/PaintManager.h"
#include "toolkit/SkinArchive.h"

namespace Toolkit {
namespace {

const wchar_t* const kWindowAttributes[] = { L"size", L"caption", L"roundcorner", L"mininfo", L"maxinfo", L"sizebox",
    L"showshadow", L"shadowimage", L"shadowcorner", L"shadowholeoffset", L"shadowsize", L"shadowsharpness",
    L"shadowdarkness", L"shadowposition", L"shadowcolor", L"defaultfontcolor", L"title" };

bool IsWindowAttribute(std::wstring_view name)
{
    for (const wchar_t* known : kWindowAttributes) {
        if (EqualsNoCase(name, known)) {
            return true;
        }
    }
    return false;
}

class Builder {
public:
    Builder(PaintManager& manager, IDialogBuilderCallback* callback)
        : m_manager(manager)
        , m_callback(callback)
    {
    }

    std::unique_ptr<CControlUI> Run(const pugi::xml_node& window)
    {
        for (const auto& attribute : window.attributes()) {
            const std::wstring name = attribute.name();
            const std::wstring value = attribute.value();
            if (!IsWindowAttribute(name)) {
                Diagnostic(L"unknown Window attribute '" + name + L"'");
            }
            m_manager.SetWindowAttribute(name, value);
            if (EqualsNoCase(name, L"size")) {
                m_manager.SetInitSize(ParseSize(value));
            } else if (EqualsNoCase(name, L"caption")) {
                m_manager.SetCaptionRect(ParseRect(value));
            } else if (EqualsNoCase(name, L"roundcorner")) {
                m_manager.SetRoundCorner(ParseSize(value));
            } else if (EqualsNoCase(name, L"defaultfontcolor")) {
                m_manager.SetDefaultTextColor(ParseColor(value));
            }
        }

        std::unique_ptr<CControlUI> root;
        for (const auto& child : window.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            const std::wstring element = child.name();
            if (EqualsNoCase(element, L"Font")) {
                ReadFont(child);
            } else if (EqualsNoCase(element, L"Default")) {
                m_manager.SetDefaultAttributes(child.attribute(L"name").value(), child.attribute(L"value").value());
            } else if (root) {
                Diagnostic(L"second top-level control <" + element + L"> ignored");
            } else {
                root.reset(Create(child));
            }
        }
        return root;
    }

private:
    void ReadFont(const pugi::xml_node& node)
    {
        for (const auto& attribute : node.attributes()) {
            const std::wstring_view name = attribute.name();
            if (!EqualsNoCase(name, L"id") && !EqualsNoCase(name, L"name") && !EqualsNoCase(name, L"size")
                && !EqualsNoCase(name, L"bold") && !EqualsNoCase(name, L"underline") && !EqualsNoCase(name, L"italic")
                && !EqualsNoCase(name, L"default")) {
                Diagnostic(L"unknown Font attribute '" + std::wstring(name) + L"'");
            }
        }
        m_manager.Fonts().Add(ParseInt(node.attribute(L"id").value(), 0), node.attribute(L"name").value(),
            ParseInt(node.attribute(L"size").value(), 12), ParseBool(node.attribute(L"bold").value()),
            ParseBool(node.attribute(L"underline").value()), ParseBool(node.attribute(L"italic").value()),
            ParseBool(node.attribute(L"default").value()));
    }

    CControlUI* Create(const pugi::xml_node& node)
    {
        const std::wstring element = node.name();
        CControlUI* control = CreateRegisteredControl(element);
        if (!control && m_callback) {
            control = m_callback->CreateControl(element.c_str());
        }
        if (!control) {
            Diagnostic(L"unknown element <" + element + L">, skipped with its children");
            return nullptr;
        }
        if (const std::wstring* defaults = m_manager.GetDefaultAttributes(element)) {
            for (const auto& [name, value] : ParseAttributeList(*defaults)) {
                Apply(control, element, name, value);
            }
        }
        for (const auto& attribute : node.attributes()) {
            Apply(control, element, attribute.name(), attribute.value());
        }

        auto* combo = static_cast<CComboUI*>(control->GetInterface(L"Combo"));
        auto* container = static_cast<CContainerUI*>(control->GetInterface(L"Container"));
        for (const auto& child : node.children()) {
            if (child.type() != pugi::node_element) {
                continue;
            }
            if (combo && EqualsNoCase(child.name(), L"Item")) {
                combo->AddItem(child.attribute(L"text").value());
                continue;
            }
            if (!container) {
                Diagnostic(L"<" + element + L"> cannot hold <" + std::wstring(child.name()) + L">");
                continue;
            }
            if (CControlUI* created = Create(child)) {
                container->Add(created);
            }
        }
        return control;
    }

    void Apply(CControlUI* control, const std::wstring& element, std::wstring_view name, std::wstring_view value)
    {
        if (!control->SetAttribute(name, value)) {
            Diagnostic(L"unknown attribute '" + std::wstring(name) + L"' on <" + element + L" name=\""
                + control->GetName() + L"\">");
        }
    }

    PaintManager& m_manager;
    IDialogBuilderCallback* m_callback;
};

} // namespace

std::unique_ptr<CControlUI> MarkupBuilder::Build(
    const void* data, std::size_t size, PaintManager& manager, IDialogBuilderCallback* callback, std::wstring* error)
{
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(data, size, pugi::parse_default, pugi::encoding_auto);
    if (!parsed) {
        if (error) {
            const std::string description = parsed.description();
            *error = L"layout does not parse at offset " + std::to_wstring(parsed.offset) + L": "
                + std::wstring(description.begin(), description.end());
        }
        return nullptr;
    }
    const pugi::xml_node window = document.child(L"Window");
    if (!window) {
        if (error) {
            *error = L"layout has no <Window> element";
        }
        return nullptr;
    }
    auto root = Builder(manager, callback).Run(window);
    if (!root && error) {
        *error = L"layout has no control";
    }
    return root;
}

std::unique_ptr<CControlUI> MarkupBuilder::BuildFromSkin(
    std::wstring_view fileName, PaintManager& manager, IDialogBuilderCallback* callback, std::wstring* error)
{
    const SkinArchive* skin = Skin();
    const Bytes* bytes = skin ? skin->Find(fileName) : nullptr;
    if (!bytes) {
        if (error) {
            *error = L"layout '" + std::wstring(fileName) + L"' is not in the skin";
        }
        return nullptr;
    }
    return Build(bytes->data(), bytes->size(), manager, callback, error);
}

} // namespace Toolkit
