#ifndef RESGRAFT_ENGINE_LE_H_
#define RESGRAFT_ENGINE_LE_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace resgraft::engine {

// Little-endian fields, assembled byte by byte so that the result is the same on
// every host.

inline uint16_t LoadLe16(std::span<const uint8_t, 2> b) {
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t LoadLe32(std::span<const uint8_t, 4> b) {
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void StoreLe16(std::span<uint8_t, 2> b, uint16_t value) {
  b[0] = static_cast<uint8_t>(value);
  b[1] = static_cast<uint8_t>(value >> 8);
}

inline void StoreLe32(std::span<uint8_t, 4> b, uint32_t value) {
  b[0] = static_cast<uint8_t>(value);
  b[1] = static_cast<uint8_t>(value >> 8);
  b[2] = static_cast<uint8_t>(value >> 16);
  b[3] = static_cast<uint8_t>(value >> 24);
}

// The same at a byte offset inside a larger span; the caller has checked that
// the field lies inside it.
inline uint16_t LoadLe16At(std::span<const uint8_t> b, size_t offset) {
  return LoadLe16(b.subspan(offset).first<2>());
}
inline uint32_t LoadLe32At(std::span<const uint8_t> b, size_t offset) {
  return LoadLe32(b.subspan(offset).first<4>());
}
inline void StoreLe16At(std::span<uint8_t> b, size_t offset, uint16_t value) {
  StoreLe16(b.subspan(offset).first<2>(), value);
}
inline void StoreLe32At(std::span<uint8_t> b, size_t offset, uint32_t value) {
  StoreLe32(b.subspan(offset).first<4>(), value);
}

}  // namespace resgraft::engine

#endif  // RESGRAFT_ENGINE_LE_H_
