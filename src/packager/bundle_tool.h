// The command line of the bundle tool (wrapper-bundle): pack, list, verify and package.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "bundle/bundle_writer.h"

// Packing inputs at least this large report progress on the error stream.
inline constexpr std::uint64_t kPackProgressThreshold = std::uint64_t{32} << 20;

// Runs one command; `args` are the UTF-8 arguments after the program name. Returns the exit
// code: 0 on success, 1 when the command fails, 2 for a usage error.
//   pack <folder> <out.dat>   writes the bundle of every file under the folder
//   list <bundle>             one line per file: name, offset, size (tab-separated)
//   verify <bundle>           loads the bundle as the host does; on failure prints the reader's
//                             message alone on a line of the error stream
//   package APP_DIR OUT_DIR [options]   the folder that ships an app (see app_packager.h);
//                             its defaults are looked for in `toolFolder`
//   init APP_DIR              a starter app in a new or empty folder (see app_init.h)
int RunBundleTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  std::uint64_t progressThreshold = kPackProgressThreshold,
                  const std::filesystem::path& toolFolder = {});

// Prints the percentage of a pack on one rewritten line of `err`, for inputs of at least
// `threshold` bytes.
BundleProgress PackProgressPrinter(std::ostream& err, std::uint64_t threshold);

struct BundleSummary {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
};
// A bundle file that cannot be opened ("<name>: not a file", "<name>: cannot be opened").
class BundleOpenError : public BundleWriteError {
public:
    using BundleWriteError::BundleWriteError;
};

// Loads a bundle file's directory as the host does. Throws the reader's error, or
// BundleOpenError.
BundleSummary SummariseBundleFile(const std::filesystem::path& path);
