// The JSON messages between the page and the host: reading the page's messages and choosing the
// action, and writing the host's own messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a page message can ask of the host; the Windows layer implements it over the window, the
// WebView and the extension library.
class MessageActions {
  public:
    virtual ~MessageActions() = default;
    virtual void WrapperInit() = 0;
    virtual void SetFullscreen(bool fullscreen) = 0;
    virtual void SetWindowSize(std::int32_t width, std::int32_t height) = 0;
    virtual void SetWindowPosition(std::int32_t x, std::int32_t y) = 0;
    // The whole message text, exactly as received.
    virtual void ExtensionMessage(const std::string& text) = 0;
};

// Parses one message (UTF-8 JSON text: exactly one value, no comments), reads its "type" and
// calls the matching action with its members read by the settings file's member rules. Unknown
// types, non-objects and unparsable text do nothing. Every exception, from the parse or from an
// action, is caught and discarded: the message is abandoned where it arose.
void DispatchWebMessage(const std::string& text, MessageActions& actions) noexcept;

// {"registeredComponentIds":[...],"type":"wrapper-init-response"}: compact, members in byte
// order, text as raw UTF-8. Throws (the JSON library's type_error) when an id is invalid UTF-8.
std::string BuildWrapperInitResponse(const std::vector<std::string>& componentIds);

// {"type":"directory-handles"}, the text that carries the folder handles.
std::string DirectoryHandlesMessage();
