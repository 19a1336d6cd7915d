// Sample extension library for WebView2Wrapper. Build it as DI2ZozUzoraru.dll and put it beside
// WebView2Wrapper.exe (see README.md).
//
// What it does:
//   - registers one component, "sample-extension", which the page sees in the handshake answer;
//   - answers every "extension-message" from the page with a message of its own:
//       {"type":"sample-extension-reply","request":<the page's message>,
//        "documents":"<the user's documents folder>","packageJsonBytes":<size of package.json>,
//        "windowTitle":"<the main window's title>"}
//     The documents folder is known once the page has done its handshake ("wrapper-init");
//     before that it is the empty string.
//
// Every function here is called on the host's GUI thread (the IWrapperApp operations could also be
// called from a thread of this library's own). Nothing may throw out of an exported function.
#include <windows.h>

#include <string>

#include "iwrapper_app.h"

namespace {

IWrapperApp* g_app = nullptr;
HWND g_mainWindow = nullptr;

// The component ids handed to the host; the host copies them, but they stay valid anyway.
const char* g_componentIds[] = {"sample-extension", nullptr};

// A JSON string literal for UTF-8 text.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static const char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The main window's title as UTF-8.
std::string WindowTitle() {
    if (g_mainWindow == nullptr) return {};
    wchar_t title[512] = {};
    const int length = GetWindowTextW(g_mainWindow, title, 512);
    if (length <= 0) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, title, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, title, length, text.data(), bytes, nullptr, nullptr);
    return text;
}

}  // namespace

// Called once at start-up, before the main window exists. The three folder strings stay valid
// until Release; the IWrapperApp pointer is the host's handle for the whole run.
extern "C" __declspec(dllexport) const
    char** Init(const char* /*exeFolder*/, const char* /*contentFolder*/,
                const char* /*userDataFolder*/, IWrapperApp* app) {
    g_app = app;
    return g_componentIds;
}

// Called once the main window has been created (it is still hidden).
extern "C" __declspec(dllexport) void OnMainWindowCreated(HWND window) { g_mainWindow = window; }

// Called for every page message of type "extension-message", with the text exactly as the page
// posted it. The host has already parsed it as one JSON value, so it can be embedded as it is.
extern "C" __declspec(dllexport) void OnExtensionMessage(const char* json) {
    if (g_app == nullptr || json == nullptr) return;
    try {
        const std::string documents = g_app->GetDirectoryPath("<documents>");
        const std::string packageJson = g_app->GetPackageJson();
        const std::string reply = std::string(R"({"type":"sample-extension-reply","request":)") +
                                  json + R"(,"documents":)" + JsonString(documents) +
                                  R"(,"packageJsonBytes":)" + std::to_string(packageJson.size()) +
                                  R"(,"windowTitle":)" + JsonString(WindowTitle()) + "}";
        g_app->SendWebMessage(reply.c_str());
    } catch (...) {
        // Out of memory: the page gets no answer this time.
    }
}

// Called once at shutdown, after the message loop has ended; the host unloads the library next.
extern "C" __declspec(dllexport) void Release() {
    g_app = nullptr;
    g_mainWindow = nullptr;
}
