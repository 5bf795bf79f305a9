#ifndef RESGRAFT_ENGINE_CHECKSUM_H_
#define RESGRAFT_ENGINE_CHECKSUM_H_

#include <cstdint>
#include <span>

namespace resgraft::engine {

// The PE image checksum of `image`: the 16-bit one's-complement sum of its words
// with end-around carry (a last odd byte counts as a word of its own), the 4-byte
// CheckSum field counted as 0, plus the image's length. The field is found through
// the DOS header; an image too short to hold it is summed whole.
uint32_t PeImageChecksum(std::span<const uint8_t> image);

}  // namespace resgraft::engine

#endif  // RESGRAFT_ENGINE_CHECKSUM_H_
