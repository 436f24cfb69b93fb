#include "ui/FrameParams.h"

FrameParams FrameParams::ForSkinFile(const std::wstring& skinFile)
{
    FrameParams params;
    params.skinFile = skinFile;
    const std::size_t dot = skinFile.find_last_of(L'.');
    params.windowClassName = dot == std::wstring::npos ? skinFile : skinFile.substr(0, dot);
    return params;
}
