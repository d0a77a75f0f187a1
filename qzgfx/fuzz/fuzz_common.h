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

// dav1d (AV1, under libheif) keeps 40 bytes for good after some corrupt AVIF
// streams; a leak in the system's decoder, not in our code. Only that
// library is named, so that a context we forget to free still shows.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdav1d.so\n";
}
