/* MPEG-4 (Simple profile subset) video decoder exported by both modules.
 *
 * Calling order: decoder_create when playback starts; for each compressed picture
 * decoder_decode; decoder_destroy when playback stops.
 *
 * Input length: decoder_decode takes the input's byte count through its length argument.
 * The decoder never reads past it; input that runs out before the picture is complete fails
 * the call. On entry *length holds the number of input bytes; on return it holds the byte
 * position reached (just past the picture's stuffing) on success, or 4 on failure.
 *
 * Output size: after each successful call the picture in the caller's buffer is planar YUV
 * 4:2:0 without padding: Y (width x height), then U and V ((width / 2) x (height / 2) each),
 * width x height x 3 / 2 bytes in all. While upscaleOutput is set (no video object layer
 * header seen yet) the planes are twice as wide and high: 6 x width x height bytes in all.
 * A caller that allocates 6 x width x height bytes of the values read right after
 * decoder_create (the module's largest picture) is safe in every state.
 *
 * Headers: while expectHeaders is set, a call first reads the configuration headers (visual
 * object sequence, visual object, video object, video object layer, user data; group-of-VOP
 * headers are passed over) up to the first VOP. A video object layer header that uses
 * optional fields or tools this decoder does not have, or whose picture is larger than the
 * module's maximum (1024 x 768 viewer, 640 x 480 motion setup), is refused: the call fails,
 * expectHeaders stays set, width and height keep their values, and no picture is decoded until
 * an acceptable layer header arrives. Later calls take one VOP each (a group-of-VOP header in
 * front of it is passed over). B-, S- and not-coded VOPs output the previous picture.
 *
 * Post-filter: while postFilter is set (viewer module only) the picture written to the
 * caller's buffer is deblocked; the decoder's own reference picture never is.
 */
#ifndef KV_MPEG4DEC_H
#define KV_MPEG4DEC_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define KV_MPEG4_API __attribute__((visibility("default")))
#else
#define KV_MPEG4_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct DecoderState; /* everything callers do not touch */

typedef struct DECODER {
    int32_t width;         /* coded width from the VOL header; the module maximum until then (read only) */
    int32_t height;        /* coded height from the VOL header; the module maximum until then (read only) */
    int32_t upscaleOutput; /* 1 until a VOL header is accepted: the output is enlarged 2x (read only) */
    int32_t postFilter;    /* 1 at creation: deblock the next output picture (viewer module) */
    int32_t expectHeaders; /* 1 until a call succeeds: the next input starts with headers */
    struct DecoderState* state;
} DECODER;

/* A DECODER pointer as an integer, or 0 when any allocation fails. */
KV_MPEG4_API intptr_t decoder_create(void);

/* Decodes one access unit. Returns 0 on success, 1 on failure (see length above). */
KV_MPEG4_API int decoder_decode(DECODER* decoder, unsigned char* output, const unsigned char* input, int* length);

/* Frees the decoder; 0, or -1 for a null decoder. */
KV_MPEG4_API int decoder_destroy(DECODER* decoder);

#ifdef __cplusplus
}
#endif

#endif
