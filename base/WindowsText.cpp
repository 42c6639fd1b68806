#include "base/WindowsText.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vantero {
namespace {

std::wstring wideOf(UINT codePage, std::string_view text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::string bytesOf(UINT codePage, std::wstring_view text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

} // namespace

std::wstring fromAnsi(std::string_view text) {
    return wideOf(CP_ACP, text);
}

std::string toAnsi(std::wstring_view text) {
    return bytesOf(CP_ACP, text);
}

std::wstring fromUtf8(std::string_view text) {
    return wideOf(CP_UTF8, text);
}

std::string toUtf8(std::wstring_view text) {
    return bytesOf(CP_UTF8, text);
}

} // namespace vantero
