// The program's allocations, replaced for the window tests so that one can be made to fail.
#include "failing_allocation.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<DWORD> failingThread{0};

}  // namespace

void FailNextAllocation() {
  failingThread = GetCurrentThreadId();
}

void* operator new(std::size_t size) {
  DWORD thread = GetCurrentThreadId();
  if (failingThread.load() == thread && failingThread.compare_exchange_strong(thread, 0)) {
    throw std::bad_alloc();
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) {
    return memory;
  }
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
