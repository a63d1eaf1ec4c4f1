/* Plain types shared by the exported image classes: the packed bitmap header of a DIB block,
 * palette entries, rectangles and the visibility attribute of the exported names.
 *
 * A DIB block is one contiguous allocation: a 40-byte BITMAPINFOHEADER, the palette
 * (colours used x 4 bytes: blue, green, red, reserved) and the pixel rows bottom-up, each
 * padded to a multiple of 4 bytes; 24-bit pixels are stored blue, green, red.
 */
#ifndef KV_XIMAGE_TYPES_H
#define KV_XIMAGE_TYPES_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define KV_IMAGE_API __attribute__((visibility("default")))
#else
#define KV_IMAGE_API
#endif

#ifndef KV_DIB_TYPES_DEFINED
#define KV_DIB_TYPES_DEFINED

#pragma pack(push, 1)
/* Little-endian on every platform this builds for. */
typedef struct tagBITMAPINFOHEADER {
    uint32_t biSize;          /* 40 */
    int32_t biWidth;
    int32_t biHeight;         /* positive: rows run bottom-up */
    uint16_t biPlanes;        /* 1 */
    uint16_t biBitCount;      /* 1, 4, 8 or 24 in a DIB block */
    uint32_t biCompression;   /* 0 = uncompressed */
    uint32_t biSizeImage;     /* effective width x height */
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} BITMAPINFOHEADER;

typedef struct tagRGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
} RGBQUAD;
#pragma pack(pop)

#endif /* KV_DIB_TYPES_DEFINED */

/* A rectangle in pixels; right and bottom are exclusive, y grows downwards. */
typedef struct CxRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} CxRect;

#ifdef __cplusplus
static_assert(sizeof(BITMAPINFOHEADER) == 40, "packed bitmap header");
static_assert(sizeof(RGBQUAD) == 4, "packed palette entry");
#endif

#endif
