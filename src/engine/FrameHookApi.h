/* The interface of an external frame-hook library, as the conversion engine loads it.
 *
 * A hook library is a shared object that exports three C functions:
 *
 *   int  Configure(void **ctx, int argc, char *argv[]);
 *       Called once when the hook is added to a conversion ("-vhook" value), on the thread that
 *       builds the task. argv[0] is the library's path, argv[1..argc-1] the hook's arguments
 *       (the value split at "|" when it contains one, else at spaces; empty pieces are dropped).
 *       The strings live only for the call. Store private state in *ctx. Return 0 to accept the
 *       hook; any other value refuses it. May be left out when the hook takes no arguments.
 *
 *   void Process(void *ctx, HookPicture *pic, int pix_fmt, int width, int height,
 *                int64_t pts_us);
 *       Called for every decoded picture of the conversion, on its worker thread, before the
 *       picture is scaled and encoded. The picture is the engine's private copy: change it in
 *       place, within width x height and the given line sizes. pix_fmt is the picture's
 *       AVPixelFormat value of the FFmpeg 5.1 libraries (0 = yuv420p); pts_us is the input
 *       stream's time in microseconds. Required.
 *
 *   void Release(void *ctx);
 *       Called once when the conversion is released. Optional.
 *
 * One library may serve several conversions at once, each with its own context: Process must
 * not share writable state between contexts without its own locking. The engine loads a
 * library once per process (by its canonical path, RTLD_NOW | RTLD_LOCAL) and never unloads it.
 */
#ifndef TANDREL_ENGINE_FRAMEHOOKAPI_H
#define TANDREL_ENGINE_FRAMEHOOKAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Up to four planes, as the media libraries lay a picture out. Unused planes are null. */
typedef struct HookPicture {
    uint8_t *data[4];
    int linesize[4];
} HookPicture;

typedef int (*FrameHookConfigureFn)(void **ctx, int argc, char *argv[]);
typedef void (*FrameHookProcessFn)(void *ctx, HookPicture *pic, int pix_fmt, int width,
                                   int height, int64_t pts_us);
typedef void (*FrameHookReleaseFn)(void *ctx);

#ifdef __cplusplus
}
#endif

#endif /* TANDREL_ENGINE_FRAMEHOOKAPI_H */
