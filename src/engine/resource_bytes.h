#ifndef RESGRAFT_ENGINE_RESOURCE_BYTES_H_
#define RESGRAFT_ENGINE_RESOURCE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sys/page_memory.h"

namespace resgraft::engine {

// The bytes of one resource, as a leaf of a resource tree holds them. It behaves as
// a block the leaf owns alone: copying a tree gives every leaf bytes that later
// changes or frees of the original never reach. Bytes that loading read are kept
// unchanged in blocks shared by the resources of one type, and a copy shares them
// instead of duplicating them; the first write through a handle that shares gives
// it bytes of its own (copy on write). Write access therefore goes through the
// non-const members only; read through a const handle.
class ResourceBytes {
 public:
  ResourceBytes() = default;
  ResourceBytes(std::nullptr_t) {}  // NOLINT: stands for "no bytes" like a null pointer
  // Takes over a block of the caller's own, written in place from then on.
  ResourceBytes(std::unique_ptr<uint8_t[]> block);  // NOLINT: replaces such a block
  ResourceBytes& operator=(std::unique_ptr<uint8_t[]> block);
  ResourceBytes& operator=(std::nullptr_t);
  ResourceBytes(ResourceBytes&&) noexcept = default;
  ResourceBytes& operator=(ResourceBytes&&) noexcept = default;
  ResourceBytes(const ResourceBytes&) = delete;
  ResourceBytes& operator=(const ResourceBytes&) = delete;

  // `size` bytes inside a block that loading filled and that nothing writes again.
  static ResourceBytes Shared(std::shared_ptr<const uint8_t> bytes, uint32_t size);

  // Bytes equal to the first `size` bytes of this block, that no write through this
  // handle can reach: the same shared bytes, or a fresh copy of a block of its own.
  ResourceBytes Copy(uint32_t size) const;

  explicit operator bool() const { return data_ != nullptr; }
  const uint8_t* get() const { return data_; }
  const uint8_t& operator[](size_t i) const { return data_[i]; }
  // Write access: bytes of this handle's own, copied first when they were shared.
  uint8_t* get();
  uint8_t& operator[](size_t i) { return get()[i]; }
  void reset();

  friend bool operator==(const ResourceBytes& bytes, std::nullptr_t) { return !bytes; }

 private:
  const uint8_t* data_ = nullptr;
  // The caller's or a copy's own block; data_ points into it.
  std::unique_ptr<uint8_t[]> own_;
  // A block that loading filled, shared; data_ points into it.
  std::shared_ptr<const uint8_t> shared_;
  uint32_t shared_size_ = 0;
};

// Where loading puts the bytes of the resources of one type: a few large blocks of
// pages instead of one allocation per resource. A block lives on, shared by the
// resources placed in it and by their copies, until the last of them is gone.
class ResourceArena {
 public:
  // Room for `size` bytes (size > 0), to be filled through `room` before the handle
  // is read.
  ResourceBytes Allocate(uint32_t size, std::span<uint8_t>& room);
  // The room that Allocate takes for `size` bytes, at most: resources start at a
  // multiple of 16 in their block.
  static size_t Footprint(uint32_t size) {
    return (size_t{size} + kPlacement - 1) / kPlacement * kPlacement;
  }
  // Makes room for a group of resources whose footprints add up to `size`, so that
  // placing them takes no further block. A group of 1 MiB or more that does not fit
  // the current block gets a block of its size rounded up to whole huge pages: memory
  // is filled a page at a time, so a larger block would cost pages that hold
  // nothing, and a block ending inside a huge page would take its last part in many
  // small page faults.
  void Reserve(size_t size);
  // Starts the bytes of another type: they go to a new block unless the current one
  // holds little, so that dropping a whole type frees its memory, while small types
  // share blocks instead of taking one each.
  void StartGroup();

 private:
  // Each resource starts at a multiple of this in its block.
  static constexpr size_t kPlacement = 16;
  // Whether the current block has room for `size` more bytes.
  bool Fits(size_t size) const;
  // Takes a new block of `size` bytes as the current one.
  void NewBlock(size_t size);

  std::shared_ptr<sys::PageMemory> block_;
  size_t used_ = 0;
  size_t next_block_size_ = size_t{1} << 20;
};

}  // namespace resgraft::engine

#endif  // RESGRAFT_ENGINE_RESOURCE_BYTES_H_
