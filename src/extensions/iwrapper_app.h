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
//       Called once at shutdown, after the message loop has ended. Stop your own threads here:
//       calling IWrapperApp after Release has returned is not allowed.
//
// Threads: the host calls every export on its GUI thread, the thread that runs the window and the
// page's messages. Return quickly: while an export runs, the window does not repaint or take input
// and no message reaches the page. Do slow work (files, network, long computations) on a thread of
// your own and report back with SendWebMessage. The IWrapperApp operations may be called
// from any thread, for instance from a worker of yours that reports progress:
//   - SendWebMessage copies the text before it returns. Called on the GUI thread it acts at once;
//     called on another thread, the text is handed to the GUI thread, where it takes the same path
//     (queued before the page's first handshake, posted after it), and the texts of one thread
//     arrive in the order that thread sent them. Texts sent once the host's message loop has ended
//     (the window has closed) are dropped.
//   - GetDirectoryPath and GetPackageJson return text that stays valid until Release.
// All strings are NUL-terminated UTF-8.
//
// The layout is fixed: an object whose first member is a pointer to a table of exactly these three
// functions, in this order, each taking the object pointer first (the x64 calling convention). A
// C extension, or one built with another compiler, can call through such a table directly.
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
    // machine does not have. The pointer stays valid until Release.
    virtual const char* GetDirectoryPath(const char* tag) = 0;
    // The text of package.json exactly as read at start-up; valid until Release.
    virtual const char* GetPackageJson() = 0;
};
