// What a one-file executable carries: its settings text, and where its bundle lies in its file.
#pragma once

#include <string>

#include "bundle/one_file.h"

struct OwnPayload {
    OneFilePayload kind = OneFilePayload::None;
    OneFileLayout layout;
    std::string path;      // the executable (UTF-8), which holds the bundle
    std::string settings;  // the settings text; empty unless found
};

// Reads the payload of the executable at `exePath`; kind None when the file carries none or
// cannot be read (start-up then reads package.json beside it).
OwnPayload ReadOwnPayload(const std::string& exePath);
