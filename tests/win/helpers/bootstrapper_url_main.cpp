// Prints the link the installer would download from, in UTF-8. Built from the installer's own
// source file twice: as a release build compiles it and with WRAPPER_TEST_HOOKS.
#include <windows.h>

#include <cstdio>
#include <string>

#include "installer/bootstrapper_url_win.h"

int main() {
    const std::wstring url = BootstrapperUrl();
    std::string out(url.size() * 3, '\0');
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, url.data(), static_cast<int>(url.size()), out.data(),
                            static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(size > 0 ? static_cast<size_t>(size) : 0);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    return 0;
}
