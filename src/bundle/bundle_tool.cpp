#include "bundle/bundle_tool.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <ostream>
#include <system_error>

#include "bundle/asset_bundle.h"
#include "bundle/bundle_writer.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "usage: wrapper-bundle pack <folder> <out.dat>\n"
    "       wrapper-bundle list <bundle>\n"
    "       wrapper-bundle verify <bundle>\n";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A bundle file attached to a reader in stream mode: loading reads only the header, the chunk
// headers and the directory, so no file content is read.
class OpenBundle {
  public:
    // Returns false (with a message on `err`) when the file cannot be opened.
    bool Open(const std::string& name, std::ostream& err) {
        const fs::path path = PathFromUtf8(name);
        std::error_code ec;
        if (!fs::is_regular_file(path, ec)) {
            err << name << ": not a file\n";
            return false;
        }
        const std::uint64_t size = fs::file_size(path, ec);
#ifdef _WIN32
        file_.reset(_wfopen(path.c_str(), L"rb"));
#else
        file_.reset(std::fopen(path.c_str(), "rb"));
#endif
        if (ec || !file_) {
            err << name << ": cannot be opened\n";
            return false;
        }
        bundle.readMode = ReadMode::FileStream;
        bundle.stream = file_.get();
        bundle.position = 0;
        bundle.limit = size;
        return true;
    }

    AssetBundle bundle;

  private:
    FilePtr file_;
};

// Prints the percentage each time it changes, on one rewritten line, for inputs of at least
// `threshold` bytes.
class ProgressLine {
  public:
    ProgressLine(std::ostream& err, std::uint64_t threshold) : err_(err), threshold_(threshold) {}
    void operator()(std::uint64_t done, std::uint64_t total) {
        if (total < threshold_) return;
        const int percent =
            total == 0
                ? 100
                : static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
        if (percent == last_) return;
        last_ = percent;
        err_ << "\rpacking: " << percent << "% (" << (done >> 20) << " of " << (total >> 20)
             << " MiB)";
        if (percent == 100) err_ << '\n';
        err_.flush();
    }

  private:
    std::ostream& err_;
    std::uint64_t threshold_;
    int last_ = -1;
};

int Pack(const std::string& folder, const std::string& output, std::ostream& out, std::ostream& err,
         std::uint64_t progressThreshold) {
    const PackResult result = PackFolder(PathFromUtf8(folder), PathFromUtf8(output),
                                         ProgressLine(err, progressThreshold));
    out << "packed " << result.fileCount << " files (" << result.contentBytes << " bytes) into "
        << output << '\n';
    return 0;
}

int List(const std::string& name, std::ostream& out, std::ostream& err) {
    OpenBundle source;
    if (!source.Open(name, err)) return 1;
    source.bundle.Load();
    for (const auto& [fileName, entry] : source.bundle.files) {
        out << fileName << '\t' << entry.offset << '\t' << entry.size << '\n';
    }
    return 0;
}

int Verify(const std::string& name, std::ostream& out, std::ostream& err) {
    OpenBundle source;
    if (!source.Open(name, err)) return 1;
    source.bundle.Load();
    std::uint64_t bytes = 0;
    for (const auto& entry : source.bundle.files) bytes += entry.second.size;
    out << "ok: " << source.bundle.files.size() << " files, " << bytes << " bytes\n";
    return 0;
}

}  // namespace

int RunBundleTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  std::uint64_t progressThreshold) {
    const std::string command = args.empty() ? "" : args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    try {
        if (command == "pack" && args.size() == 3)
            return Pack(args[1], args[2], out, err, progressThreshold);
        if (command == "list" && args.size() == 2) return List(args[1], out, err);
        if (command == "verify" && args.size() == 2) return Verify(args[1], out, err);
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
