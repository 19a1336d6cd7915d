// Memory of the host while it serves large bundled media: the real WebView2Wrapper.exe runs with
// the substitute runtime, and its private bytes are sampled from this process every millisecond or
// so. The figure is the peak while the media is served, above the idle host before it.
//
// 1. Scripted page: a 1 GiB bundled video (a sparse bundle) asked for as a media element does,
//    "bytes=0-" first and then ten seeks ("bytes=N-"); the substitute reads each body whole into
//    memory, as the runtime does.
// 2. Chromium (when WRAPPER_SUBSTITUTE_CHROMIUM names a running session): a real page plays a
//    bundled 1 GiB WebM (the clip named by WRAPPER_BENCH_WEBM_CLIP repeated, with empty space
//    between its clusters) for about 5 s and seeks twice. The driver forwards each whole answer
//    base64-encoded, so its copies are in the figure.
// Each part also reports the runtime's reader peak: the largest body it held in memory at once
// (the substitute's "readerPeak"). Run it with an older host to compare how it answers ranges.
//
// Usage: bench_host_memory.exe [HOST_EXE [LOADER_DLL]]
//   HOST_EXE defaults to ..\..\WebView2Wrapper.exe from this program's folder, LOADER_DLL as for
//   the content server benchmark. Give another build's host to compare.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "app/paths_win.h"
#include "bundle/bundle_writer.h"
#include "bench_main_win.h"
#include "support/resource_requests_win.h"

namespace {

namespace fs = std::filesystem;

constexpr double kAimMiB = 32;
constexpr char kPage[] = "<!doctype html><title>memory bench</title>";

double MiB(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// The bytes of a file, stored piece by piece: what lies between pieces is never written (the
// file is sparse there and reads as zeros).
struct SparseFile {
    std::uint64_t size = 0;
    std::vector<std::pair<std::uint64_t, std::string>> pieces;  // offset, bytes
};

// A bundle of the start page and one large file, written without the large file's empty space.
void WriteBundle(const fs::path& path, const std::string& page, const std::string& name,
                 const SparseFile& file) {
    const std::string prefix = EncodeBundlePrefix({{"index.html", page.size()}, {name, file.size}});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    const std::uint64_t start = prefix.size() + page.size();
    for (const auto& [offset, bytes] : file.pieces) {
        out.seekp(static_cast<std::streamoff>(start + offset));
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // The last byte fixes the file's length even when the file ends in empty space.
    out.seekp(static_cast<std::streamoff>(start + file.size - 1));
    char last = 0;
    for (const auto& [offset, bytes] : file.pieces) {
        if (offset + bytes.size() == file.size) last = bytes.back();
    }
    out.write(&last, 1);
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

// ---------------------------------------------------------------------------------------------
// Sampling.

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

std::wstring EnvironmentVariable(const wchar_t* name) {
    wchar_t value[MAX_PATH * 4];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH * 4);
    return length > 0 && length < MAX_PATH * 4 ? std::wstring(value, length) : std::wstring();
}

enum class Phase { Starting, Idle, Measured };

struct Samples {
    std::vector<std::uint64_t> idle;
    std::uint64_t peak = 0;      // the largest sample of the measured phase
    double measuredSeconds = 0;  // from its start to the transcript's last line
    std::string transcript;      // as the host left it
};

// Runs the host (`exe`, in its own folder) to its end, sampling its private bytes; `phaseOf`
// tells from the transcript so far which phase the run is in.
bool RunAndSample(const fs::path& exe, const fs::path& transcript,
                  const std::function<Phase(const std::string&)>& phaseOf, Samples& samples) {
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_TRANSCRIPT", transcript.c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        exe.parent_path().c_str(), &startup, &process)) {
        std::fprintf(stderr, "cannot start the host (error %lu)\n", GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    const ULONGLONG deadline = GetTickCount64() + 300000;
    std::uintmax_t seenSize = 0;
    Phase phase = Phase::Starting;
    ULONGLONG measuredStart = 0;
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
            phase = phaseOf(ReadText(transcript));
            if (phase == Phase::Measured) {
                if (measuredStart == 0) measuredStart = GetTickCount64();
                samples.measuredSeconds =
                    static_cast<double>(GetTickCount64() - measuredStart) / 1000;
            }
        }
        const std::uint64_t sample = PrivateBytes(process.hProcess);
        if (phase == Phase::Idle) samples.idle.push_back(sample);
        if (phase == Phase::Measured) samples.peak = std::max(samples.peak, sample);
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    samples.transcript = ReadText(transcript);
    if (exitCode != 0) std::fprintf(stderr, "the host ended with %lu\n", exitCode);
    return exitCode == 0;
}

// Prints idle, peak and their difference; false when there is no figure.
bool Report(const Samples& samples, const char* what) {
    if (samples.idle.empty() || samples.peak == 0) {
        std::printf("%s: no figure (no samples)\n", what);
        return false;
    }
    std::vector<std::uint64_t> idle = samples.idle;
    std::sort(idle.begin(), idle.end());
    const std::uint64_t median = idle[idle.size() / 2];
    const double above = MiB(samples.peak > median ? samples.peak - median : 0);
    std::printf(
        "%s: idle %.1f MiB, peak %.1f MiB, peak above idle %.1f MiB (aim under %.0f MiB: "
        "%s)\n",
        what, MiB(median), MiB(samples.peak), above, kAimMiB, above < kAimMiB ? "met" : "not met");
    return true;
}

// An app folder holding the host and the loader; removed at the end.
class BenchApp {
public:
    BenchApp(const std::string& name, const fs::path& hostExe, const std::string& loaderFolder) {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        dir_ = fs::path(temp) / (name + "-" + std::to_string(GetCurrentProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "www");
        std::error_code error;
        fs::copy_file(hostExe, Exe(), error);
        if (!error) {
            fs::copy_file(ToWide(loaderFolder) + L"WebView2Loader.dll", dir_ / "WebView2Loader.dll",
                          error);
        }
        ready_ = !error;
        if (error) {
            std::fprintf(stderr, "cannot copy the host or the loader: %s\n",
                         error.message().c_str());
        }
        WriteText(dir_ / "package.json", R"({"name":"wrapper-memory-bench"})");
    }
    ~BenchApp() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    bool Ready() const { return ready_; }
    const fs::path& Dir() const { return dir_; }
    fs::path Exe() const { return dir_ / "WebView2Wrapper.exe"; }
    fs::path Transcript() const { return dir_ / "transcript.jsonl"; }

private:
    fs::path dir_;
    bool ready_ = false;
};

// ---------------------------------------------------------------------------------------------
// 1. The scripted page.

constexpr std::uint64_t kMovieBytes = std::uint64_t{1} << 30;
constexpr int kSeeks = 10;

std::uint64_t SeekPosition(int seek) { return kMovieBytes / (kSeeks + 1) * seek; }

// The transcript's whole lines that parse.
std::vector<nlohmann::json> TranscriptLines(const std::string& transcript) {
    std::vector<nlohmann::json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = transcript.find('\n', start)) != std::string::npos;
         start = end + 1) {
        nlohmann::json entry =
            nlohmann::json::parse(transcript.substr(start, end - start), nullptr, false);
        if (!entry.is_discarded()) lines.push_back(std::move(entry));
    }
    return lines;
}

// The most memory the runtime's reader held for one body, over the run's answers.
std::uint64_t ReaderPeak(const std::string& transcript) {
    std::uint64_t peak = 0;
    for (const nlohmann::json& entry : TranscriptLines(transcript)) {
        if (entry.value("type", "") == "response")
            peak = std::max(peak, entry.value("readerPeak", std::uint64_t{0}));
    }
    return peak;
}

// Every request got its 206 from its position, with as many bytes as its Content-Range says
// (the rest of the movie, or a piece of it), read to its end.
bool ScriptedAnswersAreRight(const std::string& transcript) {
    int checked = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = transcript.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = transcript.substr(start, end - start);
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_discarded() || entry.value("type", "") != "response" ||
            entry.value("uri", "").find("movie.webm") == std::string::npos) {
            continue;
        }
        unsigned long long first = 0, last = 0, total = 0;
        bool ranged = false;
        for (const auto& header : entry.value("headers", nlohmann::json::array())) {
            if (header.is_string() &&
                std::sscanf(header.get<std::string>().c_str(),
                            "Content-Range: bytes %llu-%llu/%llu", &first, &last, &total) == 3)
                ranged = true;
        }
        if (entry.value("status", 0) != 206 || !ranged || first != SeekPosition(checked) ||
            total != kMovieBytes || entry["body"].value("length", 0ull) != last - first + 1) {
            std::fprintf(stderr, "wrong answer: %s\n", line.substr(0, 300).c_str());
            return false;
        }
        ++checked;
    }
    return checked == kSeeks + 1;
}

bool MeasureScripted(const fs::path& hostExe, const std::string& loaderFolder) {
    BenchApp app("wrapper-memory-bench", hostExe, loaderFolder);
    if (!app.Ready()) return false;
    const std::string end = "the last bytes of the movie";
    WriteBundle(app.Dir() / "www" / "assets.dat", kPage, "movie.webm",
                SparseFile{kMovieBytes, {{kMovieBytes - end.size(), end}}});
    std::string scenario = "sleep 2000\n";  // the idle host
    for (int seek = 0; seek <= kSeeks; ++seek) {
        scenario += "request GET https://app.localhost/movie.webm media Range: bytes=" +
                    std::to_string(SeekPosition(seek)) + "-\n";
    }
    WriteText(app.Dir() / "scenario.txt", scenario + "sleep 500\nclose\n");
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_SCENARIO", (app.Dir() / "scenario.txt").c_str());
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_CHROMIUM", nullptr);

    // The first step is the idle pause, the requests follow it.
    const auto phaseOf = [](const std::string& transcript) {
        const std::size_t steps = CountOf(transcript, "\"type\":\"step\"");
        return steps == 0 ? Phase::Starting : steps == 1 ? Phase::Idle : Phase::Measured;
    };
    Samples samples;
    const bool right = RunAndSample(app.Exe(), app.Transcript(), phaseOf, samples) &&
                       ScriptedAnswersAreRight(samples.transcript);
    std::printf(
        "1. scripted page, a bundled %.0f MiB video: bytes=0- and %d seeks, each body "
        "read whole (%s, %.2f s)\n   runtime reader peak: %.1f MiB\n",
        MiB(kMovieBytes), kSeeks, right ? "answers right" : "ANSWERS WRONG",
        samples.measuredSeconds, MiB(ReaderPeak(samples.transcript)));
    return Report(samples, "   host private bytes") && right;
}

// ---------------------------------------------------------------------------------------------
// 2. A real page in Chromium.

// EBML, written with 8-byte sizes and 8-byte unsigned values throughout so that every element's
// length is known before its contents are.
std::string Id(std::uint32_t id) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if ((id >> shift) != 0 || !bytes.empty()) bytes.push_back(static_cast<char>(id >> shift));
    }
    return bytes;
}

std::string Size(std::uint64_t size) {
    std::string bytes(1, '\x01');
    for (int shift = 48; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(size >> shift));
    return bytes;
}

std::string Element(std::uint32_t id, const std::string& contents) {
    return Id(id) + Size(contents.size()) + contents;
}

std::string Unsigned(std::uint32_t id, std::uint64_t value) {
    std::string bytes;
    for (int shift = 56; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(value >> shift));
    return Element(id, bytes);
}

std::string Float(std::uint32_t id, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::string bytes;
    for (int shift = 56; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(bits >> shift));
    return Element(id, bytes);
}

// The top-level children of `bytes[begin, end)`: id, start of the element, start and size of its
// contents. Reading stops at anything malformed.
struct EbmlChild {
    std::uint32_t id;
    std::size_t start, data, size;
};

std::vector<EbmlChild> Children(const std::string& bytes, std::size_t begin, std::size_t end) {
    std::vector<EbmlChild> children;
    std::size_t at = begin;
    const auto width = [&](std::size_t i) {
        int length = 1;
        for (unsigned mask = 0x80; mask != 0 && !(static_cast<unsigned char>(bytes[i]) & mask);
             mask >>= 1) {
            ++length;
        }
        return length;
    };
    while (at < end) {
        const int idLength = width(at);
        if (idLength > 4 || at + idLength >= end) break;
        std::uint32_t id = 0;
        for (int k = 0; k < idLength; ++k) id = id << 8 | static_cast<unsigned char>(bytes[at + k]);
        const std::size_t sizeAt = at + idLength;
        const int sizeLength = width(sizeAt);
        if (sizeLength > 8 || sizeAt + sizeLength > end) break;
        std::uint64_t size = static_cast<unsigned char>(bytes[sizeAt]) & (0xFFu >> sizeLength);
        for (int k = 1; k < sizeLength; ++k)
            size = size << 8 | static_cast<unsigned char>(bytes[sizeAt + k]);
        const std::size_t data = sizeAt + sizeLength;
        if (size > end - data) break;
        children.push_back({id, at, data, static_cast<std::size_t>(size)});
        at = data + size;
    }
    return children;
}

constexpr std::uint32_t kEbml = 0x1A45DFA3, kSegment = 0x18538067, kTracks = 0x1654AE6B,
                        kCluster = 0x1F43B675, kClusterTime = 0xE7, kInfo = 0x1549A966,
                        kCues = 0x1C53BB6B, kVoid = 0xEC;

constexpr int kClipRepeats = 100;
// A cluster and the empty space after it: the movie is kMovieBytes long, give or take its head.
constexpr std::uint64_t kClusterSpacing = kMovieBytes / kClipRepeats;

// The clip (one cluster starting with a key frame) played `kClipRepeats` times in a row: its
// cluster repeated with later times, each followed by empty space (a Void element whose contents
// are never written), with cues for seeking. Empty when the clip cannot be read.
SparseFile LongWebm(const std::string& clip, double* seconds) {
    const std::vector<EbmlChild> top = Children(clip, 0, clip.size());
    if (top.size() < 2 || top[0].id != kEbml || top[1].id != kSegment) return {};
    std::string tracks;
    std::string blocks;
    std::uint64_t clipMs = 0;
    for (const EbmlChild& child : Children(clip, top[1].data, top[1].data + top[1].size)) {
        if (child.id == kTracks)
            tracks = clip.substr(child.start, child.data + child.size - child.start);
        if (child.id == kInfo) {
            for (const EbmlChild& info : Children(clip, child.data, child.data + child.size)) {
                if (info.id == 0x4489 && info.size == 8) {  // Duration, a double of milliseconds
                    std::uint64_t bits = 0;
                    for (std::size_t k = 0; k < 8; ++k)
                        bits = bits << 8 | static_cast<unsigned char>(clip[info.data + k]);
                    double value = 0;
                    std::memcpy(&value, &bits, sizeof value);
                    clipMs = static_cast<std::uint64_t>(value);
                }
            }
        }
        if (child.id == kCluster && blocks.empty()) {
            for (const EbmlChild& block : Children(clip, child.data, child.data + child.size)) {
                if (block.id != kClusterTime)
                    blocks += clip.substr(block.start, block.data + block.size - block.start);
            }
        }
    }
    if (tracks.empty() || blocks.empty() || clipMs == 0) return {};
    *seconds = static_cast<double>(clipMs * kClipRepeats) / 1000;

    const std::string header = clip.substr(top[0].start, top[0].data + top[0].size - top[0].start);
    const std::string info =
        Element(kInfo, Unsigned(0x2AD7B1, 1000000) +
                           Float(0x4489, static_cast<double>(clipMs * kClipRepeats)));
    const auto cuePoint = [](std::uint64_t ms, std::uint64_t position) {
        return Element(
            0xBB, Unsigned(0xB3, ms) + Element(0xB7, Unsigned(0xF7, 1) + Unsigned(0xF1, position)));
    };
    const std::size_t cuesSize = Id(kCues).size() + 8 + kClipRepeats * cuePoint(0, 0).size();
    const std::uint64_t firstCluster = info.size() + tracks.size() + cuesSize;
    std::string cues;
    for (int k = 0; k < kClipRepeats; ++k)
        cues += cuePoint(clipMs * k, firstCluster + k * kClusterSpacing);
    cues = Element(kCues, cues);

    SparseFile file;
    const std::string segmentHead =
        Id(kSegment) + Size(firstCluster + kClipRepeats * kClusterSpacing);
    file.pieces.push_back({0, header + segmentHead + info + tracks + cues});
    const std::uint64_t segmentData = header.size() + segmentHead.size();
    for (int k = 0; k < kClipRepeats; ++k) {
        std::string cluster = Element(kCluster, Unsigned(kClusterTime, clipMs * k) + blocks);
        const std::uint64_t space = kClusterSpacing - cluster.size() - Id(kVoid).size() - 8;
        cluster += Id(kVoid) + Size(space);
        file.pieces.push_back({segmentData + firstCluster + k * kClusterSpacing, cluster});
    }
    file.size = segmentData + firstCluster + kClipRepeats * kClusterSpacing;
    return file;
}

// Waits 3 s (the idle host), then plays the movie: 2 s, a seek, 1.5 s, another seek, 1.5 s; then
// reports and closes the window (or gives up after 60 s).
constexpr char kPlayerPage[] = R"(<!doctype html><title>memory bench</title>
<video id="movie" muted playsinline></video>
<script>
const post = (text) => chrome.webview.postMessage(text);
const movie = document.getElementById('movie');
let seeks = 0, finished = false;
const finish = (why) => {
  if (finished) return;
  finished = true;
  post('done ' + why + ' at ' + movie.currentTime.toFixed(2) + ' s, error ' +
       (movie.error ? movie.error.code : 'none'));
  setTimeout(() => window.close(), 200);
};
movie.addEventListener('playing', () => {
  if (seeks === 0) setTimeout(() => { seeks = 1; movie.currentTime = movie.duration * 0.4; }, 2000);
}, { once: true });
movie.addEventListener('seeked', () => {
  if (seeks === 1) setTimeout(() => { seeks = 2; movie.currentTime = movie.duration * 0.8; }, 1500);
  else if (seeks === 2) setTimeout(() => finish('played'), 1500);
});
movie.addEventListener('error', () => finish('failed'));
setTimeout(() => {
  post('start');
  movie.src = 'movie.webm';
  movie.play().catch((error) => finish('not played: ' + error));
  setTimeout(() => finish('timed out'), 60000);
}, 3000);
</script>
)";

// The page's last report, and the movie's answers: how many, and how many bytes their bodies had.
std::string PlayerSummary(const std::string& transcript) {
    std::string done = "no report";
    int answers = 0;
    int partial = 0;
    std::uint64_t bodies = 0;
    for (const nlohmann::json& entry : TranscriptLines(transcript)) {
        if (entry.value("type", "") == "response" &&
            entry.value("uri", "").find("movie.webm") != std::string::npos) {
            ++answers;
            if (entry.value("status", 0) == 206) ++partial;
            if (entry["body"].is_object()) bodies += entry["body"].value("length", 0ull);
        }
        if (entry.value("event", "") == "WebMessageReceived" && entry["string"].is_string() &&
            entry["string"].get<std::string>().rfind("done", 0) == 0) {
            done = entry["string"].get<std::string>();
        }
    }
    return "page: \"" + done + "\"; " + std::to_string(answers) + " answers for the movie (" +
           std::to_string(partial) + " of them 206), " +
           std::to_string(static_cast<long long>(MiB(bodies))) +
           " MiB of bodies read; runtime reader peak " +
           std::to_string(static_cast<long long>(MiB(ReaderPeak(transcript)))) + " MiB";
}

bool MeasureChromium(const fs::path& hostExe, const std::string& loaderFolder,
                     const std::wstring& endpoint, const std::wstring& clipPath) {
    std::ifstream in(fs::path(clipPath), std::ios::binary);
    const std::string clip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    double seconds = 0;
    const SparseFile movie = LongWebm(clip, &seconds);
    if (movie.size == 0) {
        std::printf(
            "2. Chromium: skipped, no WebM clip to build the movie from "
            "(WRAPPER_BENCH_WEBM_CLIP)\n");
        return false;
    }
    BenchApp app("wrapper-memory-bench-chromium", hostExe, loaderFolder);
    if (!app.Ready()) return false;
    WriteBundle(app.Dir() / "www" / "assets.dat", kPlayerPage, "movie.webm", movie);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_SCENARIO", nullptr);
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_CHROMIUM", endpoint.c_str());

    // Idle from the page's DOMContentLoaded to its "start", measured from then on.
    const auto phaseOf = [](const std::string& transcript) {
        if (transcript.find("\"string\":\"start\"") != std::string::npos) return Phase::Measured;
        if (transcript.find("\"event\":\"DOMContentLoaded\"") != std::string::npos) {
            return Phase::Idle;
        }
        return Phase::Starting;
    };
    Samples samples;
    const bool ran = RunAndSample(app.Exe(), app.Transcript(), phaseOf, samples);
    std::printf(
        "2. Chromium page plays a bundled %.0f MiB WebM (%.0f s long) for about 5 s and "
        "seeks twice (%.2f s)\n   %s\n",
        MiB(movie.size), seconds, samples.measuredSeconds,
        PlayerSummary(samples.transcript).c_str());
    return Report(samples, "   host private bytes") && ran;
}

int Run(int argc, wchar_t** argv) {
    const fs::path hostExe =
        argc > 1 ? fs::path(argv[1])
                 : fs::path(resource_requests::ModuleFolder() + L"..\\..\\WebView2Wrapper.exe");
    const std::string loaderFolder = resource_requests::SubstituteFolder(argc > 2 ? argv[2] : L"");
    const std::wstring endpoint = EnvironmentVariable(L"WRAPPER_SUBSTITUTE_CHROMIUM");
    const std::wstring clip = EnvironmentVariable(L"WRAPPER_BENCH_WEBM_CLIP");
    // Bodies are still read to their end, but not hashed.
    SetEnvironmentVariableW(L"WRAPPER_SUBSTITUTE_NO_HASH", L"1");

    std::printf(
        "Host memory under Wine: the host's private bytes, sampled while it serves large\n"
        "bundled media, against the idle host before (median of the idle samples)\n");
    bool ok = MeasureScripted(hostExe, loaderFolder);
    if (endpoint.empty()) {
        std::printf("2. Chromium: skipped, no session (WRAPPER_SUBSTITUTE_CHROMIUM)\n");
    } else {
        ok = MeasureChromium(hostExe, loaderFolder, endpoint, clip) && ok;
    }
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunBenchmark("host memory bench", [&] { return Run(argc, argv); });
}
