// Shared by the fuzz targets: a small area limit, so that a header that
// claims a large picture costs milliseconds, not the whole time budget.
#pragma once

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // 2^22 pixels: 12 MB of BGR, still far more than any input under
    // fuzz.sh's 64 KB can describe in real pixels.
    setenv("QZGFX_MAX_PIXELS", "4194304", 0);
    return 0;
}
