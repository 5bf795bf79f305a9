#ifndef RESGRAFT_SYS_PAGE_MEMORY_H_
#define RESGRAFT_SYS_PAGE_MEMORY_H_

#include <cstddef>
#include <cstdint>
#include <span>

namespace resgraft::sys {

// Zero-filled memory taken straight from the operating system and given back when
// the object goes away. Blocks of a few megabytes and more begin on a huge-page
// boundary and are asked to come as huge pages: filling a large block then costs a
// few hundred page faults instead of one per 4 KiB.
class PageMemory {
 public:
  PageMemory() = default;
  ~PageMemory();
  PageMemory(PageMemory&& other) noexcept;
  PageMemory& operator=(PageMemory&& other) noexcept;
  PageMemory(const PageMemory&) = delete;
  PageMemory& operator=(const PageMemory&) = delete;

  // The size of a huge page. From this size on a block comes as huge pages; below it
  // they would mostly fill memory that nobody asked for.
  static constexpr size_t kHugePage = size_t{2} << 20;

  // `size` zero bytes (at least one page, also for 0). Throws std::bad_alloc when
  // the system cannot supply them.
  static PageMemory Allocate(size_t size);

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  std::span<uint8_t> bytes() const { return {data_, size_}; }

 private:
  PageMemory(uint8_t* data, size_t size, size_t mapped)
      : data_(data), size_(size), mapped_(mapped) {}

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t mapped_ = 0;
};

}  // namespace resgraft::sys

#endif  // RESGRAFT_SYS_PAGE_MEMORY_H_
