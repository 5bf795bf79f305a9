#include <cstdlib>

#include <gtest/gtest.h>

#include "vcl/forms.h"

int main(int argc, char** argv) {
  // Test discovery runs this binary without the tests' environment; the toolkit
  // needs a platform, and offscreen needs no display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  resgraft::vcl::ApplicationScope scope(argc, argv);
  return RUN_ALL_TESTS();
}
