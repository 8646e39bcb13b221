// Memory running out, on request, for the window tests.
#pragma once

// The calling thread's next allocation through operator new throws std::bad_alloc.
void FailNextAllocation();
