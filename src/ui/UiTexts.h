#pragma once

#include <string>

// Texts the code shows (prompts, captions, the progress line), each with its id in the
// skin's language table. A skin whose table has the id shows its text in the chosen
// language; any other skin shows the literal, exactly as written here.
struct UiText {
    int id;
    const wchar_t* literal;
};

namespace UiTexts {

inline constexpr UiText kNotice { 201, L"温馨提示" };
inline constexpr UiText kProductRunning { 301, L"安装程序检测到Vellumora\r\n正在运行，请退出程序后再安装" };
inline constexpr UiText kInvalidPath { 302, L"无效路径" };
inline constexpr UiText kLowDiskSpace { 303, L"当前磁盘剩余空间低于1GB，请修改安装路径" };
inline constexpr UiText kPoorNetwork { 304, L"当前网络环境较差，请在网络通畅时进行安装" };
inline constexpr UiText kInstallFailed { 305, L"安装失败" };
inline constexpr UiText kPackageMessage { 306, L"消息" };
// Progress patterns: one integer conversion for the percentage.
inline constexpr UiText kProgressShort { 307, L"正在安装中:%d%%，请稍候..." };
inline constexpr UiText kProgressLong { 308, L"正在安装中:%d%%，请耐心等待..." };
inline constexpr UiText kChooseFolder { 309, L"选择一个文件夹" };
inline constexpr UiText kProgressStart { 116, L"正在安装中:0%，请稍候..." };
// The finished page's line when the package says the computer must restart.
inline constexpr UiText kRestartRequired { 310, L"请重新启动电脑以完成安装" };
// "-uninstall=true" with a window: the question, then what happened.
inline constexpr UiText kRemoveQuestion { 311, L"确定要卸载Vellumora吗？" };
inline constexpr UiText kRemoved { 312, L"Vellumora已卸载" };
inline constexpr UiText kNothingToRemove { 313, L"未检测到已安装的Vellumora" };
inline constexpr UiText kRemoveWhileRunning { 314, L"Vellumora正在运行，请退出程序后再卸载" };
inline constexpr UiText kRemoveFailed { 315, L"卸载失败" };

} // namespace UiTexts

// The table's text for the id when it has a non-empty one, else the literal.
std::wstring LocalText(const UiText& text);
