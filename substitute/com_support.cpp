#include "com_support.h"

#include <cstring>

namespace substitute {

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::string ToUtf8(const wchar_t* text) {
    return text == nullptr ? std::string() : ToUtf8(std::wstring_view(text));
}

std::wstring ToUtf16(std::string_view text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
    return result;
}

HRESULT CopyOut(std::wstring_view text, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (*out == nullptr) return E_OUTOFMEMORY;
    if (!text.empty()) std::memcpy(*out, text.data(), text.size() * sizeof(wchar_t));
    (*out)[text.size()] = L'\0';
    return S_OK;
}

HRESULT CopyOut(std::string_view utf8, LPWSTR* out) { return CopyOut(ToUtf16(utf8), out); }

bool TakeString(HRESULT result, LPWSTR& text, std::string& utf8) {
    if (SUCCEEDED(result)) utf8 = ToUtf8(text);
    CoTaskMemFree(text);
    text = nullptr;
    return SUCCEEDED(result);
}

INT64 NextEventToken() {
    static std::atomic<INT64> next{0};
    return ++next;
}

}  // namespace substitute
