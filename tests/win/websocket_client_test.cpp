// The substitute runtime's WebSocket client, piece by piece: base64 (RFC 4648 vectors), frame
// layout for every length encoding, masking, decoding of partial and back-to-back frames, and the
// refusal of any endpoint that is not on this machine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "substitute/websocket_client.h"

namespace {

using substitute::Base64Decode;
using substitute::Base64Encode;
using substitute::DecodeFrame;
using substitute::EncodeFrame;
using substitute::FrameStatus;
using substitute::WebSocketFrame;

constexpr std::uint64_t kMax = 256u * 1024u * 1024u;
const unsigned char kMask[4] = {0x37, 0xfa, 0x21, 0x3d};

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (const int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

// A payload whose bytes differ from position to position, so that a shifted mask shows.
std::string Payload(std::size_t size) {
    std::string payload(size, '\0');
    for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return payload;
}

TEST(WebSocketBase64, Rfc4648VectorsBothWays) {
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {Bytes({0xfb, 0xff}), "+/8="},
        {Bytes({0x00, 0x00, 0x00}), "AAAA"}};
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Base64Encode(bytes), text) << text;
        EXPECT_EQ(Base64Decode(text), bytes) << text;
    }
    std::string every;
    for (int value = 0; value < 256; ++value) every.push_back(static_cast<char>(value));
    EXPECT_EQ(Base64Decode(Base64Encode(every)), every);
    // Decoding stops at the first character outside the alphabet.
    EXPECT_EQ(Base64Decode("Zm9v!Zm9v"), "foo");
    EXPECT_EQ(Base64Decode("Zm9v\nYmFy"), "foo");
}

TEST(WebSocketFrames, HeaderForEachLengthEncodingAndMaskedPayload) {
    const std::vector<std::pair<std::size_t, std::string>> headers = {
        {0, Bytes({0x81, 0x80})},
        {125, Bytes({0x81, 0xFD})},
        {126, Bytes({0x81, 0xFE, 0x00, 0x7E})},
        {65535, Bytes({0x81, 0xFE, 0xFF, 0xFF})},
        {65536, Bytes({0x81, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00})}};
    for (const auto& [size, header] : headers) {
        const std::string payload = Payload(size);
        const std::string frame = EncodeFrame(0x1, payload, kMask);
        ASSERT_EQ(frame.size(), header.size() + 4 + size) << size;
        EXPECT_EQ(frame.substr(0, header.size()), header) << size;
        EXPECT_EQ(frame.substr(header.size(), 4),
                  std::string(reinterpret_cast<const char*>(kMask), 4));
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < size; ++i) {
            if (static_cast<unsigned char>(frame[header.size() + 4 + i]) !=
                (static_cast<unsigned char>(payload[i]) ^ kMask[i % 4]))
                ++wrong;
        }
        EXPECT_EQ(wrong, 0u) << size;

        std::size_t position = 0;
        WebSocketFrame decoded;
        ASSERT_EQ(DecodeFrame(frame, position, decoded, kMax), FrameStatus::kComplete) << size;
        EXPECT_EQ(position, frame.size());
        EXPECT_TRUE(decoded.final);
        EXPECT_EQ(decoded.opcode, 0x1);
        EXPECT_EQ(decoded.payload, payload) << size;
    }
    // A server's frames are not masked: no mask bit, no mask, the payload as it is.
    const std::string unmasked = EncodeFrame(0x9, "ping", nullptr);
    EXPECT_EQ(unmasked, Bytes({0x89, 0x04}) + "ping");
    EXPECT_EQ(EncodeFrame(0x1, Payload(200), nullptr).substr(0, 4),
              Bytes({0x81, 0x7E, 0x00, 0xC8}));
}

TEST(WebSocketFrames, PartialBackToBackFragmentedAndOversizedFrames) {
    // Every proper prefix of a frame is incomplete and leaves the position alone.
    const std::string frame = EncodeFrame(0x1, Payload(300), kMask);
    for (std::size_t cut = 0; cut < frame.size(); ++cut) {
        std::size_t position = 0;
        WebSocketFrame decoded;
        ASSERT_EQ(DecodeFrame(frame.substr(0, cut), position, decoded, kMax),
                  FrameStatus::kIncomplete)
            << cut;
        ASSERT_EQ(position, 0u);
    }
    // Two frames in one buffer, a continuation split over them, then a third cut short.
    const std::string buffer =
        Bytes({0x01, 0x03}) + "abc" + Bytes({0x80, 0x02}) + "de" + Bytes({0x81, 0x05}) + "fg";
    std::size_t position = 0;
    WebSocketFrame first, second, third;
    ASSERT_EQ(DecodeFrame(buffer, position, first, kMax), FrameStatus::kComplete);
    EXPECT_FALSE(first.final);
    EXPECT_EQ(first.opcode, 0x1);
    EXPECT_EQ(first.payload, "abc");
    ASSERT_EQ(DecodeFrame(buffer, position, second, kMax), FrameStatus::kComplete);
    EXPECT_TRUE(second.final);
    EXPECT_EQ(second.opcode, 0x0);
    EXPECT_EQ(second.payload, "de");
    EXPECT_EQ(position, 9u);
    EXPECT_EQ(DecodeFrame(buffer, position, third, kMax), FrameStatus::kIncomplete);
    EXPECT_EQ(position, 9u);

    // A length past the limit is refused before any payload arrives, whatever its encoding.
    position = 0;
    EXPECT_EQ(DecodeFrame(Bytes({0x82, 0x7F, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}),
                          position, first, kMax),
              FrameStatus::kTooLarge);
    EXPECT_EQ(DecodeFrame(Bytes({0x82, 0x7E, 0x01, 0x00}), position, first, 255),
              FrameStatus::kTooLarge);
    EXPECT_EQ(DecodeFrame(Bytes({0x82, 0x7E, 0x00, 0xFF}) + Payload(255), position, first, 255),
              FrameStatus::kComplete);
}

TEST(WebSocketUrl, OnlyLoopbackEndpointsAreTaken) {
    struct Case {
        const char* url;
        bool taken;
        const char* host;
        const char* port;
        const char* path;
    };
    const Case cases[] = {
        {"ws://127.0.0.1:9222/devtools/browser/ab-12", true, "127.0.0.1", "9222",
         "/devtools/browser/ab-12"},
        {"ws://localhost:1/", true, "localhost", "1", "/"},
        {"ws://[::1]:80", true, "[::1]", "80", "/"},
        {"ws://10.0.0.1:9222/devtools", false, "", "", ""},
        {"ws://192.168.1.5:9222/", false, "", "", ""},
        {"ws://example.com:80/", false, "", "", ""},
        {"ws://127.0.0.1.example.com:80/", false, "", "", ""},
        {"ws://user@127.0.0.1:80/", false, "", "", ""},
        {"wss://127.0.0.1:9222/", false, "", "", ""},
        {"http://127.0.0.1:9222/", false, "", "", ""},
        {"ws://127.0.0.1/devtools", false, "", "", ""},
        {"ws://127.0.0.1:/devtools", false, "", "", ""},
        {"ws://127.0.0.1:92a2/devtools", false, "", "", ""},
        {"", false, "", "", ""},
    };
    for (const Case& c : cases) {
        substitute::WebSocketUrl parts;
        ASSERT_EQ(substitute::ParseWebSocketUrl(c.url, parts), c.taken) << c.url;
        if (!c.taken) continue;
        EXPECT_EQ(parts.host, c.host) << c.url;
        EXPECT_EQ(parts.port, c.port) << c.url;
        EXPECT_EQ(parts.path, c.path) << c.url;
    }
    // Connect refuses such an endpoint before any connection is tried.
    substitute::WebSocketClient client;
    std::string error;
    EXPECT_FALSE(client.Connect("ws://192.0.2.1:9222/devtools", 100, error));
    EXPECT_NE(error.find("not a loopback"), std::string::npos) << error;
    EXPECT_FALSE(client.Connected());
}

}  // namespace
