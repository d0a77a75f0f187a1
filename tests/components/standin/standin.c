/*
 * A stand-in for libqzgfx.so that the component tests load by module name to
 * see exactly what the components call, and to provoke the faults the real
 * library never shows.
 *
 * Every call appends one line to the file named by QZ_STANDIN_LOG:
 *   _Pic_Valid <name>
 *   _anytobmps|_anyto256|_anytogrey <source> <bitmap> <ReadFlags> <pcd> <scale>
 * A "conversion" copies the source's bytes to the bitmap, so a test decides
 * the picture by writing a BMP under whatever name it loads. It then sets
 * ReadFlags to 0x5A5A, which a caller must clear before its next read.
 * QZ_STANDIN_INVALID set: _Pic_Valid answers false.
 * QZ_STANDIN_FAIL set: conversions still write the bitmap, then answer false
 * (a library that gave up half way), so a test sees it deleted all the same.
 * _Pic_Valid answers false for the empty name, as the real library does.
 * Built without _Pic_Valid when QZ_STANDIN_NO_PICVALID is defined.
 */
#include "graphics.h"

#include <stdio.h>
#include <stdlib.h>

static void LogLine(const char *text)
{
    const char *log = getenv("QZ_STANDIN_LOG");
    if (!log || !*log)
        return;
    FILE *f = fopen(log, "a");
    if (!f)
        return;
    fprintf(f, "%s\n", text);
    fclose(f);
}

static int CopyBytes(const char *source, const char *target)
{
    FILE *in = fopen(source, "rb");
    if (!in)
        return 0;
    FILE *out = fopen(target, "wb");
    if (!out) {
        fclose(in);
        return 0;
    }
    char chunk[65536];
    size_t n;
    int ok = 1;
    while ((n = fread(chunk, 1, sizeof chunk, in)) > 0)
        if (fwrite(chunk, 1, n, out) != n)
            ok = 0;
    fclose(in);
    if (fclose(out) != 0)
        ok = 0;
    return ok;
}

static int32_t Convert(const char *routine, const char *source, const char *bitmap, ImageInfo *info,
                       int32_t pcdCode, int32_t jpegScale)
{
    char line[8192];
    snprintf(line, sizeof line, "%s %s %s %d %d %d", routine, source, bitmap,
             info ? (int)info->ReadFlags : -1, (int)pcdCode, (int)jpegScale);
    LogLine(line);
    if (info)
        info->ReadFlags = 0x5A5A;
    const int32_t copied = CopyBytes(source, bitmap);
    return getenv("QZ_STANDIN_FAIL") ? 0 : copied;
}

int32_t _anytobmps(const char *source, const char *bitmap, ImageInfo *info, int32_t pcdCode, int32_t jpegScale)
{
    return Convert("_anytobmps", source, bitmap, info, pcdCode, jpegScale);
}

int32_t _anyto256(const char *source, const char *bitmap, ImageInfo *info, int32_t pcdCode, int32_t jpegScale)
{
    return Convert("_anyto256", source, bitmap, info, pcdCode, jpegScale);
}

int32_t _anytogrey(const char *source, const char *bitmap, ImageInfo *info, int32_t pcdCode, int32_t jpegScale)
{
    return Convert("_anytogrey", source, bitmap, info, pcdCode, jpegScale);
}

#ifndef QZ_STANDIN_NO_PICVALID
int32_t _Pic_Valid(const char *fileName)
{
    char line[8192];
    snprintf(line, sizeof line, "_Pic_Valid %s", fileName);
    LogLine(line);
    return (getenv("QZ_STANDIN_INVALID") || !*fileName) ? 0 : 1;
}
#endif
