#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "toolkit/Handles.h"

namespace Toolkit {

struct FontInfo {
    std::wstring requestedFace;
    std::wstring face; // what was created: the requested face, or the system font when missing
    int size = 0; // pixel height at 96 dpi
    bool bold = false;
    bool underline = false;
    bool italic = false;
    UniqueFont font;
};

// The fonts of one window by layout id. A face the system lacks falls back to the system's
// message font at the same size and style, so text still shows.
class FontTable {
public:
    void Add(int id, const std::wstring& face, int size, bool bold, bool underline, bool italic, bool isDefault);
    // The font for id; an unknown id (or -1) gives the default font, then the system font.
    HFONT Get(int id) const;
    const FontInfo* Info(int id) const;
    int DefaultId() const noexcept { return m_defaultId; }

    // Recreates every font for a window shown at dpi (sizes are 96-dpi pixel heights).
    void SetDpi(UINT dpi);
    UINT Dpi() const noexcept { return m_dpi; }

    // Whether the system has the face (asked once per face and process; UI thread).
    static bool FaceExists(const std::wstring& face);
    static std::wstring SystemFace();

private:
    void Create(FontInfo& info) const;

    std::map<int, FontInfo> m_fonts;
    // The fonts of the previous scale: native children may still hold them until the next layout.
    std::vector<UniqueFont> m_retired;
    UINT m_dpi = 96;
    int m_defaultId = -1;
};

} // namespace Toolkit
