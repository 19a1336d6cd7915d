// wrapper-bundle: packs a folder into an asset bundle, lists and verifies bundles, and packages
// apps.
#ifdef _WIN32
#include <windows.h>
#endif

#include <exception>
#include <filesystem>
#include <iostream>
#include <streambuf>
#include <string>
#include <system_error>
#include <vector>

#include "packager/bundle_tool.h"
#include "bundle/bundle_writer.h"

namespace {

// The folder of this program's own file, where `package` looks for its defaults.
std::filesystem::path ToolFolder() {
#ifdef _WIN32
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
#endif
}

#ifdef _WIN32
// Text for a console goes as UTF-16 through WriteConsoleW (the console's code page would garble
// names outside it); text for a pipe or a file stays UTF-8. Whole lines are written at once, so a
// character is never split between two writes.
class ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(DWORD which) : handle_(GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
                   GetConsoleMode(handle_, &mode);
    }
    bool console() const { return console_; }
    ~ConsoleBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? 0 : c;
        pending_.push_back(traits_type::to_char_type(c));
        if (c == '\n' || c == '\r') sync();
        return c;
    }
    int sync() override {
        if (pending_.empty()) return 0;
        // Invalid UTF-8 becomes U+FFFD rather than an error.
        const int length = MultiByteToWideChar(CP_UTF8, 0, pending_.data(),
                                               static_cast<int>(pending_.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(pending_.size()),
                            wide.data(), length);
        pending_.clear();
        DWORD written = 0;
        return WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)
                   ? 0
                   : -1;
    }

private:
    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};
#endif

}  // namespace

#ifdef _WIN32
// Wide arguments, so that names outside the ANSI code page survive.
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    try {
#ifdef _WIN32
        ConsoleBuffer out(STD_OUTPUT_HANDLE), err(STD_ERROR_HANDLE);
        std::streambuf* const outBefore = out.console() ? std::cout.rdbuf(&out) : nullptr;
        std::streambuf* const errBefore = err.console() ? std::cerr.rdbuf(&err) : nullptr;
        struct Restore {
            std::streambuf* out;
            std::streambuf* err;
            ~Restore() {
                if (out != nullptr) std::cout.rdbuf(out);
                if (err != nullptr) std::cerr.rdbuf(err);
            }
        } restore{outBefore, errBefore};
#endif
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) args.push_back(Utf8FromPath(std::filesystem::path(argv[i])));
        return RunBundleTool(args, std::cout, std::cerr, kPackProgressThreshold, ToolFolder());
    } catch (const std::exception& e) {
        std::cerr << "wrapper-bundle: " << e.what() << '\n';
        return 1;
    }
}
