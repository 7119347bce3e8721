// What the processor offers beyond the baseline the program is built for.
#pragma once

namespace ambrel {

// Whether the processor runs AVX2 (false where the build has no way to ask).
bool CpuHasAvx2();

}  // namespace ambrel
