// Memory of the host while it serves a large bundled media file: the real WebView2Wrapper.exe runs
// with the substitute runtime, whose scripted page asks for a 1 GiB bundled video (a sparse
// bundle) as a media element does, "bytes=0-" first and then ten seeks ("bytes=N-"), and reads
// each body to its end. The host's private bytes are sampled from this process every millisecond
// or so; the figure is the peak while the requests are served, above the idle host before them.
//
// Usage: bench_host_memory.exe [HOST_EXE [LOADER_DLL]]
//   HOST_EXE defaults to ..\..\WebView2Wrapper.exe from this program's folder, LOADER_DLL as for
//   the content server benchmark. Give another build's host to compare.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/paths_win.h"
#include "bundle/bundle_writer.h"
#include "support/resource_requests_win.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMovieBytes = std::uint64_t{1} << 30;
constexpr int kSeeks = 10;
constexpr double kAimMiB = 32;
constexpr char kPage[] = "<!doctype html><title>memory bench</title>";
constexpr char kMovieEnd[] = "the last bytes of the movie";

double MiB(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// The bundle: the start page, then the movie, whose bytes are all zero but for its last ones;
// nothing but the directory, the page and those last bytes is stored (the file is sparse).
void WriteBundle(const fs::path& path) {
    const std::string page = kPage;
    const std::string end = kMovieEnd;
    const std::string prefix =
        EncodeBundlePrefix({{"index.html", page.size()}, {"movie.webm", kMovieBytes}});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    out.seekp(static_cast<std::streamoff>(prefix.size() + page.size() + kMovieBytes - end.size()));
    out.write(end.data(), static_cast<std::streamsize>(end.size()));
}

std::uint64_t SeekPosition(int seek) { return kMovieBytes / (kSeeks + 1) * seek; }

std::string Scenario() {
    std::string scenario = "sleep 2000\n";  // the idle host
    for (int seek = 0; seek <= kSeeks; ++seek) {
        scenario += "request GET https://app.localhost/movie.webm media Range: bytes=" +
                    std::to_string(SeekPosition(seek)) + "-\n";
    }
    return scenario + "sleep 500\nclose\n";
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// The host's commit charge (its private bytes). Wine answers PagefileUsage for other processes.
std::uint64_t PrivateBytes(HANDLE process) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
        return 0;
    }
    return std::max<std::uint64_t>(counters.PrivateUsage, counters.PagefileUsage);
}

struct Phases {
    std::vector<std::uint64_t> idle;  // samples while the page waits before its first request
    std::uint64_t peak = 0;           // the largest sample from the first request on
    double servingSeconds = 0;        // from the first request to the last answer
};

// Runs the host to its end, sampling its private bytes; the transcript tells the phases apart
// (its "step" lines are written as each step starts).
bool RunAndSample(const std::wstring& exe, const fs::path& transcript, Phases& phases) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        fs::path(exe).parent_path().c_str(), &startup, &process)) {
        std::fprintf(stderr, "cannot start the host (error %lu)\n", GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    const ULONGLONG deadline = GetTickCount64() + 300000;
    std::uintmax_t seenSize = 0;
    std::size_t steps = 0;
    std::size_t responses = 0;
    LARGE_INTEGER frequency, servingStart{}, now;
    QueryPerformanceFrequency(&frequency);
    while (WaitForSingleObject(process.hProcess, 1) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.hProcess, 1);
            std::fprintf(stderr, "the host did not finish in time\n");
            break;
        }
        std::error_code ignored;
        const std::uintmax_t size = fs::file_size(transcript, ignored);
        if (!ignored && size != seenSize) {
            seenSize = size;
            const std::string text = ReadText(transcript);
            steps = CountOf(text, "\"type\":\"step\"");
            const std::size_t answered = CountOf(text, "\"type\":\"response\"");
            QueryPerformanceCounter(&now);
            if (steps == 2 && servingStart.QuadPart == 0) servingStart = now;
            if (answered > responses && servingStart.QuadPart != 0) {
                phases.servingSeconds = static_cast<double>(now.QuadPart - servingStart.QuadPart) /
                                        static_cast<double>(frequency.QuadPart);
            }
            responses = answered;
        }
        const std::uint64_t sample = PrivateBytes(process.hProcess);
        if (steps == 1) phases.idle.push_back(sample);
        if (steps >= 2) phases.peak = std::max(phases.peak, sample);
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    if (exitCode != 0) std::fprintf(stderr, "the host ended with %lu\n", exitCode);
    return exitCode == 0;
}

// Every request got its 206 with the whole rest of the movie, read to its end.
bool AnswersAreRight(const fs::path& transcript) {
    int checked = 0;
    std::ifstream in(transcript, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_discarded() || entry.value("type", "") != "response" ||
            entry.value("uri", "").find("movie.webm") == std::string::npos) {
            continue;
        }
        const std::uint64_t expected = kMovieBytes - SeekPosition(checked);
        if (entry.value("status", 0) != 206 || entry["body"].value("length", 0ull) != expected) {
            std::fprintf(stderr, "wrong answer: %s\n", line.substr(0, 300).c_str());
            return false;
        }
        ++checked;
    }
    return checked == kSeeks + 1;
}

int Run(int argc, wchar_t** argv) {
    const std::wstring hostExe =
        argc > 1 ? std::wstring(argv[1])
                 : resource_requests::ModuleFolder() + L"..\\..\\WebView2Wrapper.exe";
    const std::string loaderFolder = resource_requests::SubstituteFolder(argc > 2 ? argv[2] : L"");
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const fs::path app =
        fs::path(temp) / ("wrapper-memory-bench-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(app);
    fs::create_directories(app / "www");
    std::error_code copyError;
    fs::copy_file(hostExe, app / "WebView2Wrapper.exe", copyError);
    if (!copyError) {
        fs::copy_file(ToWide(loaderFolder) + L"WebView2Loader.dll", app / "WebView2Loader.dll",
                      copyError);
    }
    if (copyError) {
        std::fprintf(stderr, "cannot copy the host or the loader: %s\n",
                     copyError.message().c_str());
        return 2;
    }
    WriteText(app / "package.json", R"({"name":"wrapper-memory-bench"})");
    WriteBundle(app / "www" / "assets.dat");
    WriteText(app / "scenario.txt", Scenario());
    const fs::path transcript = app / "transcript.jsonl";
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_SCENARIO", (app / "scenario.txt").c_str());
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_TRANSCRIPT", transcript.c_str());
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_NO_HASH", L"1");  // still read to the end
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_CHROMIUM", nullptr);

    Phases phases;
    const bool ran = RunAndSample((app / "WebView2Wrapper.exe").wstring(), transcript, phases);
    const bool right = ran && AnswersAreRight(transcript);
    std::sort(phases.idle.begin(), phases.idle.end());
    const std::uint64_t idle = phases.idle.empty() ? 0 : phases.idle[phases.idle.size() / 2];
    std::printf(
        "Host memory under Wine: a scripted page asks for a bundled %.0f MiB video, bytes=0- and\n"
        "then %d seeks, and reads every body to its end (the host's private bytes, sampled)\n",
        MiB(kMovieBytes), kSeeks);
    if (!right || phases.idle.empty() || phases.peak == 0) {
        std::printf("no figure: the run %s\n", right ? "gave no samples" : "went wrong");
        return 1;
    }
    const double above = MiB(phases.peak > idle ? phases.peak - idle : 0);
    std::printf(
        "idle %.1f MiB, peak %.1f MiB, peak above idle %.1f MiB (%zu idle samples); "
        "%d answers served and read in %.2f s\n",
        MiB(idle), MiB(phases.peak), above, phases.idle.size(), kSeeks + 1, phases.servingSeconds);
    std::printf("aim: under %.0f MiB above the idle host: %s\n", kAimMiB,
                above < kAimMiB ? "met" : "not met");
    std::error_code ignored;
    fs::remove_all(app, ignored);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        const int code = Run(argc, argv);
        std::fflush(stdout);
        return code;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "host memory bench failed: %s\n", error.what());
        return 2;
    }
}
