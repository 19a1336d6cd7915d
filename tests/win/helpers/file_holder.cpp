// Holds a file open for reading without sharing it with anyone, as another program may do:
//   file_holder.exe FILE FLAG_FOLDER
// Once FILE is open it creates FLAG_FOLDER\held.flag; it closes FILE and ends when
// FLAG_FOLDER\release.flag appears (after two minutes at most). Exit code 1 when FILE cannot be
// opened.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const std::wstring folder = std::wstring(argv[2]) + L"\\";
    HANDLE flag = CreateFileW((folder + L"held.flag").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (flag != INVALID_HANDLE_VALUE) CloseHandle(flag);
    const std::wstring release = folder + L"release.flag";
    for (int i = 0; i < 2400 && GetFileAttributesW(release.c_str()) == INVALID_FILE_ATTRIBUTES;
         ++i) {
        Sleep(50);
    }
    CloseHandle(file);
    return 0;
}
