// The package manifest and the package command line: any text either is a manifest or is not,
// a manifest read back after writing is the same, and any argument list is accepted or refused
// with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "packager/app_packager.h"
#include "packager/package_output.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<PackageManifest> manifest = ParsePackageManifest(text);
    if (manifest) {
        const std::optional<PackageManifest> again =
            ParsePackageManifest(EncodePackageManifest(*manifest));
        // Names that are not UTF-8 cannot come back unchanged; every other manifest does.
        if (!again) std::abort();
        if (again->folder.empty()) std::abort();
    }

    // The same bytes as a command line, split at zero bytes.
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\0') {
            args.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    PackageOptions options;
    const std::string problem = ParsePackageArguments(args, options);
    if (problem.empty() && (options.app.empty() || options.out.empty())) std::abort();
    return 0;
}
