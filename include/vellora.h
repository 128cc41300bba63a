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
 *  - a nonzero handle names a live Bitmap of the calling host process. The
 *    library checks that every host record it reads is mapped before it
 *    reads it, so a wild handle gives a status code instead of a fault; but
 *    a stale handle whose memory is still mapped, and happens to look like
 *    a Bitmap, cannot be told from a live one;
 *  - calls that touch the same bitmap do not overlap in time (the library
 *    takes no lock and keeps no state between calls);
 *  - a caller buffer holds at least the byte count passed with it.
 *  - ChangeSize releases the host's pixel buffer with free and installs one
 *    from malloc: the host must release it through the same C runtime heap
 *    (the DLL uses msvcrt's).
 *
 * What the library checks: before it reads a host record or touches a pixel
 * buffer, it asks the system whether those bytes can be touched with the
 * access it needs, and it asks about the bytes it touches and no others:
 * each export below says which. Where the system cannot be asked at all (no
 * file descriptor left for the check, a sandbox that refuses every way of
 * asking), the export returns ERR_OUT_OF_MEMORY and changes nothing.
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

/* The number Version() returns: major * 10000 + minor * 100 + patch.
 * The build takes the project's version from this line. */
#define VELLORA_VERSION 10200

/* Status codes. 0 is success, including an empty area or a no-op argument. */
#define VELLORA_OK 0
/* The bitmap handle did not resolve, in the order these are tested. */
#define ERR_NULL_HANDLE (-546000)      /* the handle is 0 */
#define ERR_NOT_BITMAP (-546001)       /* the object's flags are not a Bitmap's (0x222) */
#define ERR_NO_BITMAP_RECORD (-546002) /* the Bitmap has no bitmap record */
#define ERR_NO_INFO_HEADER (-546003)   /* the bitmap record has no info header */
#define ERR_BAD_INFO_HEADER (-546004)  /* the info header's size field is not 40 */
/* The bitmap resolved, but its pixel buffer cannot be used: width * height * 4
 * does not fit in a signed 32-bit integer, or the bytes of it that the export
 * touches (each export says which) are not mapped, with write access where the
 * export writes them. */
#define ERR_BAD_PIXEL_BUFFER (-546005)
/* A failure of the second bitmap of a two-bitmap export (BlendBlt's source,
 * ClipMask's mask) comes back as its code minus this offset: -546100 ... */
#define ERR_SECOND_BITMAP_OFFSET 100
/* A PNG save did not produce a complete file: the file failed to open (a
 * missing directory, no access, held open by another opener, an empty, null
 * or overlong path), the encoder failed (header refused, memory exhausted,
 * write failure), or the final close failed. */
#define PNG_SAVE_FAILED 1
/* ChangeSize: the new width or height is below 1, or the new
 * width * height * 4 does not fit in a signed 32-bit integer. Tested before
 * the handle; nothing was changed. */
#define ERR_BAD_SIZE (-1)
/* The process is out of memory or file descriptors: a scratch or pixel buffer
 * could not be allocated, or the system could not be asked whether a host
 * record or pixel buffer can be touched; nothing was changed. */
#define ERR_OUT_OF_MEMORY (-2)
/* GetPixelData, SetPixelData: a null buffer with a nonzero length; nothing
 * was copied. */
#define ERR_NULL_BUFFER (-3)
/* GetPixelData, SetPixelData: the length is not the bitmap's
 * width * height * 4 (0 for a bitmap without pixels); nothing was copied. */
#define ERR_SIZE_MISMATCH (-100)

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
/* The number of blend modes: they are 0 .. BLEND_MODE_COUNT - 1. */
#define BLEND_MODE_COUNT 8

/* Returns the address of the bitmap's pixel buffer (its first stored byte,
 * the bottom-left pixel's blue byte), or a resolution code (or
 * ERR_OUT_OF_MEMORY). Checks the host records it reads, not the buffer. */
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
 * resolution code of the destination, or the source's code minus 100. After
 * both resolutions it checks the rows of each buffer that the clipped area
 * covers, the destination's for writing (ERR_BAD_PIXEL_BUFFER), then the
 * source's for reading (its code minus 100); an area that clips to nothing
 * checks none. */
VELLORA_API int32_t VELLORA_CALL BlendBlt(int32_t dst_handle, int32_t dst_x, int32_t dst_y,
                                          int32_t src_handle, int32_t src_x, int32_t src_y,
                                          int32_t area_width, int32_t area_height, int32_t mode,
                                          int32_t opacity);

/* Moves each color channel of every pixel toward white (positive amount) or
 * black (negative), on a scale of 256; amounts are clamped to -256..256.
 * skip_transparent nonzero leaves pixels of alpha 0 alone. Alpha is never
 * written. Checks the whole buffer for writing. Returns 0 or a resolution
 * code. */
VELLORA_API int32_t VELLORA_CALL ChangeTone(int32_t handle, int32_t red, int32_t green,
                                            int32_t blue, int32_t skip_transparent);

/* Replaces every color byte by 255 minus itself; alpha is kept. Checks the
 * whole buffer for writing. Returns 0 or a resolution code. */
VELLORA_API int32_t VELLORA_CALL InvertColor(int32_t handle);

/* Box blur of the whole bitmap: every pixel becomes the mean of the square of
 * side 2 * radius + 1 around it, clipped to the bitmap, taken as a pass along
 * the rows then down the columns (each pass's means truncated). Colors are
 * weighted by alpha; a mean alpha below 1 gives (0, 0, 0, 0). A radius of 0
 * or less changes nothing; above 1000 acts as 1000. Needs scratch memory for
 * the call, at most 4 * width * min(2r + 3, height) + 36 * width + 48 bytes
 * (r the radius used). Checks the whole buffer for writing. Returns 0, a
 * resolution code, or ERR_OUT_OF_MEMORY (nothing changed). */
VELLORA_API int32_t VELLORA_CALL Blur(int32_t handle, int32_t radius);

/* Pixelates the area at image (x, y) of area_width x area_height, clipped to
 * the bitmap, in blocks of block_width x block_height anchored at the clipped
 * area's top-left corner; blocks at the area's right and bottom edges are cut
 * there. Each block becomes its alpha-weighted mean (mean alpha below 1 gives
 * (0, 0, 0, 0)). Block sizes below 1 act as 1; an empty area changes nothing.
 * Checks, for writing, the rows of the buffer that the clipped area covers,
 * and none for an empty area. Returns 0 or a resolution code. */
VELLORA_API int32_t VELLORA_CALL Mosaic(int32_t handle, int32_t x, int32_t y, int32_t area_width,
                                        int32_t area_height, int32_t block_width,
                                        int32_t block_height);
/* Saves the bitmap as an 8-bit RGBA PNG file, upright, every byte unchanged
 * (straight alpha; transparent pixels keep their colors). path: UTF-8, zero-
 * terminated, at most 1,023 UTF-16 units; the file is created or truncated
 * and, on Windows, shared with no other opener while the save runs. level:
 * zlib's -1 (default) or 0 (stored) to 9; any other value means -1. filters,
 * by its low byte: 0 no filtering; 1..4 Sub, Up, Average, Paeth on every row;
 * 5..7 no filtering (with a warning); 8..255 flag bits 0x08 None, 0x10 Sub,
 * 0x20 Up, 0x40 Average, 0x80 Paeth, the encoder picking one per row. Width
 * and height must lie in 1..1,000,000.
 * Checks the whole buffer for reading, where both sizes are positive.
 * Returns 0; a resolution code (no file touched); ERR_BAD_PIXEL_BUFFER (no
 * file touched); or PNG_SAVE_FAILED, leaving an empty or truncated file if the
 * open succeeded. The encoder's warnings and errors are printed on standard
 * error as "libpng warning: ..." / "libpng error: ...". */
VELLORA_API int32_t VELLORA_CALL PngSaveA(const char* path, int32_t handle, int32_t level,
                                          int32_t filters);

/* The same entry as PngSaveA under a second name. */
VELLORA_API int32_t VELLORA_CALL PngSave(const char* path, int32_t handle, int32_t level,
                                         int32_t filters);
/* Scales the alpha of every pixel of the target (handle) by a mask value / 255,
 * truncated, storing the low 8 bits of the quotient. The mask bitmap's
 * top-left pixel lies over target pixel (offset_x, offset_y); where the mask
 * covers a target pixel the mask value is the blue byte of the mask pixel over
 * it, elsewhere it is outside_value (not clamped). Only the target's alpha
 * bytes are written; the mask may be the target itself. Returns 0, the
 * target's resolution code, or the mask's code minus 100. After both
 * resolutions it checks the target's rows for writing (every row; only the
 * rows the mask covers when outside_value is 255, which changes no other
 * pixel), then, for reading, the mask's rows that lie over the target
 * (ERR_BAD_PIXEL_BUFFER, the mask's 100 lower). */
VELLORA_API int32_t VELLORA_CALL ClipMask(int32_t handle, int32_t mask_handle, int32_t offset_x,
                                          int32_t offset_y, int32_t outside_value);

/* Copies the pixel buffer, bytes as stored (BGRA, bottom row first, no
 * header), into buffer, which holds length bytes. Checks the whole pixel
 * buffer for reading (the caller's buffer cannot be checked). Returns 0, a
 * resolution code, ERR_SIZE_MISMATCH or ERR_NULL_BUFFER. */
VELLORA_API int32_t VELLORA_CALL GetPixelData(int32_t handle, uint8_t* buffer, int32_t length);

/* Overwrites the pixel buffer with the length bytes of buffer, laid out as
 * GetPixelData delivers them. Checks the whole pixel buffer for writing.
 * Returns as GetPixelData. */
VELLORA_API int32_t VELLORA_CALL SetPixelData(int32_t handle, const uint8_t* buffer,
                                              int32_t length);

/* Replaces the pixel buffer with a new one of new_width x new_height pixels,
 * all (0, 0, 0, 0), and records the new size in the bitmap's info header. The
 * old buffer is released with free and the new one comes from malloc's heap:
 * the host must release it through the same C runtime. Checks biWidth,
 * biHeight and the record's pixels pointer for writing, and, around a
 * non-null old buffer, what free touches: the two words before it for
 * reading (the heap's, which it never writes) and its first two words for
 * writing. Returns 0, ERR_BAD_SIZE (before the handle is looked at), a
 * resolution code (ERR_NO_INFO_HEADER or ERR_NO_BITMAP_RECORD also when the
 * fields it writes are read-only), ERR_BAD_PIXEL_BUFFER when the old buffer's
 * words cannot be touched so, or ERR_OUT_OF_MEMORY; on every failure the
 * bitmap is unchanged. */
VELLORA_API int32_t VELLORA_CALL ChangeSize(int32_t handle, int32_t new_width, int32_t new_height);

/* The calling process's first top-level window of class "RGSS Player"
 * (case-sensitive), in the window system's enumeration order, as a 32-bit
 * value; 0 when there is none, and always 0 outside Windows. */
VELLORA_API int32_t VELLORA_CALL GetGameHWND(void);

#ifdef __cplusplus
}
#endif

#endif /* VELLORA_H */
