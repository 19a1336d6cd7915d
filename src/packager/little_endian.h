// Little-endian integers in byte strings, as Windows file formats store them. The reads do not
// check bounds: callers check them first.
#pragma once

#include <cstdint>
#include <string>

inline std::uint32_t Little16(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8);
}

inline std::uint32_t Little32(const std::string& bytes, std::size_t at) {
    return Little16(bytes, at) | (Little16(bytes, at + 2) << 16);
}

inline void AppendLittle16(std::string& bytes, std::uint32_t value) {
    bytes.push_back(static_cast<char>(value & 0xFF));
    bytes.push_back(static_cast<char>((value >> 8) & 0xFF));
}

inline void AppendLittle32(std::string& bytes, std::uint32_t value) {
    AppendLittle16(bytes, value & 0xFFFF);
    AppendLittle16(bytes, value >> 16);
}
