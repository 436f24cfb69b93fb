#pragma once

#include <string>

// Names the layout a CDuiFrame window is built from.
struct FrameParams {
    int resourceKind = 4; // 4: layout read from the skin archive resource
    int resourceId = 147;
    std::wstring skinFolder;
    std::wstring skinFile;
    std::wstring windowClassName;

    // Kind 4, id 147, no folder, the file, and its name up to the last dot as class name
    // ("MessageBox2Wnd.xml" -> "MessageBox2Wnd").
    static FrameParams ForSkinFile(const std::wstring& skinFile);
};
