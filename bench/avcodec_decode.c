/* The reference side of bench/compare_video.sh: libavcodec's MPEG-4 decoder, one thread,
 * fed the same access units as our decoder (the first runs to the second VOP start code,
 * each later one from a VOP start code to the next), decoding only.
 *
 * Usage: avcodec_decode STREAM.m4v [MIN_SECONDS]
 * Prints the pictures per CPU second of this thread. The stream is decoded from its start
 * again and again (the decoder flushed between passes) until MIN_SECONDS (default 1) of CPU
 * time have been spent.
 *
 * Built by the script with the libavcodec development files; nothing else needs it. */
#include <libavcodec/avcodec.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double ThreadSeconds(void)
{
    struct timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static unsigned char* ReadFile(const char* path, size_t* size)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return NULL;
    fseek(f, 0, SEEK_END);
    const long n = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* data = n > 0 ? malloc((size_t)n) : NULL;
    if (data && fread(data, 1, (size_t)n, f) != (size_t)n) {
        free(data);
        data = NULL;
    }
    fclose(f);
    *size = data ? (size_t)n : 0;
    return data;
}

static long DrainFrames(AVCodecContext* ctx, AVFrame* frame)
{
    long n = 0;
    while (avcodec_receive_frame(ctx, frame) == 0) {
        ++n;
        av_frame_unref(frame);
    }
    return n;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s STREAM.m4v [MIN_SECONDS]\n", argv[0]);
        return 2;
    }
    const double minSeconds = argc > 2 ? atof(argv[2]) : 1.0;
    size_t size = 0;
    unsigned char* stream = ReadFile(argv[1], &size);
    if (!stream) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }

    /* Access unit boundaries */
    size_t* cuts = malloc(sizeof(size_t) * (size / 4 + 2));
    size_t units = 0;
    for (size_t i = 0; i + 3 < size; ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB6)
            cuts[units++] = i;
    if (units == 0) {
        fprintf(stderr, "no pictures in %s\n", argv[1]);
        return 1;
    }
    cuts[0] = 0;
    cuts[units] = size;

    AVPacket** packets = calloc(units, sizeof(AVPacket*));
    for (size_t k = 0; k < units; ++k) {
        packets[k] = av_packet_alloc();
        const int n = (int)(cuts[k + 1] - cuts[k]);
        if (av_new_packet(packets[k], n) < 0)
            return 1;
        memcpy(packets[k]->data, stream + cuts[k], (size_t)n);
    }

    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->thread_count = 1;
    if (!codec || avcodec_open2(ctx, codec, NULL) < 0) {
        fprintf(stderr, "libavcodec has no MPEG-4 decoder\n");
        return 1;
    }
    AVFrame* frame = av_frame_alloc();

    long pictures = 0;
    const double start = ThreadSeconds();
    double spent = 0;
    while (spent < minSeconds) {
        for (size_t k = 0; k < units; ++k) {
            if (avcodec_send_packet(ctx, packets[k]) < 0)
                return 1;
            pictures += DrainFrames(ctx, frame);
        }
        avcodec_send_packet(ctx, NULL); /* end of stream: the held-back picture comes out */
        pictures += DrainFrames(ctx, frame);
        avcodec_flush_buffers(ctx);
        spent = ThreadSeconds() - start;
    }
    printf("%.1f\n", (double)pictures / spent);

    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    for (size_t k = 0; k < units; ++k)
        av_packet_free(&packets[k]);
    free(packets);
    free(cuts);
    free(stream);
    return 0;
}
