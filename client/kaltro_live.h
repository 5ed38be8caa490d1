/*
 * kaltro_live.h - video targets of the device client library.
 *
 * A front end registers each area that shows live video and passes the
 * target id it gets in LIVE_PARAM.video_target (or later with live command
 * LIVE_CTRL_VIDEO_TARGET). The library decodes the stream and hands every
 * picture to the target's callback, on a library thread.
 */
#ifndef KALTRO_LIVE_H
#define KALTRO_LIVE_H

/* Beside this header both in the source tree and where it is installed. */
#include "kaltro_client.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One decoded picture. Valid only during the callback: copy what you keep. */
typedef struct KALTRO_VIDEO_FRAME {
    int32_t width;          /* pixels */
    int32_t height;
    int32_t stride;         /* bytes per row */
    const uint8_t *pixels;  /* 32-bit pixels 0xffRRGGBB in native byte order */
    /* The part to show, in picture pixels: the whole picture, or the
     * rectangle the digital zoom (LIVE_CTRL_ZOOM) selected. */
    int32_t crop_x;
    int32_t crop_y;
    int32_t crop_width;
    int32_t crop_height;
    uint32_t sequence;      /* the device's frame number */
    uint64_t capture_ms;    /* the device's clock when it took the picture */
} KALTRO_VIDEO_FRAME;

/* Runs on a library thread; must return quickly and must not wait for the
 * thread that unregisters the target. A frame whose pixels are NULL (width
 * and height 0) says the stream that fed the target ended: show no picture
 * rather than keep the last one as if it were live. */
typedef void (*KALTRO_VIDEO_CB)(uint32_t target, const KALTRO_VIDEO_FRAME *frame, void *user);

/* Option bits of LIVE_CTRL_OPTIONS. */
#define LIVE_OPT_FREEZE 0x1 /* keep showing the last picture; decoding pauses */

/* *target receives a new id (never 0). Usable without Network_ClientInit. */
KALTRO_API int32_t Network_ClientRegisterVideoTarget(uint32_t *target, KALTRO_VIDEO_CB callback, void *user);
/* The target's size on screen, so a zoom centre given in its pixels maps to
 * the picture. Until it is set the centre is taken as the picture's centre. */
KALTRO_API int32_t Network_ClientSetVideoTargetSize(uint32_t target, int32_t width, int32_t height);
/* No callback for the target runs once this returned. */
KALTRO_API int32_t Network_ClientUnregisterVideoTarget(uint32_t target);
/* Hands a picture (or the end mark above) from another source of live video
 * in the process to the target's callback, on the caller's thread, exactly
 * as the library's own streams do; NETWORK_ERR_INVALID_HANDLE when there is
 * no such target. The caller's frame is only read during the call. */
KALTRO_API int32_t Network_ClientDeliverVideoFrame(uint32_t target, const KALTRO_VIDEO_FRAME *frame);

#ifdef __cplusplus
}
#endif

#endif /* KALTRO_LIVE_H */
