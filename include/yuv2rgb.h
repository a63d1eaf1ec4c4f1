/* Planar YUV 4:2:0 to 24-bit bottom-up BGR conversion exported by both modules.
 *
 * Calling order: init_YUV2RGB_tab when playback starts, ConvertYUVtoRGB for every decoded
 * picture, delete_YUV2RGB_tab when playback stops. The tables are shared by the whole module
 * without a lock: do not delete them while a conversion can run.
 *
 * Conversion: limited-range BT.601 in 16.16 fixed point, per pixel
 *   blue  = clip((76309 (Y - 16) + 132201 (U - 128)) >> 16)
 *   green = clip((76309 (Y - 16) - 53279 (V - 128) - 25675 (U - 128)) >> 16)
 *   red   = clip((76309 (Y - 16) + 104597 (V - 128)) >> 16)
 * with clip to 0...255. (Y 235, U = V = 128 therefore gives 254, not 255.)
 *
 * Source: the Y plane (width x height bytes, stride width), then the U plane and then the V
 * plane, each (width / 2) x (height / 2) bytes (rounded down), stride width / 2: exactly what
 * decoder_decode writes. Pixel (x, y) uses chroma sample (x / 2, y / 2); where that lies past
 * the chroma plane (the last column of an odd width, the last row of an odd height) the last
 * chroma column or row is used instead. When a chroma plane is empty (width or height 1) the
 * pixels use U = V = 128.
 *
 * Destination: width x height x 3 bytes, pixels blue, green, red, rows 3 x width bytes apart
 * without padding, bottom-up (the top picture row is the last destination row). Nothing is
 * read or written outside these sizes. Nothing is written when width or height is below 1,
 * when a pointer is null, or when the tables are not initialised.
 */
#ifndef KV_YUV2RGB_H
#define KV_YUV2RGB_H

#if defined(__GNUC__) || defined(__clang__)
#define KV_YUV2RGB_API __attribute__((visibility("default")))
#else
#define KV_YUV2RGB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Builds the tables; does nothing while they exist. */
KV_YUV2RGB_API void init_YUV2RGB_tab(void);

/* Frees the tables; a later init builds them again. */
KV_YUV2RGB_API void delete_YUV2RGB_tab(void);

/* Converts one picture (see above). */
KV_YUV2RGB_API void ConvertYUVtoRGB(const unsigned char* source, unsigned char* destination, int width, int height);

#ifdef __cplusplus
}

#include <cstdint>

namespace kv {
/* Inspection for tests (not exported): the clip table's address (entry for 0), or null while
 * the tables are absent, and the five coefficient tables by index 0 Y, 1 V to red, 2 U to
 * green, 3 V to green, 4 U to blue. */
const unsigned char* Yuv2RgbClipTable();
const std::int32_t* Yuv2RgbCoefficientTable(int which);
/* Converts through one implementation: the table lookups, or the vector paths (which fall
 * back to the narrower ones for the columns they do not cover). All give the same result;
 * false when this processor lacks the path. */
enum class Yuv2RgbPath { Tables, Avx2, Avx512 };
bool ConvertYUVtoRGBUsing(Yuv2RgbPath path, const unsigned char* source, unsigned char* destination, int width,
                          int height);
} // namespace kv
#endif

#endif
