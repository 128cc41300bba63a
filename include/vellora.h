/*
 * vellora: in-place operations on the pixel buffers of RGSS Bitmap objects.
 *
 * Every export takes and returns 32-bit values. A bitmap handle is the host's
 * object identifier of a Bitmap (Ruby's object_id); the host object lives at
 * handle * 2. Pixels are BGRA bytes, straight alpha, rows stored bottom-up;
 * coordinates passed to the exports are image coordinates with (0, 0) at the
 * top-left pixel.
 *
 * What the caller must guarantee:
 *  - a nonzero handle names a live Bitmap of the calling host process; the
 *    library cannot tell a stale object_id from a live one before it reads
 *    the memory at handle * 2;
 *  - calls that touch the same bitmap do not overlap in time (the library
 *    takes no lock and keeps no state between calls);
 *  - a caller buffer holds at least the byte count passed with it.
 *
 * On Windows the exports use __stdcall and undecorated names, as the
 * runtime's Win32API bridge expects; elsewhere the platform's C convention.
 */
#ifndef VELLORA_H
#define VELLORA_H

#include <stdint.h>

#if defined(_WIN32)
#define VELLORA_CALL __stdcall
#define VELLORA_API
#elif defined(VELLORA_BUILDING)
#define VELLORA_CALL
#define VELLORA_API __attribute__((visibility("default")))
#else
#define VELLORA_CALL
#define VELLORA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The number Version() returns. */
#define VELLORA_VERSION 10200

/* Status codes. 0 is success, including an empty area or a no-op argument. */
#define VELLORA_OK 0
/* The bitmap handle did not resolve, in the order these are tested. */
#define ERR_NULL_HANDLE (-546000)      /* the handle is 0 */
#define ERR_NOT_BITMAP (-546001)       /* the object's flags are not a Bitmap's (0x222) */
#define ERR_NO_BITMAP_RECORD (-546002) /* the Bitmap has no bitmap record */
#define ERR_NO_INFO_HEADER (-546003)   /* the bitmap record has no info header */
#define ERR_BAD_INFO_HEADER (-546004)  /* the info header's size field is not 40 */
/* The bitmap resolved, but width * height * 4 does not fit in a signed 32-bit
 * integer, so no buffer of that size can be addressed. */
#define ERR_BAD_PIXEL_BUFFER (-546005)
/* A failure of the second bitmap of a two-bitmap export (BlendBlt's source,
 * ClipMask's mask) comes back as its code minus this offset: -546100 ... */
#define ERR_SECOND_BITMAP_OFFSET 100

/* Blend modes of BlendBlt. Modes 0..2 weigh the straight colors by alpha and
 * the opacity and never lower the destination's alpha; modes 3..7 combine
 * colors premultiplied by their own alphas, ignore the opacity and leave the
 * destination opaque. Any other mode value changes nothing. */
#define BLEND_NORMAL 0      /* the source laid over the destination */
#define BLEND_ADD 1         /* colors added, the more transparent one scaled by the alpha ratio */
#define BLEND_SUBTRACT 2    /* the source's colors subtracted, scaled likewise */
#define BLEND_MULTIPLY 3    /* Ps * Pd / 255 */
#define BLEND_COLOR_DODGE 4 /* Pd * 255 / (255 - Ps), at most 255 */
#define BLEND_COLOR_BURN 5  /* 255 - (255 - Pd) * 255 / Ps, at least 0 */
#define BLEND_SCREEN 6      /* 255 - (255 - Ps) * (255 - Pd) / 255 */
#define BLEND_OVERLAY 7     /* multiply below Pd 128, screen from 128 up, doubled */

/* Returns the address of the bitmap's pixel buffer (its first stored byte,
 * the bottom-left pixel's blue byte), or a resolution code. */
VELLORA_API int32_t VELLORA_CALL GetAddress(int32_t handle);

/* Returns VELLORA_VERSION. */
VELLORA_API int32_t VELLORA_CALL Version(void);

/* Blends the area_width x area_height area of the source at (src_x, src_y)
 * onto the destination at (dst_x, dst_y) in `mode` (BLEND_*) with `opacity`
 * (the source's strength in modes 0..2; values outside 0..255 act as the
 * nearer bound). The area is clipped against both bitmaps, silently. The two
 * may be the same bitmap, even with overlapping areas: pairs are visited
 * column by column from the left, each column from the top down, and a source
 * pixel written earlier in the call is read with its new value. Returns 0, a
 * resolution code of the destination, or the source's code minus 100. */
VELLORA_API int32_t VELLORA_CALL BlendBlt(int32_t dst_handle, int32_t dst_x, int32_t dst_y,
                                          int32_t src_handle, int32_t src_x, int32_t src_y,
                                          int32_t area_width, int32_t area_height, int32_t mode,
                                          int32_t opacity);

/* Moves each color channel of every pixel toward white (positive amount) or
 * black (negative), on a scale of 256; amounts are clamped to -256..256.
 * skip_transparent nonzero leaves pixels of alpha 0 alone. Alpha is never
 * written. Returns 0 or a resolution code. */
VELLORA_API int32_t VELLORA_CALL ChangeTone(int32_t handle, int32_t red, int32_t green,
                                            int32_t blue, int32_t skip_transparent);

/* Replaces every color byte by 255 minus itself; alpha is kept. Returns 0 or
 * a resolution code. */
VELLORA_API int32_t VELLORA_CALL InvertColor(int32_t handle);

#ifdef __cplusplus
}
#endif

#endif /* VELLORA_H */
