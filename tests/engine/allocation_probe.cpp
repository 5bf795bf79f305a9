#include "allocation_probe.h"

#include <cstdlib>
#include <new>

namespace {
size_t largest = 0;

void* Allocate(size_t size) {
  if (size > largest) largest = size;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace resgraft::testing {
void ResetLargestAllocation() { largest = 0; }
size_t LargestAllocation() { return largest; }
}  // namespace resgraft::testing
