/* G.726 ADPCM decoder (16, 24, 32 and 40 kbit/s) with linear 16-bit output, exported by the
 * viewer module.
 *
 * Calling order: G726_decoder_create once per audio stream; G726_dec for each packed audio
 * frame of that stream; G726_decoder_destroy when the stream ends.
 *
 * Packing: codes are read most-significant bit first and run on across byte boundaries. Bits
 * left over at the end of one call complete the first code of the next call on the same
 * state; each state has its own bit reader, so streams never mix. A call whose code size
 * differs from the previous call's drops the bits left over by that call.
 *
 * Output size: one call writes at most inputLength * 8 / codeBits + 1 samples.
 *
 * Each sample is the recommendation's reconstructed signal (times four, saturated to 16
 * bits), passed through a fixed low-pass post-filter.
 */
#ifndef KV_G726_H
#define KV_G726_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define KV_G726_API __attribute__((visibility("default")))
#else
#define KV_G726_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Decoder state. The fields up to td have the meaning and arithmetic of ITU-T G.726. */
typedef struct G726_state {
    int32_t yl;     /* slow quantizer scale factor */
    int16_t yu;     /* fast quantizer scale factor */
    int16_t dms;    /* short-term mean of the scale-factor change */
    int16_t dml;    /* long-term mean */
    int16_t ap;     /* speed-control parameter */
    int16_t a[2];   /* pole predictor coefficients */
    int16_t b[6];   /* zero predictor coefficients */
    int16_t pk[2];  /* signs of the last two partial reconstructed signals */
    int16_t dq[6];  /* last six quantized differences, floating format (32 = zero) */
    int16_t sr[2];  /* last two reconstructed signals, floating format */
    uint8_t td;     /* tone detected */

    /* post-filter memory: previous outputs y1..y3 and previous inputs x1..x4 */
    int16_t y1, y2, y3;
    int16_t x1, x2, x3, x4;

    /* bit reader: accumulator, pending bit count, code size of the last call */
    uint32_t bitBuffer;
    int32_t pendingBits;
    int32_t lastCodeBits;
} G726_state;

/* A new state, ready to decode, or NULL when memory runs out. */
KV_G726_API G726_state* G726_decoder_create(void);

/* Decodes the packed codes of input (inputLength bytes, codeBits = 2, 3, 4 or 5 bits per code)
 * into output and returns the number of samples written. Returns -1, writing nothing, for a
 * null state, a null input or output, a negative length or a code size outside 2..5. */
KV_G726_API int G726_dec(G726_state* state, int codeBits, const unsigned char* input, int inputLength,
                         int16_t* output);

/* Frees the state: 0, or -1 for a null state. */
KV_G726_API int G726_decoder_destroy(G726_state* state);

#ifdef __cplusplus
}
#endif

#endif
