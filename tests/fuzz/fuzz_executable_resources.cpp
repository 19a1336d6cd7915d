// The packager's readers of untrusted files: any bytes as an executable image either give its
// resources, which write back into an image that reads back the same, or an ExecutableError; as
// an icon file, its images or a PackageError. Never a crash or a read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "packager/app_identity.h"
#include "packager/package_output.h"
#include "packager/pe_resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        const std::vector<Resource> resources = ReadResources(bytes);
        try {
            const RewrittenImage image = ReplaceResources(bytes, resources);
            const std::vector<Resource> again = ReadResources(image.image);
            if (again.size() != resources.size()) std::abort();
        } catch (const ExecutableError&) {
        }
    } catch (const ExecutableError&) {
    }
    // Large pictures cost time, not coverage.
    if (size < 4096) {
        try {
            IconImagesFromFile(bytes, "icon");
        } catch (const PackageError&) {
        }
    }
    return 0;
}
