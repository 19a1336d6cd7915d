// Asset bundle reader: Load of 100,000 entries beside a plain pass over the same directory bytes,
// FindFile beside a std::map lookup of the same keys, and the resident memory that Load adds
// for a mapped 1 GiB bundle. Ratios against the baselines are printed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bundle/asset_bundle.h"
#include "bundle/bundle_writer.h"

namespace {

constexpr std::size_t kEntries = 100000;

struct BigBundle {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> names;
    std::uint64_t directoryOffset = 0;  // file offset of the "fdir" chunk's data
};

const BigBundle& Bundle100k() {
    static const BigBundle bundle = [] {
        BigBundle b;
        std::vector<std::pair<std::string, std::uint64_t>> namesAndSizes;
        std::uint64_t blob = 0;
        for (std::size_t i = 0; i < kEntries; ++i) {
            const std::string name = "assets/group" + std::to_string(i % 997) + "/file" +
                                     std::to_string(i) +
                                     (i % 3 == 0   ? ".js"
                                      : i % 3 == 1 ? ".png"
                                                   : ".css");
            namesAndSizes.emplace_back(name, i % 512);
            b.names.push_back(name);
            blob += i % 512;
        }
        std::sort(namesAndSizes.begin(), namesAndSizes.end());
        const std::string prefix = EncodeBundlePrefix(namesAndSizes);
        b.bytes.assign(prefix.begin(), prefix.end());
        b.bytes.resize(prefix.size() + blob, 0x5A);
        b.directoryOffset = kBundleHeaderSize + kBundleChunkHeaderSize;
        return b;
    }();
    return bundle;
}

void Attach(AssetBundle& bundle, const std::uint8_t* base, std::uint64_t size) {
    bundle.readMode = ReadMode::Memory;
    bundle.base = base;
    bundle.position = 0;
    bundle.limit = size;
}

void BM_Load100k(benchmark::State& state) {
    const BigBundle& big = Bundle100k();
    for (auto _ : state) {
        auto* bundle = new AssetBundle;
        Attach(*bundle, big.bytes.data(), big.bytes.size());
        bundle->Load();
        benchmark::DoNotOptimize(bundle->files.size());
        state.PauseTiming();
        if (bundle->files.size() != kEntries) state.SkipWithError("wrong entry count");
        delete bundle;
        state.ResumeTiming();
    }
}

std::uint64_t BigEndian(const std::uint8_t* p, int width) {
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | p[i];
    return value;
}

// The least any reader must do: decode every field of every entry once.
void BM_DirectoryPassBaseline(benchmark::State& state) {
    const BigBundle& big = Bundle100k();
    for (auto _ : state) {
        const std::uint8_t* p = big.bytes.data() + big.directoryOffset;
        const std::uint64_t count = BigEndian(p, 4);
        p += 4;
        std::uint64_t sum = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            sum += BigEndian(p, 4) + BigEndian(p + 4, 4) + BigEndian(p + 8, 8) +
                   BigEndian(p + 16, 8) + BigEndian(p + 24, 8) + p[32];
            const std::uint64_t nameLength = BigEndian(p + 33, 4);
            sum += p[37] + nameLength;
            p += kBundleEntryFixedSize + nameLength;
        }
        benchmark::DoNotOptimize(sum);
    }
}

// Names to look up: mostly present, one in eight absent, in random order.
const std::vector<std::string>& LookupKeys() {
    static const std::vector<std::string> keys = [] {
        std::mt19937 engine(42);
        const auto& names = Bundle100k().names;
        std::vector<std::string> k;
        for (int i = 0; i < 4096; ++i) {
            std::string name = names[engine() % names.size()];
            if (i % 8 == 0) name += ".missing";
            k.push_back(std::move(name));
        }
        return k;
    }();
    return keys;
}

void BM_FindFile(benchmark::State& state) {
    const BigBundle& big = Bundle100k();
    AssetBundle bundle;
    Attach(bundle, big.bytes.data(), big.bytes.size());
    bundle.Load();
    const auto& keys = LookupKeys();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bundle.FindFile(keys[i]));
        i = (i + 1) % keys.size();
    }
}

void BM_MapLookupBaseline(benchmark::State& state) {
    std::map<std::string, std::uint64_t> map;
    for (const std::string& name : Bundle100k().names) map.emplace(name, name.size());
    const auto& keys = LookupKeys();
    std::size_t i = 0;
    for (auto _ : state) {
        auto it = map.find(keys[i]);
        benchmark::DoNotOptimize(it);
        i = (i + 1) % keys.size();
    }
}

std::int64_t ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    std::int64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A sparse 1 GiB bundle of 100 files, mapped: Load must touch only the header and directory.
// As a check that the measure sees touched pages, one file is then read through.
void BM_LoadResidentMemory1GiB(benchmark::State& state) {
    const std::uint64_t fileSize = (std::uint64_t{1} << 30) / 100;
    std::vector<std::pair<std::string, std::uint64_t>> namesAndSizes;
    for (int i = 0; i < 100; ++i)
        namesAndSizes.emplace_back("media/clip" + std::to_string(100 + i) + ".bin", fileSize);
    const std::string prefix = EncodeBundlePrefix(namesAndSizes);
    const std::uint64_t total = prefix.size() + 100 * fileSize;
    const std::string path =
        (std::filesystem::temp_directory_path() / "bench-bundle-1gib.dat").string();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(total)) != 0 ||
        pwrite(fd, prefix.data(), prefix.size(), 0) != static_cast<ssize_t>(prefix.size())) {
        state.SkipWithError("cannot create the sparse bundle");
        if (fd >= 0) close(fd);
        return;
    }
    unlink(path.c_str());
    std::int64_t loadGrowth = 0, readGrowth = 0;
    for (auto _ : state) {
        void* view = mmap(nullptr, total, PROT_READ, MAP_SHARED, fd, 0);
        if (view == MAP_FAILED) {
            state.SkipWithError("mmap failed");
            break;
        }
        AssetBundle bundle;
        Attach(bundle, static_cast<const std::uint8_t*>(view), total);
        const std::int64_t before = ResidentKiB();
        bundle.Load();
        const std::int64_t afterLoad = ResidentKiB();
        const BundleFileEntry* entry = bundle.FindFile("media/clip150.bin");
        const std::uint8_t* p = bundle.DataPointer(entry->offset);
        std::uint64_t sum = 0;
        for (std::uint64_t i = 0; i < entry->size; i += 4096) sum += p[i];
        benchmark::DoNotOptimize(sum);
        loadGrowth = afterLoad - before;
        readGrowth = ResidentKiB() - afterLoad;
        munmap(view, total);
    }
    close(fd);
    state.counters["rss_growth_load_KiB"] = static_cast<double>(loadGrowth);
    state.counters["rss_growth_reading_one_file_KiB"] = static_cast<double>(readGrowth);
}

BENCHMARK(BM_Load100k)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_DirectoryPassBaseline)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FindFile)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_MapLookupBaseline)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadResidentMemory1GiB)->Iterations(1)->Unit(benchmark::kMillisecond);

// Keeps the median real time of each benchmark, for the ratios.
class MedianReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

void PrintRatio(const MedianReporter& reporter, const std::string& measured,
                const std::string& baseline) {
    const auto m = reporter.medians.find(measured);
    const auto b = reporter.medians.find(baseline);
    if (m == reporter.medians.end() || b == reporter.medians.end() || b->second <= 0) return;
    std::printf("ratio %s / %s (medians): %.2f\n", measured.c_str(), baseline.c_str(),
                m->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    PrintRatio(reporter, "BM_Load100k", "BM_DirectoryPassBaseline");
    PrintRatio(reporter, "BM_FindFile", "BM_MapLookupBaseline");
    return 0;
}
