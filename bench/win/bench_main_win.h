// The entry of a Windows benchmark: runs it, flushes what it printed and turns an exception that
// escapes it into exit code 2 with a message naming the benchmark.
#pragma once

#include <cstdio>
#include <exception>

template <typename Run>
int RunBenchmark(const char* name, Run run) {
    try {
        const int code = run();
        std::fflush(stdout);
        return code;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s failed: %s\n", name, error.what());
        return 2;
    }
}
