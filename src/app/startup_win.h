#pragma once

#include <windows.h>

#include <string>

// The whole life of the host: start-up, message loop and teardown. Returns the exit code.
int RunHost(HINSTANCE instance);

inline constexpr wchar_t kFallbackCaption[] = L"Windows WebView2 wrapper";

// A modal box without owner window.
void ShowMessage(const std::wstring& text, const std::wstring& caption, UINT icon);
