#!/bin/sh
# Makes the G.726 fixtures of this folder. Needs a C compiler and libspandsp-dev; the tests
# only read the files it writes.
#
#   ref_random_<bits>.bin, ref_signal_<bits>.bin   reference decoder output (see README.md)
#   tone1k_<bits>bit.g726                          camera-like packed 1 kHz tone (MSB first)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/refgen.c" <<'CEOF'
/* Writes codes and the reference decoder's linear output for one code size.
 * File layout: N code bytes (one code per byte), then N little-endian 16-bit samples. */
#include <spandsp.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static unsigned rng = 12345;
static unsigned next_random(void) { rng = rng * 1103515245u + 12345u; return (rng >> 8) & 0xFFFF; }

static int write_vector(const char *path, const uint8_t *codes, int n, int bits)
{
    g726_state_t *dec = g726_init(NULL, bits * 8000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
    int16_t *pcm = malloc(sizeof(int16_t) * (size_t) n);
    FILE *f = fopen(path, "wb");
    int i, got;
    if (!dec || !pcm || !f) return 1;
    got = g726_decode(dec, pcm, codes, n);
    if (got != n) { fprintf(stderr, "decoded %d of %d\n", got, n); return 1; }
    fwrite(codes, 1, (size_t) n, f);
    for (i = 0; i < n; i++) {
        uint8_t le[2] = { (uint8_t) (pcm[i] & 0xFF), (uint8_t) ((uint16_t) pcm[i] >> 8) };
        fwrite(le, 1, 2, f);
    }
    fclose(f);
    g726_free(dec);
    free(pcm);
    return 0;
}

int main(int argc, char **argv)
{
    enum { NR = 4000, NS = 6000 };
    uint8_t codes[NS];
    int16_t signal[NS];
    int bits, i, mask;
    char path[1024];
    if (argc != 3) return 2;
    bits = atoi(argv[2]);
    mask = (1 << bits) - 1;

    /* Random codes: uniform, then small magnitudes of both signs, then long runs of one code
     * (drives the scale factor and the zero predictor to their limits). */
    for (i = 0; i < NR; i++) {
        unsigned r = next_random();
        if (i < 1600)
            codes[i] = (uint8_t) (r & mask);
        else if (i < 3000)
            codes[i] = (uint8_t) ((r & 1) ? (r >> 1) & 1 : mask - ((r >> 1) & 1));
        else
            codes[i] = (uint8_t) ((((i - 3000) / 125) * 7 + 3) & mask);
    }
    snprintf(path, sizeof path, "%s/ref_random_%d.bin", argv[1], bits);
    if (write_vector(path, codes, NR, bits)) return 1;

    /* A test signal through the reference encoder: a quiet tone, a loud sweep, noise, silence,
     * two tones with an abrupt switch (tone and transition detection) and a full-scale square. */
    for (i = 0; i < NS; i++) {
        double t = i / 8000.0, v;
        if (i < 1000) v = 3000 * sin(2 * M_PI * 1000 * t);
        else if (i < 2000) v = 12000 * sin(2 * M_PI * (200 * t + 1800 * (t - 0.125) * (t - 0.125) * 8));
        else if (i < 3000) v = ((int) next_random() - 32768) * 0.6;
        else if (i < 3500) v = 0;
        else if (i < 4300) v = 8000 * sin(2 * M_PI * 1800 * t);
        else if (i < 5000) v = 24000 * sin(2 * M_PI * 600 * t);
        else v = ((i / 8) & 1) ? 32767 : -32768;
        if (v > 32767) v = 32767;
        if (v < -32768) v = -32768;
        signal[i] = (int16_t) lrint(v);
    }
    {
        g726_state_t *enc = g726_init(NULL, bits * 8000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
        if (!enc || g726_encode(enc, codes, signal, NS) != NS) return 1;
        g726_free(enc);
    }
    snprintf(path, sizeof path, "%s/ref_signal_%d.bin", argv[1], bits);
    if (write_vector(path, codes, NS, bits)) return 1;

    /* Camera-like audio: a 1 kHz sine of amplitude 16384, encoded and packed most-significant
     * bit first into five 1920-byte frames. */
    {
        enum { FRAME = 1920, FRAMES = 5 };
        static int16_t tone[FRAMES * FRAME * 8 / 2];
        static uint8_t tone_codes[FRAMES * FRAME * 8 / 2];
        uint8_t packed[FRAMES * FRAME];
        int count = FRAMES * FRAME * 8 / bits, out = 0, pending = 0;
        uint32_t acc = 0;
        g726_state_t *enc = g726_init(NULL, bits * 8000, G726_ENCODING_LINEAR, G726_PACKING_NONE);
        FILE *f;
        for (i = 0; i < count; i++)
            tone[i] = (int16_t) lrint(16384 * sin(2 * M_PI * 1000 * i / 8000.0));
        if (!enc || g726_encode(enc, tone_codes, tone, count) != count) return 1;
        g726_free(enc);
        for (i = 0; i < count; i++) {
            acc = (acc << bits) | tone_codes[i];
            pending += bits;
            while (pending >= 8) {
                pending -= 8;
                packed[out++] = (uint8_t) (acc >> pending);
            }
        }
        if (out != FRAMES * FRAME) return 1;
        snprintf(path, sizeof path, "%s/tone1k_%dbit.g726", argv[1], bits);
        f = fopen(path, "wb");
        if (!f || fwrite(packed, 1, sizeof packed, f) != sizeof packed) return 1;
        fclose(f);
    }
    return 0;
}
CEOF
cc -O2 -o "$work/refgen" "$work/refgen.c" $(pkg-config --cflags --libs spandsp) -lm
for bits in 2 3 4 5; do
    "$work/refgen" "$here" "$bits"
done

