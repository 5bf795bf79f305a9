#include "engine/resource_bytes.h"

#include <algorithm>
#include <utility>

namespace resgraft::engine {
namespace {

// Blocks for resources placed without a reservation grow geometrically up to this
// size: a type of a few small resources takes little memory, a type of hundreds of
// megabytes a few dozen blocks.
constexpr size_t kLargestBlock = size_t{32} << 20;
// A block that holds this much is left to the type that filled it.
constexpr size_t kGroupBlock = size_t{1} << 20;

}  // namespace

ResourceBytes::ResourceBytes(std::unique_ptr<uint8_t[]> block)
    : data_(block.get()), own_(std::move(block)) {}

ResourceBytes& ResourceBytes::operator=(std::unique_ptr<uint8_t[]> block) {
  reset();
  own_ = std::move(block);
  data_ = own_.get();
  return *this;
}

ResourceBytes& ResourceBytes::operator=(std::nullptr_t) {
  reset();
  return *this;
}

ResourceBytes ResourceBytes::Shared(std::shared_ptr<const uint8_t> bytes, uint32_t size) {
  ResourceBytes result;
  result.data_ = bytes.get();
  result.shared_ = std::move(bytes);
  result.shared_size_ = size;
  return result;
}

ResourceBytes ResourceBytes::Copy(uint32_t size) const {
  if (shared_) return Shared(shared_, shared_size_);
  if (data_ == nullptr) return ResourceBytes();
  auto block = std::make_unique_for_overwrite<uint8_t[]>(size);
  std::copy_n(data_, size, block.get());
  return ResourceBytes(std::move(block));
}

uint8_t* ResourceBytes::get() {
  if (shared_) {
    auto block = std::make_unique_for_overwrite<uint8_t[]>(shared_size_);
    std::copy_n(shared_.get(), shared_size_, block.get());
    *this = std::move(block);
  }
  return own_.get();
}

void ResourceBytes::reset() {
  data_ = nullptr;
  own_.reset();
  shared_.reset();
  shared_size_ = 0;
}

ResourceBytes ResourceArena::Allocate(uint32_t size, std::span<uint8_t>& room) {
  if (!Fits(size)) {
    // A resource larger than the next block gets a block of its own size.
    NewBlock(std::max<size_t>(next_block_size_, size));
    next_block_size_ = std::min(next_block_size_ * 2, kLargestBlock);
  }
  const size_t start = (used_ + kPlacement - 1) / kPlacement * kPlacement;
  uint8_t* data = block_->data() + start;
  used_ = start + size;
  room = std::span<uint8_t>(data, size);
  // Shares the ownership of the block, points at this resource's bytes.
  return ResourceBytes::Shared(std::shared_ptr<const uint8_t>(block_, data), size);
}

void ResourceArena::Reserve(size_t size) {
  if (size == 0 || Fits(size)) return;
  if (size >= kGroupBlock) {
    constexpr size_t kHugePage = sys::PageMemory::kHugePage;
    NewBlock((size + kHugePage - 1) / kHugePage * kHugePage);
  } else {
    NewBlock(std::max(next_block_size_, size));
    next_block_size_ = std::min(next_block_size_ * 2, kLargestBlock);
  }
}

void ResourceArena::StartGroup() {
  if (block_ && used_ >= kGroupBlock) block_.reset();
}

bool ResourceArena::Fits(size_t size) const {
  if (!block_) return false;
  const size_t start = (used_ + kPlacement - 1) / kPlacement * kPlacement;
  return start <= block_->size() && size <= block_->size() - start;
}

void ResourceArena::NewBlock(size_t size) {
  block_ = std::make_shared<sys::PageMemory>(sys::PageMemory::Allocate(size));
  used_ = 0;
}

}  // namespace resgraft::engine
