#include "toolkit/FontTable.h"

#include <unordered_map>

#include "toolkit/Diagnostics.h"

namespace Toolkit {
namespace {

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

} // namespace

bool FontTable::FaceExists(const std::wstring& face)
{
    if (face.empty() || face.size() >= LF_FACESIZE) {
        return false;
    }
    // Every font of a layout names the same face or two: ask the system once per face.
    static std::unordered_map<std::wstring, bool> known;
    if (const auto it = known.find(face); it != known.end()) {
        return it->second;
    }
    LOGFONTW query {};
    query.lfCharSet = DEFAULT_CHARSET;
    face.copy(query.lfFaceName, LF_FACESIZE - 1);
    bool found = false;
    WindowDc screen(nullptr);
    ::EnumFontFamiliesExW(screen.get(), &query, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
    known.emplace(face, found);
    return found;
}

std::wstring FontTable::SystemFace()
{
    NONCLIENTMETRICSW metrics {};
    metrics.cbSize = sizeof(metrics);
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)
        && metrics.lfMessageFont.lfFaceName[0]) {
        return metrics.lfMessageFont.lfFaceName;
    }
    return L"Tahoma";
}

void FontTable::Add(int id, const std::wstring& face, int size, bool bold, bool underline, bool italic, bool isDefault)
{
    FontInfo info;
    info.requestedFace = face;
    info.face = FaceExists(face) ? face : SystemFace();
    if (info.face != face) {
        Diagnostic(L"font face '" + face + L"' missing, using '" + info.face + L"'");
    }
    info.size = size > 0 ? size : 12;
    info.bold = bold;
    info.underline = underline;
    info.italic = italic;

    Create(info);

    m_fonts[id] = std::move(info);
    if (isDefault || m_defaultId < 0) {
        m_defaultId = id;
    }
}

void FontTable::Create(FontInfo& info) const
{
    LOGFONTW lf {};
    lf.lfHeight = -::MulDiv(info.size, static_cast<int>(m_dpi), 96);
    lf.lfWeight = info.bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = info.underline;
    lf.lfItalic = info.italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    info.face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    info.font.reset(::CreateFontIndirectW(&lf));
}

void FontTable::SetDpi(UINT dpi)
{
    if (dpi == 0 || dpi == m_dpi) {
        return;
    }
    m_dpi = dpi;
    m_retired.clear();
    for (auto& [id, info] : m_fonts) {
        m_retired.push_back(std::move(info.font));
        Create(info);
    }
}

const FontInfo* FontTable::Info(int id) const
{
    auto it = m_fonts.find(id);
    if (it == m_fonts.end()) {
        it = m_fonts.find(m_defaultId);
    }
    return it == m_fonts.end() ? nullptr : &it->second;
}

HFONT FontTable::Get(int id) const
{
    const FontInfo* info = Info(id);
    if (info && info->font) {
        return info->font.get();
    }
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

} // namespace Toolkit
