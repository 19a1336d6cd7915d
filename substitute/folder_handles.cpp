// File System Access handles for the Chromium driver's pages: the page-side objects (a script)
// and the file operations behind them (Win32, at the handles' Windows paths).
#include "websocket_client.h"  // winsock2.h before windows.h

#include "folder_handles.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "com_support.h"

namespace substitute {
namespace {

// Chromium's exception texts for the file errors it reports.
constexpr char kNotFound[] =
    "A requested file or directory could not be found at the time an operation was processed.";
constexpr char kNoModification[] =
    "An attempt was made to write to a file or directory which could not be modified due to the "
    "state of the underlying filesystem.";
constexpr char kTypeMismatch[] =
    "The path supplied exists, but was not an entry of requested type.";
constexpr char kInvalidModification[] = "The object can not be modified in this way.";
constexpr char kInvalidState[] =
    "An operation that depends on state cached in an interface object was made but the state had "
    "changed since it was read from disk.";
constexpr char kQuota[] =
    "The operation failed because it would cause the application to exceed its storage quota.";
constexpr char kNotAllowed[] =
    "The request is not allowed by the user agent or the platform in the current context.";
constexpr char kBadName[] = "Name is not allowed.";
// The largest file getFile carries to the page (its bytes travel in one DevTools message).
constexpr std::uint64_t kMostRead = 256ull * 1024 * 1024;

// What a call fails with: the name of the page's exception (a DOMException, or "TypeError").
struct FileError {
    const char* name;
    std::string message;
};

[[noreturn]] void Fail(const char* name, std::string message) {
    throw FileError{name, std::move(message)};
}

// A Win32 error as the exception Chromium turns the matching file error into.
[[noreturn]] void FailWith(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_DEV_NOT_EXIST:
            Fail("NotFoundError", kNotFound);
        case ERROR_ACCESS_DENIED:
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_EA_ACCESS_DENIED:
            Fail("NoModificationAllowedError", kNoModification);
        case ERROR_DIR_NOT_EMPTY:
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            Fail("InvalidModificationError", kInvalidModification);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            Fail("QuotaExceededError", kQuota);
        case ERROR_DIRECTORY:
            Fail("TypeMismatchError", kTypeMismatch);
        default:
            Fail("InvalidStateError", kInvalidState);
    }
}

[[noreturn]] void FailWithLastError() { FailWith(GetLastError()); }

// Characters Chromium refuses anywhere in a name: the path and device separators, wildcards,
// quotes, and control and format characters.
bool IllegalAnywhere(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
    if (c < 0x80) return std::u32string_view(U"\"*/:<>?\\|").find(c) != std::u32string_view::npos;
    static constexpr std::pair<char32_t, char32_t> format[] = {
        {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},
        {0x70F, 0x70F},     {0x8E2, 0x8E2},     {0x180E, 0x180E},   {0x200B, 0x200F},
        {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},
        {0xFFF9, 0xFFFB},   {0xFFFE, 0xFFFF},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
        {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
        {0xE0020, 0xE007F}};
    return std::any_of(std::begin(format), std::end(format),
                       [c](const auto& range) { return c >= range.first && c <= range.second; });
}

// Characters Chromium refuses at either end of a name: white space, '.', '~'.
bool IllegalAtEnd(char32_t c) {
    static constexpr char32_t space[] = {0x20,   0x85,   0xA0,   0x1680, 0x2028, 0x2029,
                                         0x202F, 0x205F, 0x3000, '.',    '~'};
    return (c >= 0x09 && c <= 0x0D) || (c >= 0x2000 && c <= 0x200A) ||
           std::find(std::begin(space), std::end(space), c) != std::end(space);
}

// Whether `name` may name an entry inside a folder, as Chromium decides for handles on the
// local file system: no separators, not "." or "..", no illegal characters, nothing illegal at
// its ends (a leading '.' is allowed, for names such as ".git"), no extension that the Windows
// shell runs or hides behind (".lnk", ".scf", a class id), no device name of Windows.
bool IsAllowedName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    std::u32string points;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        }
        points.push_back(c);
    }
    if (std::any_of(points.begin(), points.end(), IllegalAnywhere)) return false;
    const std::u32string_view checked =
        points.front() == '.' ? std::u32string_view(points).substr(1) : std::u32string_view(points);
    if (checked.empty() || IllegalAtEnd(checked.front()) || IllegalAtEnd(checked.back()))
        return false;
    std::wstring lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; });
    const std::size_t dot = lower.rfind(L'.');
    const std::wstring extension = dot == std::wstring::npos ? L"" : lower.substr(dot + 1);
    if (extension == L"lnk" || extension == L"scf" ||
        (extension.size() >= 2 && extension.front() == L'{' && extension.back() == L'}'))
        return false;
    const std::wstring stem = lower.substr(0, lower.find(L'.'));
    static const wchar_t* const devices[] = {L"con", L"prn", L"aux", L"nul", L"clock$"};
    if (std::find_if(std::begin(devices), std::end(devices),
                     [&](const wchar_t* device) { return stem == device; }) != std::end(devices))
        return false;
    return !(stem.size() == 4 && (stem.rfind(L"com", 0) == 0 || stem.rfind(L"lpt", 0) == 0) &&
             stem[3] >= L'1' && stem[3] <= L'9');
}

// `path` in the form that Win32 takes without length limit or rewriting.
std::wstring Extended(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

// The file's attributes; INVALID_FILE_ATTRIBUTES when it cannot be read (GetLastError says why).
DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool IsDirectory(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// The folder at `path`, as a call that works inside it needs it.
void RequireDirectory(const std::wstring& path) {
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) FailWithLastError();
    if (!IsDirectory(attributes)) Fail("TypeMismatchError", kTypeMismatch);
}

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Removes a file, read-only or not.
bool RemoveFile(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return DeleteFileW(path.c_str()) != FALSE;
}

// Removes the folder `path` and everything in it. A link inside is removed as a link: what it
// points to is never entered.
void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND) FailWithLastError();
    } else {
        DWORD error = ERROR_SUCCESS;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            const DWORD attributes = found.dwFileAttributes;
            if (IsDirectory(attributes) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
                try {
                    RemoveTree(child);
                } catch (const FileError&) {
                    FindClose(search);
                    throw;
                }
            } else if (IsDirectory(attributes) ? !RemoveDirectoryW(child.c_str())
                                               : !RemoveFile(child, attributes)) {
                error = GetLastError();
                break;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        if (error != ERROR_SUCCESS) FailWith(error);
    }
    if (!RemoveDirectoryW(path.c_str())) FailWithLastError();
}

// Chromium's content types for the well-known extensions of a file's name ("" for others).
std::string ContentType(const std::wstring& name) {
    static const std::pair<const wchar_t*, const char*> types[] = {
        {L"html", "text/html"},      {L"htm", "text/html"},       {L"css", "text/css"},
        {L"js", "text/javascript"},  {L"mjs", "text/javascript"}, {L"json", "application/json"},
        {L"txt", "text/plain"},      {L"text", "text/plain"},     {L"csv", "text/csv"},
        {L"xml", "text/xml"},        {L"png", "image/png"},       {L"jpg", "image/jpeg"},
        {L"jpeg", "image/jpeg"},     {L"gif", "image/gif"},       {L"webp", "image/webp"},
        {L"svg", "image/svg+xml"},   {L"ico", "image/x-icon"},    {L"avif", "image/avif"},
        {L"mp3", "audio/mpeg"},      {L"ogg", "audio/ogg"},       {L"wav", "audio/wav"},
        {L"mp4", "video/mp4"},       {L"webm", "video/webm"},     {L"wasm", "application/wasm"},
        {L"pdf", "application/pdf"}, {L"zip", "application/zip"}, {L"woff", "font/woff"},
        {L"woff2", "font/woff2"}};
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return "";
    std::wstring extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; });
    for (const auto& [known, type] : types) {
        if (extension == known) return type;
    }
    return "";
}

// A handle of an open file that closes itself.
class OpenFile {
public:
    explicit OpenFile(HANDLE handle) : handle_(handle) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    HANDLE Get() const { return handle_; }
    HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

private:
    HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD piece = DWORD(std::min<std::size_t>(size, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, data, piece, &written, nullptr)) FailWithLastError();
        data += written;
        size -= written;
    }
}

void Seek(HANDLE file, std::uint64_t position) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(position);
    if (position > std::uint64_t(INT64_MAX) || !SetFilePointerEx(file, at, nullptr, FILE_BEGIN))
        Fail("InvalidStateError", kInvalidState);
}

std::uint64_t Unsigned(const Json& call, const char* key) {
    const Json& value = call.contains(key) ? call[key] : Json();
    if (!value.is_number_unsigned() &&
        !(value.is_number_integer() && value.get<std::int64_t>() >= 0))
        Fail("TypeError", std::string("The ") + key + " is not a valid position.");
    return value.get<std::uint64_t>();
}

// The page's side: handles made from the descriptions the driver delivers, each call a request
// through the binding answered by __folderReply. `BINDING` is the binding's name.
constexpr char kScript[] = R"JS((() => {
  const binding = window.BINDING;
  const webview = window.chrome && window.chrome.webview;
  if (typeof binding !== 'function' || !webview || '__folderReply' in webview) return;
  // Call ids unique to this document: a reply meant for the page before it never settles another.
  const token = Math.random().toString(36).slice(2);
  let nextCall = 1;
  const calls = new Map();
  const ask = (request) => new Promise((resolve, reject) => {
    const call = token + '.' + nextCall++;
    calls.set(call, { resolve, reject });
    binding(JSON.stringify(Object.assign({ call }, request)));
  });
  Object.defineProperty(webview, '__folderReply', {
    value(call, reply) {
      const waiting = calls.get(call);
      if (!waiting) return;
      calls.delete(call);
      if (!reply.error) waiting.resolve(reply.value);
      else waiting.reject(reply.error.name === 'TypeError' ? new TypeError(reply.error.message)
                                                           : new DOMException(reply.error.message, reply.error.name));
    },
  });

  const entries = new WeakMap();  // handle -> { root, path, kind, name, writable }
  const nativePrototype = (name) => typeof window[name] === 'function' ? window[name].prototype : Object.prototype;
  const directoryPrototype = Object.create(nativePrototype('FileSystemDirectoryHandle'));
  const filePrototype = Object.create(nativePrototype('FileSystemFileHandle'));
  const make = (entry) => {
    const handle = Object.create(entry.kind === 'directory' ? directoryPrototype : filePrototype);
    entries.set(handle, entry);
    return handle;
  };
  const entryOf = (handle, kind) => {
    const entry = entries.get(handle);
    if (!entry || (kind && entry.kind !== kind)) throw new TypeError('Illegal invocation');
    return entry;
  };
  const where = (entry) => ({ root: entry.root, path: entry.path });
  const childOf = (entry, name, kind) =>
    ({ root: entry.root, path: entry.path.concat([name]), kind, name, writable: entry.writable });
  const text = (value) => { const string = String(value); return string.toWellFormed ? string.toWellFormed() : string; };
  const needs = (args, count, method, type) => {
    if (args.length < count)
      throw new TypeError(`Failed to execute '${method}' on '${type}': ${count} argument required, but only ${args.length} present.`);
  };
  const handleArgument = (value, method, type) => {
    const entry = entries.get(value);
    if (!entry) throw new TypeError(`Failed to execute '${method}' on '${type}': parameter 1 is not of type 'FileSystemHandle'.`);
    return entry;
  };
  const modeOf = (descriptor, method) => {
    const mode = descriptor == null || descriptor.mode === undefined ? 'read' : String(descriptor.mode);
    if (mode !== 'read' && mode !== 'readwrite')
      throw new TypeError(`Failed to execute '${method}' on 'FileSystemHandle': Failed to read the 'mode' property from 'FileSystemHandlePermissionDescriptor': The provided value '${mode}' is not a valid enum value of type FileSystemPermissionMode.`);
    return mode;
  };
  const define = (target, source) => Object.defineProperties(target, Object.getOwnPropertyDescriptors(source));

  const common = {
    get kind() { return entryOf(this).kind; },
    get name() { return entryOf(this).name; },
    async queryPermission(descriptor) {
      const entry = entryOf(this);
      return modeOf(descriptor, 'queryPermission') === 'read' || entry.writable ? 'granted' : 'prompt';
    },
    async requestPermission(descriptor) {
      const entry = entryOf(this);
      return modeOf(descriptor, 'requestPermission') === 'read' || entry.writable ? 'granted' : 'denied';
    },
    async isSameEntry(other) {
      const entry = entryOf(this);
      needs(arguments, 1, 'isSameEntry', 'FileSystemHandle');
      const that = handleArgument(other, 'isSameEntry', 'FileSystemHandle');
      if (that.kind !== entry.kind) return false;
      const path = await ask(Object.assign({ op: 'relate', other: where(that) }, where(entry)));
      return path !== null && path.length === 0;
    },
  };

  const AsyncIterator = Object.getPrototypeOf(Object.getPrototypeOf(async function* () {}).prototype);
  const iterate = (handle, shape) => {
    const entry = entryOf(handle, 'directory');
    let listing = null;
    let index = 0;
    return Object.assign(Object.create(AsyncIterator), {
      async next() {
        if (!listing) listing = ask(Object.assign({ op: 'list' }, where(entry)));
        const found = await listing;
        if (index >= found.length) return { value: undefined, done: true };
        const [name, kind] = found[index++];
        return { value: shape(name, make(childOf(entry, name, kind))), done: false };
      },
    });
  };
  const child = async (handle, args, method, kind) => {
    const entry = entryOf(handle, 'directory');
    needs(args, 1, method, 'FileSystemDirectoryHandle');
    const name = text(args[0]);
    const create = !!(args[1] && args[1].create);
    await ask(Object.assign({ op: 'child', name, kind, create }, where(entry)));
    return make(childOf(entry, name, kind));
  };
  const directory = {
    getFileHandle() { return child(this, arguments, 'getFileHandle', 'file'); },
    getDirectoryHandle() { return child(this, arguments, 'getDirectoryHandle', 'directory'); },
    async removeEntry(name, options) {
      const entry = entryOf(this, 'directory');
      needs(arguments, 1, 'removeEntry', 'FileSystemDirectoryHandle');
      await ask(Object.assign({ op: 'remove', name: text(name), recursive: !!(options && options.recursive) }, where(entry)));
    },
    async resolve(possibleDescendant) {
      const entry = entryOf(this, 'directory');
      needs(arguments, 1, 'resolve', 'FileSystemDirectoryHandle');
      const that = handleArgument(possibleDescendant, 'resolve', 'FileSystemDirectoryHandle');
      return ask(Object.assign({ op: 'relate', other: where(that) }, where(entry)));
    },
    entries() { return iterate(this, (name, handle) => [name, handle]); },
    keys() { return iterate(this, (name) => name); },
    values() { return iterate(this, (name, handle) => handle); },
  };
  directory[Symbol.asyncIterator] = directory.entries;

  const toBase64 = (bytes) => {
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(binary);
  };
  const bytesOf = async (data) => {
    if (data instanceof Blob) return new Uint8Array(await data.arrayBuffer());
    if (data instanceof ArrayBuffer) return new Uint8Array(data);
    if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    return new TextEncoder().encode(text(data));
  };
  const isData = (value) => typeof value !== 'object' || value instanceof Blob ||
                            value instanceof ArrayBuffer || ArrayBuffer.isView(value);
  const position = (value, what) => {
    const number = Number(value);
    if (!Number.isFinite(number) || number < 0) throw new TypeError(`The ${what} is not a valid position.`);
    return Math.floor(number);
  };
  const invalid = (what) => new DOMException(`Invalid params passed. ${what}`, 'SyntaxError');
  class Writable extends WritableStream {
    write(data) {
      try {
        const writer = this.getWriter();
        const written = writer.write(data);
        writer.releaseLock();
        return written;
      } catch (error) {
        return Promise.reject(error);
      }
    }
    seek(at) { return this.write({ type: 'seek', position: at }); }
    truncate(size) { return this.write({ type: 'truncate', size }); }
  }
  if (typeof window.FileSystemWritableFileStream === 'function')
    Object.setPrototypeOf(Writable.prototype, window.FileSystemWritableFileStream.prototype);
  const writable = (stream) => {
    let offset = 0;
    return new Writable({
      async write(chunk) {
        let data = chunk;
        let at = offset;
        if (chunk === null || chunk === undefined) throw invalid('write requires a data argument');
        if (!isData(chunk)) {
          if (chunk.type === 'seek') {
            if (chunk.position == null) throw invalid('seek requires a position argument');
            offset = position(chunk.position, 'position');
            return;
          }
          if (chunk.type === 'truncate') {
            if (chunk.size == null) throw invalid('truncate requires a size argument');
            const size = position(chunk.size, 'size');
            await ask({ op: 'truncate', stream, size });
            offset = Math.min(offset, size);
            return;
          }
          if (chunk.type !== 'write')
            throw new TypeError(`The provided value '${chunk.type}' is not a valid enum value of type WriteCommandType.`);
          if (chunk.data == null) throw invalid('write requires a data argument');
          data = chunk.data;
          if (chunk.position != null) at = position(chunk.position, 'position');
        }
        const bytes = await bytesOf(data);
        await ask({ op: 'write', stream, position: at, data: toBase64(bytes) });
        offset = at + bytes.length;
      },
      close() { return ask({ op: 'close', stream }); },
      abort() { return ask({ op: 'abort', stream }); },
    });
  };
  const file = {
    async getFile() {
      const entry = entryOf(this, 'file');
      const read = await ask(Object.assign({ op: 'read' }, where(entry)));
      const binary = atob(read.data);
      const bytes = new Uint8Array(binary.length);
      for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
      return new File([bytes], entry.name, { type: read.type, lastModified: read.lastModified });
    },
    async createWritable(options) {
      const entry = entryOf(this, 'file');
      const opened = await ask(Object.assign({ op: 'open', keep: !!(options && options.keepExistingData) }, where(entry)));
      return writable(opened.stream);
    },
  };
  define(define(directoryPrototype, common), directory);
  define(define(filePrototype, common), file);

  Object.defineProperty(webview, '__folderHandles', {
    value(objects) {
      return (objects || []).map((object) => object && object.root
        ? make({ root: object.root, path: [], kind: object.kind, name: object.name, writable: object.writable })
        : object);
    },
  });
})();)JS";

}  // namespace

std::string FolderHandles::PageScript(const std::string& binding) {
    std::string script = kScript;
    const std::string marker = "BINDING";
    const std::size_t at = script.find(marker);
    script.replace(at, marker.size(), binding);
    return script;
}

std::string FolderHandles::DeliveryExpression(const std::string& objectsJson) {
    if (objectsJson.empty()) return "null";
    Json objects = Json::parse(objectsJson, nullptr, false);
    if (!objects.is_array()) return "null";
    for (Json& object : objects) {
        if (!object.is_object() || !object.contains("path") || !object["path"].is_string() ||
            object["path"].get<std::string>().empty())
            continue;
        const std::string kind = object.value("kind", "");
        if (kind != "directory" && kind != "file") continue;
        Root root;
        root.directory = kind == "directory";
        root.writable = object.value("permission", "") == "read-write";
        // The folder as the runtime takes it: absolute, "." and ".." resolved, no trailing
        // separator (a drive's root keeps its own).
        const std::wstring given = ToUtf16(object["path"].get<std::string>());
        std::wstring full(MAX_PATH, L'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            const DWORD length =
                GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
            if (length == 0) full.clear();
            if (length < full.size()) {
                full.resize(length);
                break;
            }
            full.assign(length, L'\0');
        }
        if (full.empty()) full = given;
        while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
        root.path = full;
        std::wstring name = full;
        while (name.size() > 1 && (name.back() == L'\\' || name.back() == L'/')) name.pop_back();
        name = name.substr(
            name.find_last_of(L"\\/") == std::wstring::npos ? 0 : name.find_last_of(L"\\/") + 1);
        roots_.push_back(std::move(root));
        object = Json{{"kind", kind},
                      {"root", roots_.size()},
                      {"name", ToUtf8(name)},
                      {"writable", roots_.back().writable}};
    }
    return "(window.chrome.webview.__folderHandles || ((objects) => objects))(" +
           objects.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + ")";
}

std::wstring FolderHandles::EntryPath(const Json& call, const Root*& root) const {
    const Json& id = call.contains("root") ? call["root"] : Json();
    if (!id.is_number_integer() || id.get<std::int64_t>() <= 0 ||
        std::uint64_t(id.get<std::int64_t>()) > roots_.size())
        Fail("InvalidStateError", kInvalidState);
    root = &roots_[std::size_t(id.get<std::int64_t>()) - 1];
    std::wstring path = root->path;
    if (path.back() == L'\\') path.pop_back();
    const Json& components = call.contains("path") ? call["path"] : Json();
    if (!components.is_array()) Fail("InvalidStateError", kInvalidState);
    for (const Json& component : components) {
        const std::wstring name =
            component.is_string() ? ToUtf16(component.get<std::string>()) : L"";
        if (!IsAllowedName(name)) Fail("TypeError", kBadName);
        path += L"\\" + name;
    }
    return Extended(path);
}

Json FolderHandles::Answer(const Json& call) {
    try {
        return Json{{"value", Run(call.value("op", ""), call)}};
    } catch (const FileError& failure) {
        return Json{{"error", Json{{"name", failure.name}, {"message", failure.message}}}};
    } catch (const std::exception&) {
        return Json{{"error", Json{{"name", "InvalidStateError"}, {"message", kInvalidState}}}};
    }
}

Json FolderHandles::Run(const std::string& op, const Json& call) {
    if (op == "write" || op == "truncate" || op == "close" || op == "abort") {
        const int id = call.value("stream", 0);
        const auto found = writables_.find(id);
        if (found == writables_.end()) Fail("InvalidStateError", kInvalidState);
        if (op == "close" || op == "abort") {
            const DWORD error = CloseWritable(id, op == "close");
            if (error != ERROR_SUCCESS) FailWith(error);
            return Json::object();
        }
        const HANDLE file = found->second.file;
        if (op == "truncate") {
            Seek(file, Unsigned(call, "size"));
            if (!SetEndOfFile(file)) FailWithLastError();
        } else {
            Seek(file, Unsigned(call, "position"));
            const std::string bytes = Base64Decode(call.value("data", ""));
            WriteAll(file, bytes.data(), bytes.size());
        }
        return Json::object();
    }

    const Root* root = nullptr;
    const std::wstring path = EntryPath(call, root);
    const auto requireWritable = [&] {
        if (!root->writable) Fail("NotAllowedError", kNotAllowed);
    };
    if (op == "child" || op == "remove") {
        const std::wstring name = ToUtf16(call.value("name", ""));
        if (!IsAllowedName(name)) Fail("TypeError", kBadName);
        if (!root->directory) Fail("TypeMismatchError", kTypeMismatch);
        const std::wstring entry = path + L"\\" + name;
        const DWORD attributes = Attributes(entry);
        const DWORD error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
        if (error != ERROR_SUCCESS && !Missing(error)) FailWith(error);
        if (op == "remove") {
            requireWritable();
            if (error != ERROR_SUCCESS) FailWith(error);
            if (!IsDirectory(attributes)) {
                if (!RemoveFile(entry, attributes)) FailWithLastError();
            } else if (call.value("recursive", false)) {
                RemoveTree(entry);
            } else if (!RemoveDirectoryW(entry.c_str())) {
                FailWithLastError();
            }
            return Json::object();
        }
        const bool directory = call.value("kind", "") == "directory";
        if (error == ERROR_SUCCESS) {
            if (IsDirectory(attributes) != directory) Fail("TypeMismatchError", kTypeMismatch);
            return Json::object();
        }
        if (!call.value("create", false)) FailWith(error);
        requireWritable();
        // Chromium creates nothing where the folder is missing or is a file: NotFoundError.
        const DWORD parent = Attributes(path);
        if (parent == INVALID_FILE_ATTRIBUTES) FailWithLastError();
        if (!IsDirectory(parent)) Fail("NotFoundError", kNotFound);
        if (directory) {
            if (!CreateDirectoryW(entry.c_str(), nullptr)) FailWithLastError();
        } else {
            const HANDLE created = CreateFileW(entry.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (created == INVALID_HANDLE_VALUE) FailWithLastError();
            CloseHandle(created);
        }
        return Json::object();
    }
    if (op == "list") {
        if (!root->directory) Fail("TypeMismatchError", kTypeMismatch);
        RequireDirectory(path);
        Json listing = Json::array();
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileExW((path + L"\\*").c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE) FailWithLastError();
        do {
            const std::wstring name = found.cFileName;
            // Entries the page could not name are not shown either.
            if (!IsAllowedName(name)) continue;
            listing.push_back(Json::array(
                {ToUtf8(name), IsDirectory(found.dwFileAttributes) ? "directory" : "file"}));
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return listing;
    }
    if (op == "relate") {
        const Root* otherRoot = nullptr;
        const std::wstring other =
            EntryPath(call.contains("other") ? call["other"] : Json(), otherRoot);
        const auto same = [](std::wstring_view a, std::wstring_view b) {
            return CompareStringOrdinal(a.data(), int(a.size()), b.data(), int(b.size()), TRUE) ==
                   CSTR_EQUAL;
        };
        if (same(path, other)) return Json::array();
        if (other.size() <= path.size() + 1 || other[path.size()] != L'\\' ||
            !same(std::wstring_view(other).substr(0, path.size()), path))
            return nullptr;
        Json components = Json::array();
        std::size_t start = path.size() + 1;
        while (start <= other.size()) {
            const std::size_t end = std::min(other.find(L'\\', start), other.size());
            components.push_back(ToUtf8(other.substr(start, end - start)));
            start = end + 1;
        }
        return components;
    }
    // "read" and "open" work on the file the handle names.
    if (op != "read" && op != "open") Fail("InvalidStateError", kInvalidState);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) FailWithLastError();
    if (IsDirectory(data.dwFileAttributes)) Fail("TypeMismatchError", kTypeMismatch);
    if (op == "read") {
        const std::uint64_t size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        if (size > kMostRead)
            Fail("NotReadableError", "The substitute runtime carries files of at most 256 MiB.");
        OpenFile file(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Get() == INVALID_HANDLE_VALUE) FailWithLastError();
        std::string bytes(size, '\0');
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD read = 0;
            const DWORD piece = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 20));
            if (!ReadFile(file.Get(), bytes.data() + done, piece, &read, nullptr))
                FailWithLastError();
            if (read == 0) break;
            done += read;
        }
        bytes.resize(done);
        const std::uint64_t ticks = (std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                    data.ftLastWriteTime.dwLowDateTime;
        const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        return Json{{"type", ContentType(name)},
                    {"lastModified",
                     ticks > 116444736000000000ull ? (ticks - 116444736000000000ull) / 10000 : 0},
                    {"data", Base64Encode(bytes)}};
    }
    if (op == "open") {
        requireWritable();
        // The new contents go to a swap file beside the file, which replaces it on close.
        Writable writable;
        writable.target = path;
        for (int attempt = 0; attempt < 100 && writable.file == INVALID_HANDLE_VALUE; ++attempt) {
            writable.swap =
                path + (attempt == 0 ? L"" : L"." + std::to_wstring(attempt)) + L".crswap";
            writable.file =
                CreateFileW(writable.swap.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (writable.file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
                GetLastError() != ERROR_ALREADY_EXISTS)
                FailWithLastError();
        }
        if (writable.file == INVALID_HANDLE_VALUE) Fail("InvalidStateError", kInvalidState);
        OpenFile swap(writable.file);
        try {
            if (call.value("keep", false)) {
                OpenFile source(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
                if (source.Get() == INVALID_HANDLE_VALUE) FailWithLastError();
                std::string buffer(1u << 16, '\0');
                DWORD read = 0;
                while (
                    ReadFile(source.Get(), buffer.data(), DWORD(buffer.size()), &read, nullptr) &&
                    read > 0)
                    WriteAll(swap.Get(), buffer.data(), read);
            }
        } catch (const FileError&) {
            CloseHandle(swap.Release());
            DeleteFileW(writable.swap.c_str());
            throw;
        }
        writable.file = swap.Release();
        const int id = nextWritable_++;
        writables_.emplace(id, std::move(writable));
        return Json{{"stream", id}};
    }
    Fail("InvalidStateError", kInvalidState);
}

DWORD FolderHandles::CloseWritable(int id, bool keep) {
    const auto found = writables_.find(id);
    if (found == writables_.end()) return ERROR_SUCCESS;
    const Writable writable = std::move(found->second);
    writables_.erase(found);
    CloseHandle(writable.file);
    // Windows refuses to replace a read-only file (Wine replaces it).
    const DWORD attributes = keep ? Attributes(writable.target) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        DeleteFileW(writable.swap.c_str());
        return ERROR_ACCESS_DENIED;
    }
    if (keep && MoveFileExW(writable.swap.c_str(), writable.target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
        return ERROR_SUCCESS;
    const DWORD error = keep ? GetLastError() : ERROR_SUCCESS;
    DeleteFileW(writable.swap.c_str());
    return error;
}

void FolderHandles::AbortWritables() {
    while (!writables_.empty()) CloseWritable(writables_.begin()->first, false);
}

}  // namespace substitute
