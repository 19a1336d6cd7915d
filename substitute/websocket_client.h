// A small WebSocket client (RFC 6455, text messages) over a loopback TCP connection, enough to
// talk to a browser's DevTools endpoint. It never waits except where a call says so.
#pragma once

#include <winsock2.h>

#include <cstdint>
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

// One frame as RFC 6455 lays it out: FIN set, `opcode`, the payload length in 7, 7+16 or 7+64
// bits, then the payload, masked with the four bytes of `mask` when it is not null (a client's
// frames always are).
std::string EncodeFrame(unsigned char opcode, const std::string& payload,
                        const unsigned char* mask);

struct WebSocketFrame {
    bool final = false;
    unsigned char opcode = 0;
    std::string payload;  // unmasked
};
enum class FrameStatus { kComplete, kIncomplete, kTooLarge };
// Reads the frame starting at `position` of `bytes`. kComplete: `frame` holds it and `position`
// is moved past it; kIncomplete: more bytes are needed; kTooLarge: its length is past
// `maxPayload`, and nothing after it can be read.
FrameStatus DecodeFrame(const std::string& bytes, std::size_t& position, WebSocketFrame& frame,
                        std::uint64_t maxPayload);

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
