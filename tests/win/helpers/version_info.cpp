// Prints the version resource of the file named on the command line, read with the system's own
// version functions, as UTF-8 lines: "fixed FILEVERSION PRODUCTVERSION FLAGS FILETYPE" (versions
// as a.b.c.d, flags and type in hex), "translation LANG CODEPAGE" (hex) and "NAME=VALUE" for each
// string of the first translation, then "iconN WxH RRGGBB" for the icon group MAINICON as
// LoadImageW gives it at N pixels (its size and the colour of its centre pixel; "iconN none"
// without one). Exit code 1 when the file has no version resource.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text, size_t length) {
    std::string out(length * 3, '\0');
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(),
                                         static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return out;
}

std::string Version(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: version_info FILE\n", stderr);
        return 2;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
    if (size == 0) return 1;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(argv[1], 0, size, data.data())) return 1;

    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return 1;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    std::printf("fixed %s %s %lx %lx\n",
                Version(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
                Version(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str(),
                static_cast<unsigned long>(fixed->dwFileFlags & fixed->dwFileFlagsMask),
                static_cast<unsigned long>(fixed->dwFileType));

    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
        length < 2 * sizeof(WORD))
        return 1;
    const auto* translation = static_cast<const WORD*>(value);
    std::printf("translation %04x %04x\n", translation[0], translation[1]);
    wchar_t block[64];
    for (const wchar_t* name :
         {L"FileDescription", L"ProductName", L"FileVersion", L"ProductVersion", L"InternalName",
          L"OriginalFilename", L"CompanyName", L"LegalCopyright", L"SpecialBuild"}) {
        swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
                 name);
        if (VerQueryValueW(data.data(), block, &value, &length) && length > 0) {
            const auto* text = static_cast<const wchar_t*>(value);
            // The length counts the terminating zero.
            size_t chars = length;
            while (chars > 0 && text[chars - 1] == L'\0') --chars;
            std::printf("%s=%s\n", Utf8(name, wcslen(name)).c_str(), Utf8(text, chars).c_str());
        }
    }

    HMODULE module =
        LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    for (int size : {16, 32, 256}) {
        HICON icon = module == nullptr ? nullptr
                                       : static_cast<HICON>(LoadImageW(module, L"MAINICON",
                                                                       IMAGE_ICON, size, size, 0));
        ICONINFO info = {};
        BITMAP bitmap = {};
        if (icon == nullptr || !GetIconInfo(icon, &info) || info.hbmColor == nullptr ||
            GetObjectW(info.hbmColor, sizeof bitmap, &bitmap) == 0) {
            std::printf("icon%d none\n", size);
        } else {
            BITMAPINFO format = {};
            format.bmiHeader.biSize = sizeof format.bmiHeader;
            format.bmiHeader.biWidth = bitmap.bmWidth;
            format.bmiHeader.biHeight = -bitmap.bmHeight;
            format.bmiHeader.biPlanes = 1;
            format.bmiHeader.biBitCount = 32;
            format.bmiHeader.biCompression = BI_RGB;
            std::vector<DWORD> pixels(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight);
            HDC screen = GetDC(nullptr);
            GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(bitmap.bmHeight), pixels.data(),
                      &format, DIB_RGB_COLORS);
            ReleaseDC(nullptr, screen);
            const DWORD centre = pixels[static_cast<size_t>(bitmap.bmHeight / 2) * bitmap.bmWidth +
                                        bitmap.bmWidth / 2];
            std::printf("icon%d %ldx%ld %06lx\n", size, static_cast<long>(bitmap.bmWidth),
                        static_cast<long>(bitmap.bmHeight),
                        static_cast<unsigned long>(centre & 0xFFFFFF));
        }
        if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
        if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
        if (icon != nullptr) DestroyIcon(icon);
    }
    if (module != nullptr) FreeLibrary(module);
    std::fflush(stdout);
    return 0;
}
