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
 *  - ChangeSize releases the host's pixel buffer with free and installs one
 *    from malloc: the host must release it through the same C runtime heap
 *    (the DLL uses msvcrt's).
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
/* ChangeSize: the new width or height is below 1, or the new
 * width * height * 4 does not fit in a signed 32-bit integer. Tested before
 * the handle; nothing was changed. */
#define ERR_BAD_SIZE (-1)
/* a scratch or pixel buffer could not be allocated; nothing was changed */
#define ERR_OUT_OF_MEMORY (-2)
/* GetPixelData, SetPixelData: a null buffer with a nonzero length; nothing
 * was copied. */
#define ERR_NULL_BUFFER (-3)
/* GetPixelData, SetPixelData: the length is not the bitmap's
 * width * height * 4 (0 for a bitmap without pixels); nothing was copied. */
#define ERR_SIZE_MISMATCH (-100)

/* Returns the address of the bitmap's pixel buffer (its first stored byte,
 * the bottom-left pixel's blue byte), or a resolution code. */
VELLORA_API int32_t VELLORA_CALL GetAddress(int32_t handle);

/* Returns VELLORA_VERSION. */
VELLORA_API int32_t VELLORA_CALL Version(void);

/* Moves each color channel of every pixel toward white (positive amount) or
 * black (negative), on a scale of 256; amounts are clamped to -256..256.
 * skip_transparent nonzero leaves pixels of alpha 0 alone. Alpha is never
 * written. Returns 0 or a resolution code. */
VELLORA_API int32_t VELLORA_CALL ChangeTone(int32_t handle, int32_t red, int32_t green,
                                            int32_t blue, int32_t skip_transparent);

/* Replaces every color byte by 255 minus itself; alpha is kept. Returns 0 or
 * a resolution code. */
VELLORA_API int32_t VELLORA_CALL InvertColor(int32_t handle);

/* Scales the alpha of every pixel of the target (handle) by a mask value / 255,
 * truncated, storing the low 8 bits of the quotient. The mask bitmap's
 * top-left pixel lies over target pixel (offset_x, offset_y); where the mask
 * covers a target pixel the mask value is the blue byte of the mask pixel over
 * it, elsewhere it is outside_value (not clamped). Only the target's alpha
 * bytes are written; the mask may be the target itself. Returns 0, the
 * target's resolution code, or the mask's code minus 100. */
VELLORA_API int32_t VELLORA_CALL ClipMask(int32_t handle, int32_t mask_handle, int32_t offset_x,
                                          int32_t offset_y, int32_t outside_value);

/* Copies the pixel buffer, bytes as stored (BGRA, bottom row first, no
 * header), into buffer, which holds length bytes. Returns 0, a resolution
 * code, ERR_SIZE_MISMATCH or ERR_NULL_BUFFER. */
VELLORA_API int32_t VELLORA_CALL GetPixelData(int32_t handle, uint8_t* buffer, int32_t length);

/* Overwrites the pixel buffer with the length bytes of buffer, laid out as
 * GetPixelData delivers them. Returns as GetPixelData. */
VELLORA_API int32_t VELLORA_CALL SetPixelData(int32_t handle, const uint8_t* buffer,
                                              int32_t length);

/* Replaces the pixel buffer with a new one of new_width x new_height pixels,
 * all (0, 0, 0, 0), and records the new size in the bitmap's info header. The
 * old buffer is released with free and the new one comes from malloc's heap:
 * the host must release it through the same C runtime. Returns 0,
 * ERR_BAD_SIZE (before the handle is looked at), a resolution code, or
 * ERR_OUT_OF_MEMORY with the bitmap unchanged. */
VELLORA_API int32_t VELLORA_CALL ChangeSize(int32_t handle, int32_t new_width, int32_t new_height);

/* The calling process's first top-level window of class "RGSS Player"
 * (case-sensitive), in the window system's enumeration order, as a 32-bit
 * value; 0 when there is none, and always 0 outside Windows. */
VELLORA_API int32_t VELLORA_CALL GetGameHWND(void);

#ifdef __cplusplus
}
#endif

#endif /* VELLORA_H */
