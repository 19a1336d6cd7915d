// IWrapperApp: what the host offers a native extension library.
//
// An extension is a DLL named DI2ZozUzoraru.dll placed beside WebView2Wrapper.exe. It exports
// these plain functions (undecorated names, x64 calling convention):
//
//   extern "C" const char** Init(const char* exeFolder, const char* contentFolder,
//                                const char* userDataFolder, IWrapperApp* app);
//       Called once at start-up, before the window exists, and only when all four exports are
//       present. Returns an array of component ids (UTF-8), ended by a null entry, or null. The
//       host copies the strings before doing anything else; the array stays yours. The three
//       folder strings stay valid until Release has returned. exeFolder ends in a backslash,
//       contentFolder is "www\", userDataFolder has no trailing backslash.
//   extern "C" void OnMainWindowCreated(HWND window);
//       Called once the main window exists (it is still hidden).
//   extern "C" void OnExtensionMessage(const char* json);
//       Called for every page message of type "extension-message", with the page's text exactly
//       as sent (valid only during the call).
//   extern "C" void Release();
//       Called once at shutdown, after the message loop has ended.
//
// Every call, in both directions, happens on the host's GUI thread; call the IWrapperApp
// operations on that thread only. All strings are NUL-terminated UTF-8.
#pragma once

class IWrapperApp {
public:
    // Posts a JSON text to the page. Before the page's first handshake the text is queued and
    // delivered right after the handshake's answer; afterwards it is posted at once.
    virtual void SendWebMessage(const char* json) = 0;
    // The folder behind one of the page's directory handles, by tag ("<app>", "<web-resource>",
    // "<current-app-data>", "<local-app-data>", "<roaming-app-data>", "<desktop>",
    // "<documents>", "<downloads>", "<pictures>", "<profile>", "<saved-games>",
    // "<screenshots>", "<videos>"). Empty until the page's first handshake, and for folders the
    // machine does not have. The pointer stays valid until the next handshake.
    virtual const char* GetDirectoryPath(const char* tag) = 0;
    // The text of package.json exactly as read at start-up; valid until Release.
    virtual const char* GetPackageJson() = 0;
};
