#include "packager/bundle_tool.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <ostream>
#include <system_error>

#include "packager/app_init.h"
#include "packager/app_packager.h"
#include "bundle/asset_bundle.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "usage: wrapper-bundle pack <folder> <out.dat>\n"
    "       wrapper-bundle list <bundle>\n"
    "       wrapper-bundle verify <bundle>\n"
    "       wrapper-bundle package APP_DIR OUT_DIR [options]   (package --help lists them)\n"
    "       wrapper-bundle init APP_DIR\n";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A bundle file attached to a reader in stream mode: loading reads only the header, the chunk
// headers and the directory, so no file content is read.
class OpenBundle {
public:
    // Throws BundleOpenError when the file cannot be opened.
    explicit OpenBundle(const fs::path& path) {
        const std::string name = Utf8FromPath(path);
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) throw BundleOpenError(name + ": not a file");
        const std::uint64_t size = fs::file_size(path, ec);
#ifdef _WIN32
        file_.reset(_wfopen(path.c_str(), L"rb"));
#else
        file_.reset(std::fopen(path.c_str(), "rb"));
#endif
        if (ec || !file_) throw BundleOpenError(name + ": cannot be opened");
        bundle.readMode = ReadMode::FileStream;
        bundle.stream = file_.get();
        bundle.position = 0;
        bundle.limit = size;
    }

    AssetBundle bundle;

private:
    FilePtr file_;
};

class ProgressLine {
public:
    ProgressLine(std::ostream& err, std::uint64_t threshold) : err_(&err), threshold_(threshold) {}
    void operator()(std::uint64_t done, std::uint64_t total) {
        if (total < threshold_) return;
        const int percent =
            total == 0
                ? 100
                : static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
        if (percent == last_) return;
        last_ = percent;
        *err_ << "\rpacking: " << percent << "% (" << (done >> 20) << " of " << (total >> 20)
              << " MiB)";
        if (percent == 100) *err_ << '\n';
        err_->flush();
    }

private:
    std::ostream* err_;
    std::uint64_t threshold_;
    int last_ = -1;
};

int Pack(const std::string& folder, const std::string& output, std::ostream& out, std::ostream& err,
         std::uint64_t progressThreshold) {
    const PackResult result = PackFolder(PathFromUtf8(folder), PathFromUtf8(output),
                                         PackProgressPrinter(err, progressThreshold));
    out << "packed " << result.fileCount << " files (" << result.contentBytes << " bytes) into "
        << output << '\n';
    return 0;
}

int List(const std::string& name, std::ostream& out) {
    OpenBundle source(PathFromUtf8(name));
    source.bundle.Load();
    for (const auto& [fileName, entry] : source.bundle.files) {
        out << fileName << '\t' << entry.offset << '\t' << entry.size << '\n';
    }
    return 0;
}

int Verify(const std::string& name, std::ostream& out) {
    const BundleSummary summary = SummariseBundleFile(PathFromUtf8(name));
    out << "ok: " << summary.files << " files, " << summary.bytes << " bytes\n";
    return 0;
}

int Package(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            const fs::path& toolFolder) {
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    for (const std::string& arg : rest) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            out << kPackageUsage << kPackageHelp;
            return 0;
        }
    }
    PackageOptions options;
    const std::string problem = ParsePackageArguments(rest, options);
    if (!problem.empty()) {
        err << "wrapper-bundle: " << problem << '\n' << kPackageUsage;
        return 2;
    }
    return RunPackage(options, toolFolder, out, err);
}

}  // namespace

BundleProgress PackProgressPrinter(std::ostream& err, std::uint64_t threshold) {
    return ProgressLine(err, threshold);
}

BundleSummary SummariseBundleFile(const fs::path& path) {
    OpenBundle source(path);
    source.bundle.Load();
    BundleSummary summary;
    summary.files = source.bundle.files.size();
    for (const auto& entry : source.bundle.files) summary.bytes += entry.second.size;
    return summary;
}

int RunBundleTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  std::uint64_t progressThreshold, const fs::path& toolFolder) {
    const std::string command = args.empty() ? "" : args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "package") return Package(args, out, err, toolFolder);
    if (command == "init") return RunInit({args.begin() + 1, args.end()}, out, err);
    try {
        if (command == "pack" && args.size() == 3)
            return Pack(args[1], args[2], out, err, progressThreshold);
        if (command == "list" && args.size() == 2) return List(args[1], out);
        if (command == "verify" && args.size() == 2) return Verify(args[1], out);
    } catch (const BundleOpenError& e) {
        err << e.what() << '\n';
        return 1;
    } catch (const BundleWriteError& e) {
        err << "wrapper-bundle: " << e.what() << '\n';
        return 1;
    } catch (const std::exception& e) {
        // The reader's own message, exactly as the host would get it.
        err << e.what() << '\n';
        return 1;
    }
    err << kUsage;
    return 2;
}
