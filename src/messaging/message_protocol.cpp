#include "messaging/message_protocol.h"

#include <nlohmann/json.hpp>

#include "config/json_members.h"

namespace {

// The library's default serialisation: no white space, raw UTF-8, and an exception for text
// that is not valid UTF-8. Its objects keep their members ordered by name.
std::string Serialize(const nlohmann::json& value) { return value.dump(); }

void Dispatch(const std::string& text, MessageActions& actions) {
    const nlohmann::json message = nlohmann::json::parse(text);
    const std::string type = ReadStringMember(message, "type", "");
    if (type == "wrapper-init") {
        actions.WrapperInit();
    } else if (type == "set-fullscreen") {
        actions.SetFullscreen(ReadBoolMember(message, "fullscreen", false));
    } else if (type == "set-window-size") {
        const std::int32_t height = ReadIntMember(message, "windowHeight", 0);
        const std::int32_t width = ReadIntMember(message, "windowWidth", 0);
        actions.SetWindowSize(width, height);
    } else if (type == "set-window-position") {
        const std::int32_t y = ReadIntMember(message, "windowY", 0);
        const std::int32_t x = ReadIntMember(message, "windowX", 0);
        actions.SetWindowPosition(x, y);
    } else if (type == "extension-message") {
        actions.ExtensionMessage(text);
    }
}

}  // namespace

void DispatchWebMessage(const std::string& text, MessageActions& actions) noexcept {
    try {
        Dispatch(text, actions);
    } catch (...) {
        // A message that cannot be read or handled is dropped without a reply.
    }
}

std::string BuildWrapperInitResponse(const std::vector<std::string>& componentIds) {
    nlohmann::json response = nlohmann::json::object();
    response["registeredComponentIds"] = componentIds;
    response["type"] = "wrapper-init-response";
    return Serialize(response);
}

std::string DirectoryHandlesMessage() {
    return Serialize(nlohmann::json::object({{"type", "directory-handles"}}));
}
