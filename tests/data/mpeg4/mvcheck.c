/* Counts the non-zero motion vectors of a stream whose source block lies partly outside the picture,
 * as ffmpeg's decoder exports them. Used by make_fixtures.sh to confirm that the fast-pan
 * fixtures really predict from the replicated border. Build:
 *   cc mvcheck.c $(pkg-config --cflags --libs libavformat libavcodec libavutil) */
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/motion_vector.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: mvcheck STREAM\n");
        return 2;
    }
    AVFormatContext* fmt = NULL;
    if (avformat_open_input(&fmt, argv[1], NULL, NULL) < 0 || avformat_find_stream_info(fmt, NULL) < 0)
        return 1;
    const AVCodec* codec = avcodec_find_decoder(fmt->streams[0]->codecpar->codec_id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(ctx, fmt->streams[0]->codecpar);
    AVDictionary* opts = NULL;
    av_dict_set(&opts, "flags2", "+export_mvs", 0);
    av_dict_set(&opts, "threads", "1", 0);
    if (avcodec_open2(ctx, codec, &opts) < 0)
        return 1;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    long total = 0, outside = 0, blocks8 = 0;
    int maxAbs = 0;
    for (int flushing = 0; !flushing;) {
        if (av_read_frame(fmt, pkt) < 0) {
            flushing = 1;
            avcodec_send_packet(ctx, NULL);
        } else {
            avcodec_send_packet(ctx, pkt);
            av_packet_unref(pkt);
        }
        while (avcodec_receive_frame(ctx, frame) == 0) {
            AVFrameSideData* sd = av_frame_get_side_data(frame, AV_FRAME_DATA_MOTION_VECTORS);
            if (sd) {
                const AVMotionVector* mv = (const AVMotionVector*)sd->data;
                size_t n = sd->size / sizeof(*mv);
                for (size_t i = 0; i < n; ++i) {
                    int left = mv[i].src_x - mv[i].w / 2, top = mv[i].src_y - mv[i].h / 2;
                    int dx = abs(mv[i].src_x - mv[i].dst_x), dy = abs(mv[i].src_y - mv[i].dst_y);
                    ++total;
                    if (mv[i].w == 8) ++blocks8;
                    if (dx > maxAbs) maxAbs = dx;
                    if (dy > maxAbs) maxAbs = dy;
                    if ((dx || dy) && (left < 0 || top < 0 || left + mv[i].w > frame->width || top + mv[i].h > frame->height))
                        ++outside;
                }
            }
            av_frame_unref(frame);
        }
    }
    printf("vectors=%ld outside=%ld max_component_px=%d 8x8_blocks=%ld\n", total, outside, maxAbs, blocks8);
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    avformat_close_input(&fmt);
    return 0;
}
