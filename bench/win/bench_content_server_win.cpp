// Serving speed of the content server: the host's real request handler answers requests for
// bundle files and loose files, whole and by ranges, with responses made by the substitute
// runtime's environment; each answer is timed from handler entry to the end of reading its body
// stream and compared with a plain memcpy of the same bytes measured in the same run.
//
// Bundle answers are measured twice, side by side: "in place", the host as it runs (the body
// streams share the bundle's file and read the requested bytes from it by position, so that a read
// error is reported rather than raised), and "copy", the same handler for a bundle without a
// mapping owner, which copies the bytes into memory when the answer is made.
//
// Usage: bench_content_server.exe [LOADER_DLL]
//   LOADER_DLL defaults to WRAPPER_SUBSTITUTE_DLL, else ..\..\substitute\WebView2Loader.dll from
//   this program's folder (the build tree's layout).
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/startup_win.h"
#include "bundle/asset_bundle.h"
#include "bundle/bundle_writer.h"
#include "config/app_config.h"
#include "bench_main_win.h"
#include "support/resource_requests_win.h"

namespace {

namespace fs = std::filesystem;
using namespace resource_requests;

// ---------------------------------------------------------------------------------------------
// Timing.

double Frequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

double Now() {
    static const double frequency = Frequency();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Case {
    std::string name;
    VeltraWebView* host;
    std::string key;
    std::string range;     // empty: whole file
    std::string expected;  // the body bytes
    int status;
};

struct Result {
    std::vector<double> responses;   // handler entry to the end of the body, one per request
    std::vector<double> copies;      // one memcpy of the body's size, per batch
    std::vector<double> memStreams;  // a memory stream of the same bytes read to its end
    double servingSeconds = 0;
    std::size_t served = 0;
};

constexpr std::size_t kReadChunk = 64 * 1024;  // what a reader of the body asks for at a time
constexpr double kBatchSeconds = 0.1;
constexpr int kRounds = 7;

class Bench {
public:
    explicit Bench(std::size_t largest) : destination_(largest), source_(largest) {}

    // One request, answered and read to its end. Returns false when the answer is wrong.
    bool Serve(const Case& c, double* window) {
        ComPtr<RequestedArgs> args(new RequestedArgs(ComPtr<ICoreWebView2WebResourceRequest>(
            new Request(ToWide(kOrigin + c.key), ToWide(c.range)))));
        const double start = Now();
        OnWebResourceRequested(*c.host, args.Get());
        ICoreWebView2WebResourceResponse* response = args->Response();
        ComPtr<IStream> body;
        if (response != nullptr) response->get_Content(&body);
        const std::size_t length = body != nullptr ? ReadToEnd(body.Get()) : 0;
        body.Reset();
        *window = Now() - start;
        int status = 0;
        if (response != nullptr) response->get_StatusCode(&status);
        return status == c.status && length == c.expected.size() &&
               std::memcmp(destination_.data(), c.expected.data(), length) == 0;
    }

    // One batch of requests for the case, then the copy and memory-stream baselines of its size.
    bool MeasureBatch(const Case& c, Result& result) {
        double window = 0;
        const double batchStart = Now();
        do {
            if (!Serve(c, &window)) return false;
            result.responses.push_back(window);
            ++result.served;
        } while (Now() - batchStart < kBatchSeconds);
        result.servingSeconds += Now() - batchStart;
        std::memcpy(source_.data(), c.expected.data(), c.expected.size());
        result.copies.push_back(CopyTime(c.expected.size()));
        result.memStreams.push_back(MemStreamTime(c.expected.size()));
        return true;
    }

private:
    // Reads the stream to its end (or until the destination is full); returns the byte count.
    std::size_t ReadToEnd(IStream* stream) {
        std::size_t length = 0;
        while (length < destination_.size()) {
            ULONG read = 0;
            const std::size_t room = std::min(kReadChunk, destination_.size() - length);
            if (FAILED(
                    stream->Read(destination_.data() + length, static_cast<ULONG>(room), &read)) ||
                read == 0) {
                break;
            }
            length += read;
        }
        return length;
    }

    // The platform's part of a copied bundle answer alone: SHCreateMemStream over the bytes (its
    // copy), then the stream read to its end.
    double MemStreamTime(std::size_t size) {
        std::vector<double> times;
        const double batchStart = Now();
        do {
            const double start = Now();
            IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(source_.data()),
                                                static_cast<UINT>(size));
            if (stream == nullptr) return 0;
            ReadToEnd(stream);
            times.push_back(Now() - start);
            stream->Release();
        } while (Now() - batchStart < kBatchSeconds / 4);
        return Median(times);
    }

    // One memcpy of `size` bytes, timed over enough repeats to be far above the clock's step;
    // the median of several such batches.
    double CopyTime(std::size_t size) {
        std::vector<double> perCopy;
        const double batchStart = Now();
        do {
            int repeats = 0;
            const double start = Now();
            double elapsed = 0;
            do {
                std::memcpy(destination_.data(), source_.data(), size);
                // Keep the copy from being dropped or merged with the next one.
                asm volatile("" : : "r"(destination_.data()) : "memory");
                ++repeats;
                elapsed = Now() - start;
            } while (elapsed < 0.0005);
            perCopy.push_back(elapsed / repeats);
        } while (Now() - batchStart < kBatchSeconds / 4);
        return Median(perCopy);
    }

    std::vector<char> destination_;
    std::vector<char> source_;
};

std::string Pattern(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 31 + seed) ^ (i >> 8));
    }
    return bytes;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Run(int argc, wchar_t** argv) {
    // The substitute reads its switches when the environment is created: no transcript, no
    // scenario, and no hashing of bodies (this program reads them itself anyway).
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_TRANSCRIPT", nullptr);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_SCENARIO", nullptr);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_NO_HASH", L"1");

    WebView2Loader loader;
    const std::string loaderFolder = SubstituteFolder(argc > 1 ? argv[1] : L"");
    if (!loader.Load(loaderFolder)) {
        std::fprintf(stderr, "cannot load the loader library from \"%s\"\n", loaderFolder.c_str());
        return 2;
    }

    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const fs::path work =
        fs::path(temp) / ("wrapper-content-bench-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(work);
    fs::create_directories(work / "www");

    const std::size_t kSmall = 4 * 1024;
    const std::size_t kLarge = 1024 * 1024;
    const std::string small = Pattern(kSmall, 1);
    const std::string large = Pattern(kLarge, 2);
    WriteBytes(work / "www" / "loose-4k.bin", small);
    WriteBytes(work / "www" / "loose-1m.bin", large);
    WriteBytes(work / "www" / "assets.dat",
               EncodeBundle({{"bundle-4k.bin", small}, {"bundle-1m.bin", large}}));
    const std::string folder = ToNarrow(work.wstring()) + "\\";
    AssetBundle bundle;
    bool loaded = false;
    std::shared_ptr<const SharedMapping> bundleMapping =
        MapBundle(AddLongPathPrefix((work / "www" / "assets.dat").wstring()), bundle, loaded);
    if (!loaded) {
        std::fprintf(stderr, "the bundle did not load\n");
        return 2;
    }

    const ComPtr<ICoreWebView2Environment> environment =
        CreateEnvironment(loader, (work / "user-data").wstring());
    if (environment == nullptr) {
        std::fprintf(stderr, "the substitute gave no environment\n");
        return 2;
    }

    AppConfig config;
    config.name = "content-bench";
    config.main = "index.html";
    const std::string userData = ToNarrow((work / "user-data").wstring());
    // The host as it runs, and the same handler with the bundle copied into memory streams.
    VeltraWebView inPlace(&config, &bundle, nullptr, folder, "www\\", nullptr, userData);
    inPlace.environment = environment;
    inPlace.bundleMapping = bundleMapping;
    VeltraWebView copying(&config, &bundle, nullptr, folder, "www\\", nullptr, userData);
    copying.environment = environment;

    // Ranges: the middle half of each file, so neither end of the file is a special case.
    const std::string smallRange = "bytes=1024-3071";
    const std::string largeRange = "bytes=262144-786431";
    const std::string smallPart = small.substr(1024, 2048);
    const std::string largePart = large.substr(262144, 524288);
    const std::vector<Case> cases = {
        {"bundle 4 KiB whole, copy", &copying, "bundle-4k.bin", "", small, 200},
        {"bundle 4 KiB whole, in place", &inPlace, "bundle-4k.bin", "", small, 200},
        {"bundle 4 KiB range, copy", &copying, "bundle-4k.bin", smallRange, smallPart, 206},
        {"bundle 4 KiB range, in place", &inPlace, "bundle-4k.bin", smallRange, smallPart, 206},
        {"bundle 1 MiB whole, copy", &copying, "bundle-1m.bin", "", large, 200},
        {"bundle 1 MiB whole, in place", &inPlace, "bundle-1m.bin", "", large, 200},
        {"bundle 1 MiB range, copy", &copying, "bundle-1m.bin", largeRange, largePart, 206},
        {"bundle 1 MiB range, in place", &inPlace, "bundle-1m.bin", largeRange, largePart, 206},
        {"loose 4 KiB whole", &inPlace, "loose-4k.bin", "", small, 200},
        {"loose 4 KiB range", &inPlace, "loose-4k.bin", smallRange, smallPart, 206},
        {"loose 1 MiB whole", &inPlace, "loose-1m.bin", "", large, 200},
        {"loose 1 MiB range", &inPlace, "loose-1m.bin", largeRange, largePart, 206},
    };

    std::printf(
        "Content server under Wine: handler entry to the end of the body, against a memcpy of\n"
        "the same bytes; \"memstream\" is SHCreateMemStream over those bytes read to its end, the\n"
        "platform's share of a copied answer (medians of %d interleaved rounds; timer %.0f Hz)\n",
        kRounds, Frequency());
    std::printf("%-30s %9s %11s %12s %10s %13s %6s %9s\n", "case", "bytes", "requests/s",
                "response us", "memcpy us", "memstream us", "ratio", "mem ratio");
    Bench bench(kLarge);
    std::vector<Result> results(cases.size());
    std::vector<bool> wrong(cases.size(), false);
    double window = 0;
    for (const Case& c : cases) {
        for (int i = 0; i < 3; ++i) bench.Serve(c, &window);  // warm up
    }
    // Rounds go through every case in turn, so the two ways of a bundle answer meet the same
    // state of the machine.
    for (int round = 0; round < kRounds; ++round) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            if (!wrong[i] && !bench.MeasureBatch(cases[i], results[i])) wrong[i] = true;
        }
    }
    int failures = 0;
    double inPlaceRatio = 0;
    double copyRatio = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        if (wrong[i]) {
            std::printf("%-30s wrong answer\n", c.name.c_str());
            ++failures;
            continue;
        }
        const Result& r = results[i];
        const double response = Median(r.responses);
        const double copy = Median(r.copies);
        const double memStream = Median(r.memStreams);
        const double ratio = response / copy;
        if (c.key == "bundle-1m.bin" && c.range.empty()) {
            (c.host == &inPlace ? inPlaceRatio : copyRatio) = ratio;
        }
        std::printf("%-30s %9zu %11.0f %12.2f %10.3f %13.2f %6.1f %9.1f\n", c.name.c_str(),
                    c.expected.size(), static_cast<double>(r.served) / r.servingSeconds,
                    response * 1e6, copy * 1e6, memStream * 1e6, ratio, memStream / copy);
    }
    std::printf("1 MiB bundle answer against its memcpy: copy %.1fx, in place %.1fx\n", copyRatio,
                inPlaceRatio);
    std::printf("aim: in place within 1.5x its memcpy: %s\n",
                inPlaceRatio > 0 && inPlaceRatio <= 1.5 ? "met" : "not met");

    inPlace.CloseMappedFiles();
    copying.CloseMappedFiles();
    bundleMapping.reset();
    inPlace.environment.Reset();
    copying.environment.Reset();
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunBenchmark("content server bench", [&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        return Run(argc, argv);
    });
}
