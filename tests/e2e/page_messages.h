// Scenario lines and transcript views for the page-message tests.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

inline constexpr char kAppPage[] = "https://app.localhost/index.html";
inline constexpr char kWrapperInit[] = R"({"type":"wrapper-init"})";
inline constexpr char kAnswerWithoutComponents[] =
    R"({"registeredComponentIds":[],"type":"wrapper-init-response"})";

// One scenario line: the page at `source` posts `text` as a string.
inline std::string Post(const std::string& text, const std::string& source = kAppPage) {
    return "message-string " + source + " " + text + "\n";
}

// The messages the host posted to the page, in order: "handles" for a post with additional
// objects, otherwise the posted JSON text.
inline std::vector<std::string> PostedToPage(const HostRun& run) {
    std::vector<std::string> posted;
    for (const nlohmann::json& call : run.Of("call")) {
        const std::string method = call.value("method", "");
        if (method == "PostWebMessageAsJsonWithAdditionalObjects") posted.push_back("handles");
        if (method == "PostWebMessageAsJson") posted.push_back(call.value("json", ""));
    }
    return posted;
}

}  // namespace e2e
