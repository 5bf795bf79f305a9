#ifndef RESGRAFT_TESTS_ENGINE_ALLOCATION_PROBE_H_
#define RESGRAFT_TESTS_ENGINE_ALLOCATION_PROBE_H_

#include <cstddef>

namespace resgraft::testing {

// The largest single request made through operator new since the last reset, so
// that a test can show a size field from a file never reached the allocator.
void ResetLargestAllocation();
size_t LargestAllocation();

}  // namespace resgraft::testing

#endif  // RESGRAFT_TESTS_ENGINE_ALLOCATION_PROBE_H_
