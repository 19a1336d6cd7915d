// File System Access handles for the Chromium driver's pages. A handle that the host posts in a
// message's additional objects reaches the page as a FileSystemDirectoryHandle (or
// FileSystemFileHandle) made by the script below; each of its calls travels through the driver's
// binding to FolderHandles, which carries it out with Win32 file calls at the handle's Windows
// path and answers with the value or the exception that Chromium gives.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "runtime.h"

namespace substitute {

class FolderHandles {
public:
    FolderHandles() = default;
    FolderHandles(const FolderHandles&) = delete;
    FolderHandles& operator=(const FolderHandles&) = delete;
    ~FolderHandles() { AbortWritables(); }

    // The script that makes the handles in every document; it runs after the script that made
    // `window.chrome.webview` and calls `binding` (the driver's DevTools binding).
    static std::string PageScript(const std::string& binding);
    // The expression that turns `objectsJson` (the webview's description of a message's
    // additional objects) into what the page's listeners get; the handles' folders become roots
    // the page refers to by number only.
    std::string DeliveryExpression(const std::string& objectsJson);
    // One call of the page's script ({op, ...}): {"value": ...} or
    // {"error": {"name": ..., "message": ...}}.
    Json Answer(const Json& call);
    // Ends every writable stream the page left open, as Chromium does when its document goes:
    // the swap files are removed, the files stay as they were.
    void AbortWritables();

private:
    struct Root {
        std::wstring path;  // absolute, without a trailing separator (a drive root keeps its own)
        bool directory = true;
        bool writable = true;
    };
    struct Writable {
        HANDLE file = INVALID_HANDLE_VALUE;
        std::wstring swap;
        std::wstring target;
    };

    Json Run(const std::string& op, const Json& call);
    // The path of the entry the call names (root, then `path` components), validated.
    std::wstring EntryPath(const Json& call, const Root*& root) const;
    // Closes writable `id`: with `keep` its swap file replaces the file (the error when that
    // fails, the swap file then removed), without it the swap file is removed.
    DWORD CloseWritable(int id, bool keep);

    std::vector<Root> roots_;
    std::map<int, Writable> writables_;
    int nextWritable_ = 1;
};

}  // namespace substitute
