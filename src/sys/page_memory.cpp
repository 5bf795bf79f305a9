#include "sys/page_memory.h"

#include <new>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace resgraft::sys {
namespace {

// From this size on a block is worth huge pages; below it one would mostly fill
// memory that nobody asked for.
constexpr size_t kHugePageWorthy = size_t{2} << 20;

}  // namespace

PageMemory::~PageMemory() {
  if (data_ != nullptr) munmap(data_, mapped_);
}

PageMemory::PageMemory(PageMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

PageMemory& PageMemory::operator=(PageMemory&& other) noexcept {
  if (this != &other) {
    if (data_ != nullptr) munmap(data_, mapped_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

PageMemory PageMemory::Allocate(size_t size) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (size > SIZE_MAX - page) throw std::bad_alloc();
  const size_t mapped = size == 0 ? page : (size + page - 1) / page * page;
  void* data = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) throw std::bad_alloc();
  // Advice only: where huge pages are off the block works with small ones.
  if (mapped >= kHugePageWorthy) madvise(data, mapped, MADV_HUGEPAGE);
  return PageMemory(static_cast<uint8_t*>(data), size, mapped);
}

}  // namespace resgraft::sys
