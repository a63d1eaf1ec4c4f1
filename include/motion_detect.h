/* Frame-difference motion measure exported by both modules.
 *
 * Compares two 8-bit pictures of width x height bytes (rows top to bottom, no padding) and
 * writes, for each cell of a 16x16-pixel grid, how many pixels differ by more than
 * threshold, saturated at 255. The output holds (width / 16 + 1) x (height / 16 + 1) bytes,
 * row-major; the caller provides it. Non-positive sizes, null pointers or a failed
 * allocation leave the output untouched.
 */
#ifndef KV_MOTION_DETECT_H
#define KV_MOTION_DETECT_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define KV_MOTION_API __attribute__((visibility("default")))
#else
#define KV_MOTION_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

KV_MOTION_API void MotionDetect(const unsigned char* first, const unsigned char* second, unsigned char* output,
                                int32_t width, int32_t height, int32_t threshold);

#ifdef __cplusplus
}
#endif

#endif
