// What the processor offers beyond the baseline the program is built for.
#pragma once

namespace ambrel {

// Whether the processor runs AVX2 (false where the build has no way to ask).
bool CpuHasAvx2();

// Whether it runs AVX-512 with byte and word instructions (F and BW), and the
// system keeps its registers.
bool CpuHasAvx512();

}  // namespace ambrel
