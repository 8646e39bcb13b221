/* The stack guard's value, the checked copies, and what happens when a guard or a checked copy
   finds memory overwritten, for the code built with -fstack-protector-strong and
   _FORTIFY_SOURCE. The value
   is mixed from what the process has at hand (times, identifiers, addresses that change with
   each start), as the system's own compilers do it, so that no DLL is loaded before wWinMain. */
#include <windows.h>

#include <stdint.h>
#include <string.h>

uintptr_t __stack_chk_guard;

void __stack_chk_fail(void);
void __chk_fail(void);
void* __memcpy_chk(void* to, const void* from, size_t count, size_t room);
void* __memmove_chk(void* to, const void* from, size_t count, size_t room);
void* __memset_chk(void* to, int byte, size_t count, size_t room);
char* __strcpy_chk(char* to, const char* from, size_t room);
char* __strcat_chk(char* to, const char* from, size_t room);
char* __strncpy_chk(char* to, const char* from, size_t count, size_t room);
char* __strncat_chk(char* to, const char* from, size_t count, size_t room);

/* Before every other start-up function of the program, so that none returns through a guard
   set with another value. */
__attribute__((constructor(101))) static void SetStackGuard(void) {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t value = (uint64_t)counter.QuadPart;
  value ^= ((uint64_t)now.dwHighDateTime << 32 | now.dwLowDateTime) * 0x9E3779B97F4A7C15ull;
  value ^= (uint64_t)GetCurrentProcessId() << 32 ^ GetCurrentThreadId();
  value ^= GetTickCount64() << 16;
  value ^= (uint64_t)(uintptr_t)&counter ^ (uint64_t)(uintptr_t)&__stack_chk_guard << 8;
  /* A zero byte first: a runaway string copy stops at the guard instead of rewriting it. */
  __stack_chk_guard = (uintptr_t)(value & ~(uint64_t)0xFF);
}

static void __attribute__((noreturn)) Fail(const char* report, DWORD length) {
  HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  if (errors != NULL && errors != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(errors, report, length, &written, NULL);
  }
  /* No unwinding, no handlers: the memory they would run on is not to be trusted. */
  TerminateProcess(GetCurrentProcess(), (UINT)STATUS_STACK_BUFFER_OVERRUN);
  __builtin_trap();
}

void __stack_chk_fail(void) {
  static const char report[] = "*** stack smashing detected ***: terminated\n";
  Fail(report, sizeof(report) - 1);
}

void __chk_fail(void) {
  static const char report[] = "*** buffer overflow detected ***: terminated\n";
  Fail(report, sizeof(report) - 1);
}

/* The copies the compiler checks where it knows the room at the destination ("room"). */

void* __memcpy_chk(void* to, const void* from, size_t count, size_t room) {
  if (count > room) {
    __chk_fail();
  }
  return memcpy(to, from, count);
}

void* __memmove_chk(void* to, const void* from, size_t count, size_t room) {
  if (count > room) {
    __chk_fail();
  }
  return memmove(to, from, count);
}

void* __memset_chk(void* to, int byte, size_t count, size_t room) {
  if (count > room) {
    __chk_fail();
  }
  return memset(to, byte, count);
}

char* __strcpy_chk(char* to, const char* from, size_t room) {
  const size_t length = strlen(from);
  if (length >= room) {
    __chk_fail();
  }
  return memcpy(to, from, length + 1);
}

char* __strcat_chk(char* to, const char* from, size_t room) {
  const size_t start = strlen(to);
  const size_t length = strlen(from);
  if (start + length >= room) {
    __chk_fail();
  }
  memcpy(to + start, from, length + 1);
  return to;
}

char* __strncpy_chk(char* to, const char* from, size_t count, size_t room) {
  if (count > room) {
    __chk_fail();
  }
  return strncpy(to, from, count);
}

char* __strncat_chk(char* to, const char* from, size_t count, size_t room) {
  const size_t start = strlen(to);
  const size_t length = strnlen(from, count);
  if (start + length >= room) {
    __chk_fail();
  }
  memcpy(to + start, from, length);
  to[start + length] = '\0';
  return to;
}
