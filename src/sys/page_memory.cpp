#include "sys/page_memory.h"

#include <new>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace resgraft::sys {
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
  if (size > SIZE_MAX - kHugePage) throw std::bad_alloc();
  const size_t mapped = size == 0 ? page : (size + page - 1) / page * page;
  if (mapped < kHugePage) {
    void* data = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) throw std::bad_alloc();
    return PageMemory(static_cast<uint8_t*>(data), size, mapped);
  }
  // Huge pages fill only the parts of a block that begin on a huge-page boundary;
  // a block placed anywhere else would take its first and last megabytes a small
  // page at a time. So the block starts on such a boundary: a larger range is
  // mapped and what lies before and behind the block is given back.
  const size_t reserved = mapped + kHugePage - page;
  void* range = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (range == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(range);
  const uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  const size_t head = aligned - start;
  const size_t tail = reserved - head - mapped;
  auto* data = static_cast<uint8_t*>(range) + head;
  if (head != 0) munmap(range, head);
  if (tail != 0) munmap(data + mapped, tail);
  // Advice only: where huge pages are off the block works with small ones.
  madvise(data, mapped, MADV_HUGEPAGE);
  return PageMemory(data, size, mapped);
}

}  // namespace resgraft::sys
