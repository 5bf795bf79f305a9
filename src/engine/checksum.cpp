#include "engine/checksum.h"

#include "engine/le.h"
#include "engine/pe.h"
#include "sys/file_io.h"

namespace resgraft::engine {
namespace {

// One's-complement sum of the little-endian 16-bit words of `bytes` (an even
// count), kept unfolded. Adding 32-bit words instead of 16-bit ones gives the same
// sum modulo 0xFFFF, since 2^16 = 1 there, and lets the loop run on whole words.
uint64_t SumWords(std::span<const uint8_t> bytes) {
  uint64_t sum = 0;
  size_t i = 0;
  for (; i + 4 <= bytes.size(); i += 4) sum += LoadLe32(bytes.subspan(i).first<4>());
  if (i < bytes.size()) sum += LoadLe16(bytes.subspan(i).first<2>());
  return sum;
}

uint32_t Fold(uint64_t sum) {
  while ((sum >> 16) != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum);
}

}  // namespace

uint32_t PeImageChecksum(std::span<const uint8_t> image) {
  const size_t even = image.size() & ~size_t{1};
  size_t field = image.size();  // none
  if (image.size() >= kDosHeaderSize) {
    const uint32_t nt = LoadLe32At(image, 60);
    const uint64_t at = uint64_t{nt} + kOptionalHeaderOffset + OptionalHeaderView::kCheckSumOffset;
    if (at + 4 <= even) field = static_cast<size_t>(at);
  }

  uint64_t sum = 0;
  if (field < even) {
    // Sum around the field: the two pieces stay word-aligned when the field is.
    const size_t cut = field & ~size_t{1};
    sum += SumWords(image.first(cut));
    const size_t resume = cut + ((field & 1) != 0 ? 6 : 4);
    if ((field & 1) != 0) {
      // An odd field offset splits words; count the bytes around it by hand.
      sum += image[cut];
      sum += uint32_t{image[cut + 5]} << 8;
    }
    sum += SumWords(image.subspan(resume, even - resume));
  } else {
    sum += SumWords(image.first(even));
  }
  if (even < image.size()) sum += image[even];
  return Fold(sum) + static_cast<uint32_t>(image.size());
}

uint32_t ImageChecksum(const sys::File& file, uint32_t size) {
  const std::optional<sys::FileMapping> mapping = sys::FileMapping::Map(file, size);
  if (!mapping) return 0;
  return PeImageChecksum(mapping->Bytes());
}

}  // namespace resgraft::engine
