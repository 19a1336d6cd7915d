// A small WebSocket client (RFC 6455, text messages) over a loopback TCP connection, enough to
// talk to a browser's DevTools endpoint. It never waits except where a call says so.
#pragma once

#include <winsock2.h>

#include <string>
#include <vector>

namespace substitute {

// ws://HOST:PORT/PATH split up; false when the text is not such a URL or HOST is not loopback.
struct WebSocketUrl {
    std::string host;
    std::string port;
    std::string path;
};
bool ParseWebSocketUrl(const std::string& url, WebSocketUrl& parts);

std::string Base64Encode(const std::string& bytes);
// Decoding stops at the first character outside the alphabet ('=' included).
std::string Base64Decode(const std::string& text);

class WebSocketClient {
  public:
    WebSocketClient() = default;
    ~WebSocketClient() { Close(); }
    WebSocketClient(const WebSocketClient&) = delete;
    WebSocketClient& operator=(const WebSocketClient&) = delete;

    // Connects and completes the opening handshake within `timeoutMs`; false with `error` set.
    bool Connect(const std::string& url, unsigned timeoutMs, std::string& error);
    // Sends one text message (masked, as a client must); false when the connection is gone.
    bool SendText(const std::string& text);
    // Takes what has arrived, waiting at most `waitMs` for the first bytes, and appends every
    // complete text message to `messages`. False once the connection is closed or broken.
    bool Receive(std::vector<std::string>& messages, unsigned waitMs);
    bool Connected() const { return socket_ != INVALID_SOCKET; }
    void Close();

  private:
    bool SendFrame(unsigned char opcode, const std::string& payload);
    bool SendAll(const char* data, std::size_t size);
    // Takes complete frames out of buffer_; false on a close frame or a protocol error.
    bool TakeFrames(std::vector<std::string>& messages);

    SOCKET socket_ = INVALID_SOCKET;
    std::string buffer_;     // bytes received and not yet taken as frames
    std::string fragments_;  // a message arriving in several frames
    unsigned maskSeed_ = 0x9e3779b9u;
};

}  // namespace substitute
