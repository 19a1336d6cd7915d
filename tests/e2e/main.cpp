// Runs the end-to-end suite inside a Wine session; when started on its own (not from ./dev test)
// it re-runs itself under a session of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

int main(int argc, char** argv) {
    if (std::getenv("WRAPPER_TEST_DISPLAY") == nullptr) {
        const std::string script =
            (e2e::SourceDir() / "tests/support/with-wine-session.sh").string();
        const std::string build = e2e::WinBuildDir().parent_path().string();
        std::vector<char*> args = {const_cast<char*>("bash"), const_cast<char*>(script.c_str()),
                                   const_cast<char*>(build.c_str())};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("bash", args.data());
        return 127;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
