// Start-up cost of the host under Wine: the time from the host's process start to its request
// for the WebView2 environment (the environment-creation call, seen in the substitute
// runtime's transcript) and to its window shown (found by class and visible), for an app whose
// bundle holds 10 or 10,000 files, without and with the sample extension, and as one file (the
// settings and bundle inside the host) against that folder layout. The baseline is a bare
// window program (bare_window.exe: registers a class, creates and shows a window) started the
// same way in the same run. The programs take turns, round after round (each round starting with
// another one), and each figure is the median of the rounds and the fastest run; the first round
// warms Wine up and is not counted. In the warm-up round each program is closed and must end with
// exit code 0; in the counted rounds it is ended once measured, because without a window manager
// Wine waits 2 s for the X server on every window hidden at exit, which would leave room for few
// rounds.
//
// The host's overhead is its time minus the bare program's time to its window shown (each as the
// median, or each as the fastest run), and the median of the rounds' differences: each run minus
// the bare program's run in the same round, which leaves out what slowed a whole round. To the environment request it is the host's own start-up
// (settings, user-data folder, GDI+, icon, runtime check, bundle, extension, window, WebView2
// loader); to the window shown it adds the runtime's navigation and the host's answer to the
// page's document request.
//
// Usage: bench_startup.exe [HOST_EXE [LOADER_DLL]] [--against EARLIER_HOST_EXE] [--raw CSV_FILE]
//   HOST_EXE defaults to the release host (..\..\..\release\WebView2Wrapper.exe from this
//   program's folder) when it is built, else the test tree's (..\..\WebView2Wrapper.exe);
//   LOADER_DLL as for the content server benchmark. With --against, an earlier build of the host
//   takes its turns in the same rounds with the 10,000-file app (without and with the extension),
//   so that a change is measured before and after on the same machine in the same run. With
//   --raw, every counted run's figures are written to the file as well.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/paths_win.h"
#include "bundle/one_file.h"
#include "bundle/bundle_writer.h"
#include "bench_main_win.h"
#include "support/resource_requests_win.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 60;  // counted rounds, after one warm-up round
// The pause after each run, while Wine and the X server finish the work an ended process leaves
// them, which would otherwise fall into the next program's start.
constexpr DWORD kSettleMs = 250;
constexpr double kAimMs = 20;
constexpr DWORD kTimeoutMs = 30000;
constexpr wchar_t kHostClass[] = L"WindowsWebview2Wrapper";
constexpr wchar_t kBareClass[] = L"WrapperBenchBareWindow";
// The request as our loader records it, and as the runtime's client library records the call the
// vendor's loader (linked into the release host) makes.
constexpr const char* kEnvironmentCalls[] = {"\"CreateCoreWebView2EnvironmentWithOptions\"",
                                             "\"CreateWebViewEnvironmentWithOptionsInternal\""};

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

double Median(std::vector<double> values) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Fastest(std::vector<double> values) {
    return values.empty() ? -1 : *std::min_element(values.begin(), values.end());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A bundle of `count` files: the start page and the files of a game's assets (scripts, images,
// sounds, data), 64 bytes to 4 KiB each, in the byte order of their names as the packer writes
// them.
std::string MakeBundle(int count) {
    std::vector<std::pair<std::string, std::string>> files = {
        {"index.html", "<!doctype html><title>start-up bench</title><p>ready</p>"}};
    const char* const kinds[] = {"js/module", "img/sprite", "audio/clip", "data/level"};
    const char* const extensions[] = {".js", ".png", ".ogg", ".json"};
    for (int i = 1; i < count; ++i) {
        const std::string name = std::string(kinds[i % 4]) + std::to_string(i) + extensions[i % 4];
        files.emplace_back(name,
                           std::string(64 + (i * 37) % 4032, static_cast<char>('a' + i % 26)));
    }
    std::sort(files.begin(), files.end());
    return EncodeBundle(files);
}

// One program under test: its folder and the class of the window it shows.
struct Subject {
    std::string name;
    fs::path exe;
    const wchar_t* windowClass;
    bool host;  // writes a transcript through the substitute runtime
    std::wstring argument;
    int files;  // in the host's bundle
    std::vector<double> environment, shown;
    int failures = 0;
    bool skipped = false;  // failed its warm-up run
    std::vector<int> rounds{};  // the round of each pair of figures in environment and shown
    double pairedEnvironment = -1, pairedShown = -1;  // medians of the rounds' differences
};

// The median of `figures` (of `subject`) minus the baseline's time to its window shown in the same
// round, over the rounds both have a figure for; -1 without any.
double PairedMedian(const Subject& subject, const std::vector<double>& figures,
                    const Subject& baseline) {
    std::vector<double> differences;
    for (std::size_t i = 0; i < subject.rounds.size(); ++i) {
        const auto same = std::find(baseline.rounds.begin(), baseline.rounds.end(),
                                    subject.rounds[i]);
        if (same == baseline.rounds.end()) continue;
        differences.push_back(figures[i] - baseline.shown[same - baseline.rounds.begin()]);
    }
    return Median(std::move(differences));
}

// Every run's figures as comma-separated lines (program, round, environment request, window
// shown; -1 where a program makes no environment request), for a closer look.
void WriteRawFigures(const fs::path& path, const std::vector<Subject>& subjects) {
    std::ofstream out(path, std::ios::trunc);
    out << "program,round,environment_ms,shown_ms\n";
    for (const Subject& subject : subjects) {
        for (std::size_t i = 0; i < subject.rounds.size(); ++i) {
            out << '"' << subject.name << "\"," << subject.rounds[i] << ','
                << (subject.host ? subject.environment[i] : -1) << ',' << subject.shown[i] << '\n';
        }
    }
}

// The window of `process` with the class, when it is visible.
HWND VisibleWindowOf(const wchar_t* windowClass, DWORD process) {
    for (HWND window = FindWindowExW(nullptr, nullptr, windowClass, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, windowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process) return IsWindowVisible(window) ? window : nullptr;
    }
    return nullptr;
}

// Starts the program, waits for its environment request (the host) and its window, then closes
// the window and waits for the process to end with exit code 0 (`close`), or ends the process.
// Adds the times in milliseconds; false on failure.
bool RunOnce(Subject& subject, bool close, int round) {
    const fs::path transcript = subject.exe.parent_path() / "transcript.jsonl";
    std::error_code ignored;
    fs::remove(transcript, ignored);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_TRANSCRIPT",
                            subject.host ? transcript.c_str() : nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + subject.exe.wstring() + L"\"";
    if (!subject.argument.empty()) commandLine += L" " + subject.argument;
    const double start = Now();
    if (!CreateProcessW(subject.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        nullptr, subject.exe.parent_path().c_str(), &startup, &process)) {
        std::fprintf(stderr, "%s: cannot start (error %lu)\n", subject.name.c_str(),
                     GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    double environment = subject.host ? -1 : 0;
    double shown = -1;
    HWND window = nullptr;
    std::uintmax_t seenSize = 0;
    // Polled every millisecond: each poll asks Wine's server about windows, and polling without
    // pause kept a core and the server busy while the program under test needed both (the bare
    // program's median and fastest start were each 15 ms slower so).
    while (shown < 0 || environment < 0) {
        if (environment < 0) {
            const std::uintmax_t size = fs::file_size(transcript, ignored);
            if (!ignored && size != seenSize) {
                seenSize = size;
                const std::string lines = ReadFile(transcript);
                for (const char* call : kEnvironmentCalls) {
                    if (environment < 0 && lines.find(call) != std::string::npos)
                        environment = (Now() - start) * 1000;
                }
            }
        }
        if (shown < 0 && (window = VisibleWindowOf(subject.windowClass, process.dwProcessId))) {
            shown = (Now() - start) * 1000;
        }
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_TIMEOUT ||
            (Now() - start) * 1000 > kTimeoutMs) {
            break;
        }
        Sleep(1);
    }
    bool ended = false;
    if (window != nullptr && !close && environment >= 0) {
        ended = TerminateProcess(process.hProcess, 0) != FALSE;
    } else if (window != nullptr) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        ended = WaitForSingleObject(process.hProcess, kTimeoutMs) == WAIT_OBJECT_0;
    }
    if (!ended) TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, kTimeoutMs);
    Sleep(kSettleMs);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    if (shown < 0 || environment < 0 || exitCode != 0) {
        std::fprintf(stderr, "%s: %s (exit code %lu)\n", subject.name.c_str(),
                     shown < 0         ? "no window shown"
                     : environment < 0 ? "no environment request"
                                       : "did not end cleanly",
                     exitCode);
        return false;
    }
    subject.environment.push_back(environment);
    subject.shown.push_back(shown);
    subject.rounds.push_back(round);
    return true;
}

// A folder of its own for each program, under the temporary folder; removed at the end.
class BenchFolder {
public:
    BenchFolder() {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        dir_ = fs::path(temp) / ("wrapper-startup-bench-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    const fs::path& Dir() const { return dir_; }

private:
    fs::path dir_;
};

int Run(int argc, wchar_t** argv) {
    timeBeginPeriod(1);  // millisecond sleeps between polls
    const std::wstring here = resource_requests::ModuleFolder();
    std::vector<std::wstring> positional;
    fs::path earlierExe;
    fs::path raw;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--against" && i + 1 < argc) {
            earlierExe = argv[++i];
        } else if (std::wstring(argv[i]) == L"--raw" && i + 1 < argc) {
            raw = argv[++i];
        } else {
            positional.emplace_back(argv[i]);
        }
    }
    fs::path hostExe = !positional.empty() ? fs::path(positional[0]) : fs::path();
    if (hostExe.empty()) {
        hostExe = here + L"..\\..\\..\\release\\WebView2Wrapper.exe";
        if (!fs::is_regular_file(hostExe)) hostExe = here + L"..\\..\\WebView2Wrapper.exe";
    }
    const std::string loaderFolder =
        resource_requests::SubstituteFolder(positional.size() > 1 ? positional[1].c_str() : L"");
    const fs::path loader = ToWide(loaderFolder) + L"WebView2Loader.dll";
    const fs::path extension = here + L"..\\..\\examples\\extension\\DI2ZozUzoraru.dll";
    const fs::path bare = here + L"bare_window.exe";
    const fs::path bareImports = here + L"bare_window_imports.exe";
    for (const fs::path& needed : {hostExe, loader, extension, bare, bareImports, earlierExe}) {
        if (!needed.empty() && !fs::is_regular_file(needed)) {
            std::fprintf(stderr, "missing %s\n", needed.string().c_str());
            return 1;
        }
    }
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_SCENARIO", nullptr);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_CHROMIUM", nullptr);

    BenchFolder folder;
    std::vector<Subject> subjects;
    const fs::path bareDir = folder.Dir() / "bare";
    fs::create_directories(bareDir);
    fs::copy_file(bare, bareDir / "bare_window.exe");
    fs::copy_file(loader, bareDir / "WebView2Loader.dll");
    fs::copy_file(extension, bareDir / "DI2ZozUzoraru.dll");
    fs::copy_file(bareImports, bareDir / "bare_window_imports.exe");
    // A baseline: a bare program, given the library it loads first (if any) as its argument.
    const auto addBare = [&](const char* name, const char* exe, const wchar_t* library) {
        subjects.push_back({name,
                            bareDir / exe,
                            kBareClass,
                            false,
                            library != nullptr ? (bareDir / library).wstring() : std::wstring(),
                            0,
                            {},
                            {},
                            0});
    };
    addBare("bare window program", "bare_window.exe", nullptr);
    // What loading the loader library alone costs (the vendor's is much smaller than the
    // substitute's, which holds the whole stand-in runtime).
    addBare("bare program + loader library", "bare_window.exe", L"WebView2Loader.dll");
    // What loading the sample extension alone costs: the part of the host's rows with the
    // extension that is the library's own.
    addBare("bare program + extension library", "bare_window.exe", L"DI2ZozUzoraru.dll");
    // What loading the system DLLs the host imports beyond a windowed program's costs (COM, the
    // shell, GDI+): Wine's part of the host's rows that no start-up step of the host's can skip.
    addBare("bare program + the host's system DLLs", "bare_window_imports.exe", nullptr);
    for (const int files : {10, 10000}) {
        const std::string bundle = MakeBundle(files);
        for (const bool earlier : {false, true}) {
            if (earlier && (earlierExe.empty() || files != 10000)) continue;
            for (const bool withExtension : {false, true}) {
                const std::string name = std::string(earlier ? "earlier host, " : "host, ") +
                                         std::to_string(files) + " files" +
                                         (withExtension ? ", extension" : "");
                const fs::path dir =
                    folder.Dir() / (std::string(earlier ? "earlier-" : "host-") +
                                    std::to_string(files) + (withExtension ? "-extension" : ""));
                WriteFile(dir / "www" / "assets.dat", bundle);
                WriteFile(dir / "package.json", R"({"name":"wrapper-startup-bench"})");
                fs::copy_file(earlier ? earlierExe : hostExe, dir / "WebView2Wrapper.exe");
                fs::copy_file(loader, dir / "WebView2Loader.dll");
                if (withExtension) fs::copy_file(extension, dir / "DI2ZozUzoraru.dll");
                subjects.push_back(
                    {name, dir / "WebView2Wrapper.exe", kHostClass, true, {}, files, {}, {}, 0});
            }
        }
        // The same app as one file: the host carrying its settings and bundle, alone in its
        // folder (with the loader library, which a host with the loader inside ignores).
        const fs::path dir = folder.Dir() / ("one-file-" + std::to_string(files));
        std::ifstream in(hostExe, std::ios::binary);
        const std::string host{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        OneFileLayout layout;
        WriteFile(dir / "WebView2Wrapper.exe",
                  host +
                      OneFilePayloadPrefix(host.size(), std::string_view(host).substr(0, 65536),
                                           R"({"name":"wrapper-startup-bench"})", bundle.size(),
                                           layout) +
                      bundle);
        fs::copy_file(loader, dir / "WebView2Loader.dll");
        subjects.push_back({"one file, " + std::to_string(files) + " files",
                            dir / "WebView2Wrapper.exe", kHostClass, true, {}, files, {}, {}, 0});
    }

    std::printf(
        "Start-up under Wine: process start to the environment request and to the window shown,\n"
        "%d rounds after a warm-up round, the programs in turns; host %s\n",
        kRounds, hostExe.string().c_str());
    if (!earlierExe.empty()) std::printf("earlier host %s\n", earlierExe.string().c_str());
    bool ok = true;
    for (int round = 0; round <= kRounds; ++round) {
        // Each round starts with another program, so that none always follows the same one.
        for (std::size_t k = 0; k < subjects.size(); ++k) {
            Subject& subject = subjects[(k + static_cast<std::size_t>(round)) % subjects.size()];
            if (subject.skipped) continue;
            if (round == 0) {
                // A program that fails its warm-up run is left out of the rounds (an older host
                // that cannot start as one file, say), instead of failing each round.
                Subject warmUp = subject;
                if (!RunOnce(warmUp, true, round)) {
                    subject.skipped = true;
                    ok = false;
                }
            } else if (!RunOnce(subject, false, round)) {
                ++subject.failures;
                ok = false;
            }
        }
    }
    // The median shows the usual start, the fastest run the cost with the least interference
    // from the other work of the machine.
    const struct {
        const char* name;
        double (*of)(std::vector<double>);
    } figures[] = {{"median", Median}, {"fastest run", Fastest}};
    for (const auto& figure : figures) {
        const double baseline = figure.of(subjects[0].shown);
        std::printf("\n%-38s %14s %7s %10s %14s %7s %10s\n", figure.name, "environment", "ratio",
                    "over bare", "window shown", "ratio", "over bare");
        for (const Subject& subject : subjects) {
            const double environment = figure.of(subject.environment);
            const double shown = figure.of(subject.shown);
            if (subject.skipped) {
                std::printf("%-38s no figure (failed its warm-up run)\n", subject.name.c_str());
            } else if (shown < 0 || baseline <= 0) {
                std::printf("%-38s no figure (%d of %d runs failed)\n", subject.name.c_str(),
                            subject.failures, kRounds);
            } else if (!subject.host) {
                std::printf("%-38s %14s %7s %10s %11.1f ms %7.2f %7.1f ms\n", subject.name.c_str(),
                            "", "", "", shown, shown / baseline, shown - baseline);
            } else {
                std::printf("%-38s %11.1f ms %7.2f %7.1f ms %11.1f ms %7.2f %7.1f ms\n",
                            subject.name.c_str(), environment, environment / baseline,
                            environment - baseline, shown, shown / baseline, shown - baseline);
            }
        }
    }
    // Paired: each run minus the bare program's run of the same round, so that what slows a
    // whole round (the machine's other work) cancels out; the median of those differences.
    std::printf("\n%-38s %14s %14s\n", "median of the rounds' differences", "environment",
                "window shown");
    const Subject& bareRuns = subjects[0];
    for (Subject& subject : subjects) {
        if (&subject == &bareRuns || subject.skipped) continue;
        subject.pairedEnvironment = PairedMedian(subject, subject.environment, bareRuns);
        subject.pairedShown = PairedMedian(subject, subject.shown, bareRuns);
        if (subject.host) {
            std::printf("%-38s %11.1f ms %11.1f ms\n", subject.name.c_str(),
                        subject.pairedEnvironment, subject.pairedShown);
        } else {
            std::printf("%-38s %14s %11.1f ms\n", subject.name.c_str(), "", subject.pairedShown);
        }
    }
    if (!raw.empty()) WriteRawFigures(raw, subjects);
    // The aim concerns the largest bundle: the host's median overhead beyond the bare program.
    const double baseline = Median(bareRuns.shown);
    std::printf("\n");
    for (const Subject& subject : subjects) {
        const double environment = Median(subject.environment);
        if (!subject.host || subject.files != 10000 || environment < 0 || baseline <= 0) continue;
        const double shown = Median(subject.shown);
        std::printf(
            "%s: median overhead %.1f ms to the environment request, %.1f ms to the window "
            "shown, %.1f ms as the median of the rounds' differences (aim under %.0f ms: %s)\n",
            subject.name.c_str(), environment - baseline, shown - baseline, subject.pairedShown,
            kAimMs, shown - baseline < kAimMs ? "met" : "not met");
    }
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunBenchmark("start-up bench", [&] { return Run(argc, argv); });
}
