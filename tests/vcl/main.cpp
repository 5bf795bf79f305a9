#include <cstdlib>

#include <gtest/gtest.h>

#include "vcl/forms.h"

int main(int argc, char** argv) {
  // Test discovery runs this binary at build time without the tests'
  // environment; a toolkit application without a display would abort there.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  resgraft::vcl::ApplicationScope scope(argc, argv);
  return RUN_ALL_TESTS();
}
