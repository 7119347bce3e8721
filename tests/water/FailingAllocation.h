// Makes the nothrow array allocations of this test program fail on demand.
#pragma once

namespace ambrel {

// The next `count` nothrow array allocations succeed and the one after fails;
// a negative count lets all of them succeed.
void FailArrayAllocationAfter(int count);

}  // namespace ambrel
