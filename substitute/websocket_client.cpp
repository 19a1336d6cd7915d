#include "websocket_client.h"

#include <ws2tcpip.h>

#include <cstdint>
#include <cstring>

namespace substitute {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kMaxMessage = 256u * 1024u * 1024u;

void StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

// Waits until the socket can be read (or has failed); false on time-out.
bool WaitReadable(SOCKET socket, unsigned waitMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait{static_cast<long>(waitMs / 1000), static_cast<long>((waitMs % 1000) * 1000)};
    return select(0, &readable, nullptr, nullptr, &wait) > 0;
}

}  // namespace

bool ParseWebSocketUrl(const std::string& url, WebSocketUrl& parts) {
    constexpr std::string_view scheme = "ws://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    const std::size_t hostStart = scheme.size();
    const std::size_t slash = url.find('/', hostStart);
    const std::string authority = url.substr(hostStart, slash - hostStart);
    const std::size_t colon = authority.rfind(':');
    if (colon == std::string::npos || colon + 1 == authority.size()) return false;
    parts.host = authority.substr(0, colon);
    parts.port = authority.substr(colon + 1);
    parts.path = slash == std::string::npos ? "/" : url.substr(slash);
    if (parts.port.find_first_not_of("0123456789") != std::string::npos) return false;
    return parts.host == "127.0.0.1" || parts.host == "localhost" || parts.host == "[::1]";
}

std::string Base64Encode(const std::string& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t n = (static_cast<unsigned char>(bytes[i]) << 16) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) text.push_back(kAlphabet[(n >> shift) & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        text.push_back(kAlphabet[(n >> 18) & 63]);
        text.push_back(kAlphabet[(n >> 12) & 63]);
        text.push_back(rest == 2 ? kAlphabet[(n >> 6) & 63] : '=');
        text.push_back('=');
    }
    return text;
}

std::string Base64Decode(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        const char* found = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
        if (found == nullptr) break;
        bits = (bits << 6) | static_cast<std::uint32_t>(found - kAlphabet);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return bytes;
}

std::string EncodeFrame(unsigned char opcode, const std::string& payload,
                        const unsigned char* mask) {
    const unsigned char maskBit = mask != nullptr ? 0x80 : 0;
    std::string frame;
    frame.reserve(payload.size() + 14);
    frame.push_back(static_cast<char>(0x80 | (opcode & 0x0F)));
    const std::size_t size = payload.size();
    if (size < 126) {
        frame.push_back(static_cast<char>(maskBit | size));
    } else if (size <= 0xFFFF) {
        frame.push_back(static_cast<char>(maskBit | 126));
        frame.push_back(static_cast<char>(size >> 8));
        frame.push_back(static_cast<char>(size & 0xFF));
    } else {
        frame.push_back(static_cast<char>(maskBit | 127));
        for (int shift = 56; shift >= 0; shift -= 8)
            frame.push_back(static_cast<char>((static_cast<std::uint64_t>(size) >> shift) & 0xFF));
    }
    if (mask == nullptr) return frame + payload;
    frame.append(reinterpret_cast<const char*>(mask), 4);
    for (std::size_t i = 0; i < size; ++i)
        frame.push_back(static_cast<char>(payload[i] ^ static_cast<char>(mask[i & 3])));
    return frame;
}

FrameStatus DecodeFrame(const std::string& bytes, std::size_t& position, WebSocketFrame& frame,
                        std::uint64_t maxPayload) {
    const std::size_t available = position <= bytes.size() ? bytes.size() - position : 0;
    if (available < 2) return FrameStatus::kIncomplete;
    const auto* head = reinterpret_cast<const unsigned char*>(bytes.data() + position);
    std::uint64_t size = head[1] & 0x7F;
    std::size_t headerSize = 2;
    if (size == 126) {
        if (available < 4) return FrameStatus::kIncomplete;
        size = (static_cast<std::uint64_t>(head[2]) << 8) | head[3];
        headerSize = 4;
    } else if (size == 127) {
        if (available < 10) return FrameStatus::kIncomplete;
        size = 0;
        for (int i = 2; i < 10; ++i) size = (size << 8) | head[i];
        headerSize = 10;
    }
    if (size > maxPayload) return FrameStatus::kTooLarge;
    const bool masked = (head[1] & 0x80) != 0;
    const std::size_t maskSize = masked ? 4 : 0;
    if (available < headerSize + maskSize || available - headerSize - maskSize < size)
        return FrameStatus::kIncomplete;
    frame.final = (head[0] & 0x80) != 0;
    frame.opcode = head[0] & 0x0F;
    frame.payload = bytes.substr(position + headerSize + maskSize, static_cast<std::size_t>(size));
    if (masked) {
        const char* mask = bytes.data() + position + headerSize;
        for (std::size_t i = 0; i < frame.payload.size(); ++i) frame.payload[i] ^= mask[i & 3];
    }
    position += headerSize + maskSize + static_cast<std::size_t>(size);
    return FrameStatus::kComplete;
}

bool WebSocketClient::Connect(const std::string& url, unsigned timeoutMs, std::string& error) {
    Close();
    WebSocketUrl parts;
    if (!ParseWebSocketUrl(url, parts)) {
        error = "not a loopback ws:// URL: " + url;
        return false;
    }
    StartWinsock();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string host = parts.host == "[::1]" ? std::string("::1") : parts.host;
    if (getaddrinfo(host.c_str(), parts.port.c_str(), &hints, &found) != 0 || found == nullptr) {
        error = "cannot resolve " + parts.host;
        return false;
    }
    for (addrinfo* address = found; address != nullptr; address = address->ai_next) {
        SOCKET candidate = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (candidate == INVALID_SOCKET) continue;
        if (connect(candidate, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0) {
            socket_ = candidate;
            break;
        }
        closesocket(candidate);
    }
    freeaddrinfo(found);
    if (socket_ == INVALID_SOCKET) {
        error = "cannot connect to " + parts.host + ":" + parts.port;
        return false;
    }
    BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);

    std::string key(16, '\0');
    for (char& c : key) c = static_cast<char>(maskSeed_ = maskSeed_ * 1664525u + 1013904223u);
    const std::string request = "GET " + parts.path + " HTTP/1.1\r\nHost: " + parts.host + ":" +
                                parts.port +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                "Sec-WebSocket-Key: " +
                                Base64Encode(key) + "\r\nSec-WebSocket-Version: 13\r\n\r\n";
    if (!SendAll(request.data(), request.size())) {
        error = "cannot send the opening handshake";
        Close();
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::size_t end = std::string::npos;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
        const ULONGLONG now = GetTickCount64();
        char chunk[4096];
        int read = 0;
        if (now >= deadline || !WaitReadable(socket_, static_cast<unsigned>(deadline - now)) ||
            (read = recv(socket_, chunk, sizeof chunk, 0)) <= 0) {
            error = "no answer to the opening handshake";
            Close();
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(read));
    }
    const std::string status = buffer_.substr(0, buffer_.find("\r\n"));
    if (status.find(" 101") == std::string::npos) {
        error = "the endpoint refused the upgrade: " + status;
        Close();
        return false;
    }
    buffer_.erase(0, end + 4);
    return true;
}

void WebSocketClient::Close() {
    if (socket_ != INVALID_SOCKET) {
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
    buffer_.clear();
    fragments_.clear();
}

bool WebSocketClient::SendAll(const char* data, std::size_t size) {
    while (size > 0) {
        const int chunk = size > 1u << 20 ? 1 << 20 : static_cast<int>(size);
        const int sent = send(socket_, data, chunk, 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool WebSocketClient::SendFrame(unsigned char opcode, const std::string& payload) {
    if (socket_ == INVALID_SOCKET) return false;
    maskSeed_ = maskSeed_ * 1664525u + 1013904223u;
    unsigned char mask[4];
    std::memcpy(mask, &maskSeed_, 4);
    const std::string frame = EncodeFrame(opcode, payload, mask);
    if (SendAll(frame.data(), frame.size())) return true;
    Close();
    return false;
}

bool WebSocketClient::SendText(const std::string& text) { return SendFrame(0x1, text); }

bool WebSocketClient::Receive(std::vector<std::string>& messages, unsigned waitMs) {
    if (socket_ == INVALID_SOCKET) return false;
    if (!WaitReadable(socket_, waitMs)) return true;
    // Read everything that is there now, then take the frames.
    do {
        char chunk[64 * 1024];
        const int read = recv(socket_, chunk, sizeof chunk, 0);
        if (read <= 0) {
            TakeFrames(messages);
            Close();
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(read));
    } while (WaitReadable(socket_, 0));
    if (TakeFrames(messages)) return true;
    Close();
    return false;
}

bool WebSocketClient::TakeFrames(std::vector<std::string>& messages) {
    std::size_t position = 0;
    WebSocketFrame frame;
    FrameStatus status;
    while ((status = DecodeFrame(buffer_, position, frame, kMaxMessage)) ==
           FrameStatus::kComplete) {
        switch (frame.opcode) {
            case 0x0:  // continuation
            case 0x1:  // text
            case 0x2:  // binary (taken as text: the endpoint sends JSON)
                fragments_ += frame.payload;
                if (fragments_.size() > kMaxMessage) return false;
                if (frame.final) {
                    messages.push_back(std::move(fragments_));
                    fragments_.clear();
                }
                break;
            case 0x8:  // close
                buffer_.erase(0, position);
                return false;
            case 0x9:  // ping
                if (!SendFrame(0xA, frame.payload)) return false;
                break;
            default:  // pong and reserved opcodes
                break;
        }
    }
    if (status == FrameStatus::kTooLarge) return false;
    buffer_.erase(0, position);
    return true;
}

}  // namespace substitute
