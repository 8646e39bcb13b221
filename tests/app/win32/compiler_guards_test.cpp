// The guards that the tree's compile flags put into every Windows program, the program's own
// code included: a write past a buffer ends the process instead of going on with broken memory.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace {

// The count comes from the caller at run time, so that only the guards can see the overflow.
__attribute__((noinline)) char CopyIntoEightBytes(const char* source, std::size_t count) {
  char buffer[8] = {};
  std::memcpy(buffer, source, count);  // the copy's size is checked against the buffer's
  return buffer[7];
}

__attribute__((noinline)) char FillEightBytesThroughAPointer(std::size_t count) {
  char buffer[8];
  char* unknown = buffer;
  asm volatile("" : "+r"(unknown));  // the buffer's size is hidden: the stack guard catches it
  std::memset(unknown, 'x', count);
  return unknown[0];
}

TEST(CompilerGuardsDeathTest, AWritePastALocalBufferEndsTheProcess) {
  static const char source[64] = "a text longer than eight bytes, and its end";
  volatile std::size_t fits = 8;
  volatile std::size_t tooLong = sizeof(source);
  EXPECT_EQ(CopyIntoEightBytes(source, fits), source[7]);
  EXPECT_EQ(FillEightBytesThroughAPointer(fits), 'x');
  EXPECT_DEATH(CopyIntoEightBytes(source, tooLong), "buffer overflow detected");
  EXPECT_DEATH(FillEightBytesThroughAPointer(tooLong), "stack smashing detected");
}

}  // namespace
