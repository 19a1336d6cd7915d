// Fuzzes the page-message dispatcher with recording actions, and the handshake answer's
// serialisation with ids cut from the same input.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "messaging/message_protocol.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

class CountingActions : public MessageActions {
  public:
    int calls = 0;
    std::string extensionText;
    bool extension = false;

    void WrapperInit() override { ++calls; }
    void SetFullscreen(bool) override { ++calls; }
    void SetWindowSize(std::int32_t, std::int32_t) override { ++calls; }
    void SetWindowPosition(std::int32_t, std::int32_t) override { ++calls; }
    void ExtensionMessage(const std::string& text) override {
        ++calls;
        extension = true;
        extensionText = text;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CountingActions actions;
    DispatchWebMessage(text, actions);
    Check(actions.calls <= 1, "one action per message");
    if (actions.extension) Check(actions.extensionText == text, "extension text unchanged");
    if (actions.calls == 1) {
        // Something ran, so the text must have been one JSON object.
        Check(nlohmann::json::accept(text), "an action only for valid JSON");
    }

    // Ids separated by newlines: the answer either serialises and reads back to the same ids,
    // or fails with the library's exception (invalid UTF-8).
    std::vector<std::string> ids;
    std::string::size_type start = 0;
    while (start <= text.size() && ids.size() < 16) {
        std::string::size_type end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ids.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    try {
        const std::string answer = BuildWrapperInitResponse(ids);
        const nlohmann::json parsed = nlohmann::json::parse(answer);
        Check(parsed.at("type") == "wrapper-init-response", "answer type");
        Check(parsed.at("registeredComponentIds").get<std::vector<std::string>>() == ids,
              "ids read back");
        std::size_t spacesInIds = 0;
        for (const std::string& id : ids) spacesInIds += std::count(id.begin(), id.end(), ' ');
        Check(static_cast<std::size_t>(std::count(answer.begin(), answer.end(), ' ')) ==
                      spacesInIds &&
                  answer.find_first_of("\n\t\r") == std::string::npos,
              "compact output");
    } catch (const nlohmann::json::type_error&) {
    }
    return 0;
}
