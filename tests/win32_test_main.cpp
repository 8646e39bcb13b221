// The entry point of every Windows test program: the tree links with -municode, and
// GoogleTest's own main is the narrow one.
#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
