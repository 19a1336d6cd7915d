// SHA-256 (FIPS 180-4), fed in pieces, for the transcript's fingerprints of response bodies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace substitute {

class Sha256 {
  public:
    Sha256();
    void Update(const void* data, std::size_t size);
    // Lower-case hex of the digest; the object is spent afterwards.
    std::string FinishHex();

  private:
    void Compress(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace substitute
