// Makes one chosen allocation of the calling thread fail, for the tests of
// what the exports and the log store do when memory runs out. The program
// that includes failing_allocation.cc replaces the global operator new for
// itself and for the shared library it loads: every allocation counts, the
// library's as well as the standard library's.
#pragma once

namespace qorlog::testing {

// The `n`th allocation of this thread from now on fails (std::bad_alloc, or
// null from a nothrow new); 0 makes none fail.
void FailAllocation(long n);
// Whether the allocation chosen by the last FailAllocation has failed yet.
bool AllocationFailed();

}  // namespace qorlog::testing
