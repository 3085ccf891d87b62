/* A frame-hook library for the tests: inverts the luma of 8-bit YUV and grey pictures and
 * records how it was configured, so that the tests can read back what the engine did with it.
 * Built three ways: whole (libinvert.so), without Process (libnoprocess.so) and without
 * Configure (libnoconfigure.so). */
#include <libavutil/pixfmt.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "engine/FrameHookApi.h"

#define EXPORT __attribute__((visibility("default")))

/* Counters over all contexts (the conversions may run at once). */
static int loads, configures, releases, processed;
static char lastArguments[4096];

__attribute__((constructor)) static void loaded(void) {
    __atomic_add_fetch(&loads, 1, __ATOMIC_SEQ_CST);
}

EXPORT int hooktest_loads(void) { return __atomic_load_n(&loads, __ATOMIC_SEQ_CST); }
EXPORT int hooktest_configures(void) { return __atomic_load_n(&configures, __ATOMIC_SEQ_CST); }
EXPORT int hooktest_releases(void) { return __atomic_load_n(&releases, __ATOMIC_SEQ_CST); }
EXPORT int hooktest_processed(void) { return __atomic_load_n(&processed, __ATOMIC_SEQ_CST); }
/* The arguments of the last Configure call, one per line. */
EXPORT const char* hooktest_last_arguments(void) { return lastArguments; }

typedef struct Context {
    int pictures;
} Context;

#ifndef HOOK_WITHOUT_CONFIGURE
EXPORT int Configure(void** ctx, int argc, char* argv[]) {
    size_t used = 0;
    lastArguments[0] = 0;
    for (int i = 0; i < argc; ++i) {
        const size_t n = strlen(argv[i]);
        if (used + n + 2 > sizeof lastArguments) break;
        if (i) lastArguments[used++] = '\n';
        memcpy(lastArguments + used, argv[i], n);
        used += n;
        lastArguments[used] = 0;
    }
    __atomic_add_fetch(&configures, 1, __ATOMIC_SEQ_CST);
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "refuse") == 0) return 5;
    *ctx = calloc(1, sizeof(Context));
    return *ctx ? 0 : 1;
}
#endif

#ifndef HOOK_WITHOUT_PROCESS
static int lumaFirst(int format) {
    switch (format) {
        case AV_PIX_FMT_YUV420P:
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUV422P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUV444P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUV411P:
        case AV_PIX_FMT_YUV410P:
        case AV_PIX_FMT_YUV440P:
        case AV_PIX_FMT_GRAY8:
        case AV_PIX_FMT_NV12:
        case AV_PIX_FMT_NV21:
            return 1;
        default:
            return 0;
    }
}

EXPORT void Process(void* ctx, HookPicture* pic, int pix_fmt, int width, int height,
                    int64_t pts_us) {
    (void)pts_us;
    if (ctx) ((Context*)ctx)->pictures++;
    __atomic_add_fetch(&processed, 1, __ATOMIC_SEQ_CST);
    if (!lumaFirst(pix_fmt)) return;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pic->data[0] + (ptrdiff_t)y * pic->linesize[0];
        for (int x = 0; x < width; ++x) row[x] = (uint8_t)(255 - row[x]);
    }
}
#endif

EXPORT void Release(void* ctx) {
    __atomic_add_fetch(&releases, 1, __ATOMIC_SEQ_CST);
    free(ctx);
}
