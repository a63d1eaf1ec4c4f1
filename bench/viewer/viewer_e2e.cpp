// bench_viewer_e2e: the viewer end to end, from camsim on loopback to the painted window.
//
// A real viewer panel on the module's workers is given camsim's stream with SetSource and
// StartPlay, as a camera page would, and plays it for a while. Two figures come out:
//
//  - CPU per picture: the whole process's user and system time over the measured seconds
//    (camsim runs in a process of its own, so it is not in it), less the benchmark's own
//    identifying of painted pictures, divided by the pictures the display worker decoded in
//    that time; set against the cost of decoding the same pictures again, in this process,
//    the way the display workers do (JPEG straight into 32-bit rows; decoder_decode and the
//    conversion into 32-bit rows for MPEG-4), which camsim recorded as it sent them.
//  - latency: camsim notes on CLOCK_MONOTONIC when each frame went to the socket; the
//    panel notes when its paint handler drew each picture and which picture it was (the
//    frame code camsim draws into Motion-JPEG pictures, a pixel signature of the MPEG-4 clip
//    pictures). The difference, per picture, is the time from leaving camsim to painted.
#include <QApplication>
#include <QPainter>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <set>

#include "bench_host.h"
#include "camsim_process.h"
#include "core/module_profile.h"
#include "frame_code.h"
#include "send_log.h"
#include "measured_panel.h"
#include "mpeg4dec.h"
#include "process_stats.h"
#include "recorded_streams.h"
#include "platform/ui/qt_frame_sink.h"
#include "video/image/jpeg_direct.h"
#include "video/mpeg4/decoder.h"
#include "video/yuv2rgb32.h"
#include "ximage.h"
#include "yuv2rgb.h"

namespace {

using kvbench::Args;

struct Options {
    std::vector<std::string> kinds;
    int seconds = 20;
    int warmup = 3;
    int pacedSeconds = 5;  // of the recording decoded again at the stream's pace
    int fps = 30;
    std::string size = "640x480";
    std::string audio = "off";
    bool onscreen = false;
    bool keep = false;
    bool threads = false;
    std::string screenshot;  // prefix of a PNG of the window at the end of each stream's run
};

const char* const kUsage = R"(bench_viewer_e2e: the viewer from camsim on loopback to the painted window

Usage: bench_viewer_e2e [--kind mjpeg|mpeg|both] [--seconds N] [--warmup N] [--fps N]
                        [--size 640x480|320x240] [--audio on|off] [--threads] [--keep]
                        [--paced-seconds N] [--screenshot PREFIX] [--onscreen]

  --kind       stream to measure (default both: Motion-JPEG, then MPEG-4)
  --seconds    measured time per stream (default 20)
  --warmup     seconds played before measuring (default 3)
  --fps        pictures per second camsim sends (default 30)
  --size       picture size (default 640x480)
  --audio      G.726 audio in the stream, played on the null device (default off)
  --threads    also list the CPU time of each thread over the measured seconds
  --paced-seconds  also decode this many seconds of the recording at the stream's pace,
               one picture per frame interval, as the viewer meets them (default 5; 0: not)
  --keep       keep the work folder (recordings, send log, the viewer's log)
  --screenshot save the window as PREFIX-mjpeg.png / PREFIX-mpeg.png once measured
  --onscreen   show the window on the desktop instead of the offscreen platform
)";

using camsim::ReadSendLog;
using camsim::SentFrame;

// A picture's identity: the frame code (Motion-JPEG) or the signature (MPEG-4).
using PictureKey = std::uint64_t;

struct DecodeCost {
    int pictures = 0;
    std::int64_t cpuNs = 0;
    // Showing the same pictures with nothing around it: one blit into a window-sized image,
    // the pass over the pixels every painted picture costs whatever the viewer does.
    std::int64_t showNs = 0;
    // Motion-JPEG, back to back only: the image decode into a 24-bit bitmap, for reference.
    int imagePictures = 0;
    std::int64_t imageNs = 0;
    // MPEG-4: the signature of each decoded picture, by (request, frame number).
    std::map<std::pair<std::int64_t, std::int64_t>, PictureKey> signatures;
};

// How the decode-alone pass takes the recorded pictures: back to back (interval 0), or one
// every interval, as they come from the camera, so that the decoder's data has gone cold
// between two pictures as it has in the viewer. At most limit pictures are timed.
struct Pace {
    std::int64_t intervalNs = 0;
    int limit = std::numeric_limits<int>::max();
};

class CPacer {
public:
    explicit CPacer(const Pace& pace) : m_pace(pace) {}

    // Waits for the next picture's turn; false once the limit is reached.
    bool Next()
    {
        if (m_count++ >= m_pace.limit)
            return false;
        if (m_pace.intervalNs <= 0)
            return true;
        const std::int64_t now = kvbench::MonotonicNs();
        m_due = m_count == 1 ? now : m_due + m_pace.intervalNs;
        if (m_due > now) {
            const timespec wait{static_cast<time_t>((m_due - now) / 1000000000), static_cast<long>((m_due - now) % 1000000000)};
            nanosleep(&wait, nullptr);
        }
        return true;
    }

private:
    const Pace m_pace;
    int m_count = 0;
    std::int64_t m_due = 0;
};

std::int64_t RequestOf(const std::filesystem::path& body) { return std::atoll(body.filename().string().c_str()); }

// The window's blit of one picture, timed on this thread; and the picture itself, which the
// decoders write into as they write into the frame sink's rows.
class CShowCost {
public:
    CShowCost() : m_window(kv::viewer::CViewerPanel::kWidth, kv::viewer::CViewerPanel::kHeight, QImage::Format_RGB32) {}

    // Rows for a width by height picture (the picture before when the size is the same, as
    // the sink reuses its spare picture).
    kv::PixelBuffer32 Rows(int width, int height)
    {
        if (m_picture.width() != width || m_picture.height() != height)
            m_picture = QImage(width, height, QImage::Format_RGB32);
        if (m_picture.isNull())
            return {};
        return {m_picture.bits(), static_cast<std::size_t>(m_picture.bytesPerLine()), width, height};
    }
    const QImage& Picture() const { return m_picture; }

    std::int64_t Show()
    {
        const std::int64_t start = kvbench::ThreadCpuNs();
        QPainter painter(&m_window);
        painter.drawImage(QPoint(kv::kKavaroProfile.displayX, kv::kKavaroProfile.displayY), m_picture);
        painter.end();
        return kvbench::ThreadCpuNs() - start;
    }

private:
    QImage m_window;   // stands for the window's backing store
    QImage m_picture;
};

class CShowLender final : public kv::IPixelLender {
public:
    explicit CShowLender(CShowCost& show) : m_show(show) {}
    kv::PixelBuffer32 Lend(int width, int height) override { return m_show.Rows(width, height); }

private:
    CShowCost& m_show;
};

// CMJpegDisplay's work per picture: decode straight into the picture's 32-bit rows. Back to
// back, the image decode into a 24-bit bitmap (what a capture takes) is timed as well, for
// reference.
DecodeCost MotionJpegDecodeCost(const std::filesystem::path& folder, const Pace& pace)
{
    DecodeCost cost;
    CxImage image;
    CShowCost show;
    CShowLender lender(show);
    CPacer pacer(pace);
    for (const auto& body : kvbench::RecordedBodies(folder, "mjpeg")) {
        kvbench::ForEachMjpegFrame(body, [&](std::vector<std::uint8_t>& jpeg) {
            if (!pacer.Next())
                return;
            const std::int64_t start = kvbench::ThreadCpuNs();
            const bool decoded = kv::DecodeJpegTo32(jpeg.data(), jpeg.size(), lender) == kv::JpegDirectResult::Decoded;
            cost.cpuNs += kvbench::ThreadCpuNs() - start;
            if (decoded)
                cost.showNs += show.Show();
            cost.pictures += decoded;
            if (pace.intervalNs > 0)
                return;
            const std::int64_t imageStart = kvbench::ThreadCpuNs();
            if (image.Decode(jpeg.data(), static_cast<std::uint32_t>(jpeg.size()), CXIMAGE_FORMAT_JPG))
                ++cost.imagePictures;
            image.Free();
            cost.imageNs += kvbench::ThreadCpuNs() - imageStart;
        });
    }
    return cost;
}

// CMpeg4Display's work per picture: decode (configuration in front until a picture decodes),
// post-filter off after each call, convert to the picture's 32-bit rows. Signatures are taken
// outside the timing.
DecodeCost Mpeg4DecodeCost(const std::filesystem::path& folder, const Pace& pace)
{
    DecodeCost cost;
    CShowCost show;
    CPacer pacer(pace);
    init_YUV2RGB_tab();
    for (const auto& body : kvbench::RecordedBodies(folder, "asf")) {
        DECODER* decoder = kv::CreateDecoder(kv::kKavaroProfile);
        if (!decoder)
            break;
        std::vector<std::uint8_t> yuv(6 * static_cast<std::size_t>(decoder->width) * static_cast<std::size_t>(decoder->height));
        std::vector<std::uint8_t> input;
        bool configPending = true;
        std::int64_t frame = 0;
        const std::int64_t request = RequestOf(body);
        kvbench::ForEachAsfFrame(body, [&](std::span<const std::uint8_t> config, std::vector<std::uint8_t>& data) {
            if (!pacer.Next())
                return;  // pictures after the limit depend on those before: none is decoded
            const std::int64_t start = kvbench::ThreadCpuNs();
            const std::vector<std::uint8_t>* in = &data;
            if (configPending) {
                input.assign(config.begin(), config.end());
                input.insert(input.end(), data.begin(), data.end());
                in = &input;
            }
            int length = static_cast<int>(in->size());
            const int failed = decoder_decode(decoder, yuv.data(), in->data(), &length);
            decoder->postFilter = 0;
            int width = decoder->width * (decoder->upscaleOutput ? 2 : 1);
            int height = decoder->height * (decoder->upscaleOutput ? 2 : 1);
            bool converted = false;
            if (!failed) {
                configPending = false;
                converted = kv::ConvertYUVtoRows32(yuv.data(), width, height, show.Rows(width, height));
            }
            cost.cpuNs += kvbench::ThreadCpuNs() - start;
            if (converted) {
                cost.showNs += show.Show();
                ++cost.pictures;
                cost.signatures[{request, frame}] = kvbench::SignatureOf(show.Picture());
            }
            ++frame;
        });
        decoder_destroy(decoder);
    }
    delete_YUV2RGB_tab();
    return cost;
}

struct Latency {
    std::vector<double> fromFirstByteMs;
    std::vector<double> fromLastByteMs;
    int unmatched = 0;
};

// Each noted paint against the frame it showed: of the frames with the picture's key, the
// one sent last before the paint.
Latency MatchPaints(const std::vector<kvbench::PaintNote>& notes, const std::vector<SentFrame>& sent,
                    const std::function<std::optional<PictureKey>(const kvbench::PaintNote&)>& keyOfNote,
                    const std::function<std::optional<PictureKey>(const SentFrame&)>& keyOfSent)
{
    std::map<PictureKey, std::vector<const SentFrame*>> byKey;
    for (const SentFrame& frame : sent)
        if (const auto key = keyOfSent(frame))
            byKey[*key].push_back(&frame);
    Latency latency;
    for (const kvbench::PaintNote& note : notes) {
        const auto key = keyOfNote(note);
        const SentFrame* match = nullptr;
        if (key) {
            if (const auto it = byKey.find(*key); it != byKey.end())
                for (const SentFrame* frame : it->second)
                    if (frame->firstByteNs <= note.paintedNs && (!match || frame->firstByteNs > match->firstByteNs))
                        match = frame;
        }
        if (!match) {
            ++latency.unmatched;
            continue;
        }
        latency.fromFirstByteMs.push_back(double(note.paintedNs - match->firstByteNs) / 1e6);
        latency.fromLastByteMs.push_back(double(note.paintedNs - match->lastByteNs) / 1e6);
    }
    return latency;
}

struct Measured {
    int decoded = 0;
    int painted = 0;
    int sent = 0;
    int restarts = 0;
    std::int64_t processNs = 0;  // the process's user and system time
    std::int64_t notingNs = 0;   // of which the benchmark spent identifying painted pictures
    std::int64_t wallNs = 0;
    std::vector<kvbench::ThreadCpu> threadsBefore;
    std::vector<kvbench::ThreadCpu> threadsAfter;
};

void PrintThreads(const Measured& m)
{
    std::map<int, std::int64_t> before;
    for (const auto& t : m.threadsBefore)
        before[t.tid] = t.cpuNs;
    std::vector<std::pair<std::int64_t, std::string>> rows;
    for (const auto& t : m.threadsAfter) {
        const std::int64_t used = t.cpuNs - before[t.tid];
        if (used > 0)
            rows.emplace_back(used, std::to_string(t.tid) + " " + t.name);
    }
    std::sort(rows.rbegin(), rows.rend());
    std::printf("  CPU by thread over the measured time:\n");
    for (const auto& [used, name] : rows)
        std::printf("    %-28s %8.1f ms  (%.2f ms a picture)\n", name.c_str(), double(used) / 1e6,
                    m.decoded ? double(used) / 1e6 / m.decoded : 0.0);
}

bool RunKind(const std::string& kind, const Options& options)
{
    const bool mpeg = kind == "mpeg";
    const std::filesystem::path folder = kvbench::MakeWorkFolder("kv-bench-e2e-" + kind);
    const std::filesystem::path sendLog = folder / "sends.log";
    std::vector<std::string> flags{"--size", options.size, "--fps", std::to_string(options.fps), "--kind",
                                   mpeg ? "mpeg" : "jpeg", "--audio", options.audio, "--record-dir", folder.string(),
                                   "--send-log", sendLog.string(), "--clock-start", "2026/01/01 12:00:00"};
    if (!mpeg)
        flags.insert(flags.end(), {"--frame-code", "on"});
    camsim::CamsimProcess cam(flags);

    auto host = kvbench::MakeHostWindow();
    auto panel = std::make_unique<kvbench::CMeasuredPanel>();
    panel->Create(host.get());
    kv::ui::CQtFrameSink& sink = panel->FrameSink();
    const std::string url = cam.Url(mpeg ? "img/video.asf" : "img/mjpeg.cgi");
    if (!panel->SetSource(url, mpeg ? "mpeg" : "jpeg", "off", std::to_string(options.fps), 1, 1) || !panel->SourceOk()) {
        std::fprintf(stderr, "bench_viewer_e2e: the viewer did not accept camsim at %s\n", url.c_str());
        return false;
    }
    panel->StartPlay(0, "");
    if (!kvbench::RunEventsUntil([&] { return sink.PaintedCount() > 0; }, 20000)) {
        std::fprintf(stderr, "bench_viewer_e2e: no picture within 20 s\n");
        return false;
    }
    kvbench::RunEvents(options.warmup * 1000);

    Measured m;
    const int decoded0 = sink.PresentedCount();
    const int painted0 = sink.PaintedCount();
    const int run0 = panel->CurrentRun();
    m.threadsBefore = kvbench::ReadThreadCpu();
    const std::int64_t cpu0 = kvbench::ProcessCpuNs();
    const std::int64_t wall0 = kvbench::MonotonicNs();
    panel->SetNoting(true, mpeg);
    kvbench::RunEvents(options.seconds * 1000);
    panel->SetNoting(false);
    const std::int64_t wall1 = kvbench::MonotonicNs();
    const std::int64_t cpu1 = kvbench::ProcessCpuNs();
    m.threadsAfter = kvbench::ReadThreadCpu();
    m.decoded = sink.PresentedCount() - decoded0;
    m.painted = sink.PaintedCount() - painted0;
    m.restarts = panel->CurrentRun() != run0;
    m.processNs = cpu1 - cpu0;
    m.notingNs = panel->NotingCpuNs();
    m.wallNs = wall1 - wall0;
    if (!options.screenshot.empty())
        host->grab().save(QString::fromStdString(options.screenshot + "-" + kind + ".png"));
    panel->StopPlay();
    const std::vector<kvbench::PaintNote> notes = panel->Notes();
    const int overtaken = panel->Overtaken();
    panel.reset();
    host.reset();

    const std::vector<SentFrame> sent = ReadSendLog(sendLog);
    for (const SentFrame& frame : sent)
        m.sent += frame.firstByteNs >= wall0 && frame.firstByteNs < wall1;

    DecodeCost cost;
    DecodeCost paced;
    const Pace atStreamPace{1000000000ll / options.fps, options.fps * options.pacedSeconds};
    Latency latency;
    if (mpeg) {
        cost = Mpeg4DecodeCost(folder, Pace{});
        if (options.pacedSeconds > 0)
            paced = Mpeg4DecodeCost(folder, atStreamPace);
        latency = MatchPaints(notes, sent, [](const kvbench::PaintNote& n) { return std::optional<PictureKey>(n.signature); },
                              [&](const SentFrame& f) -> std::optional<PictureKey> {
                                  const auto it = cost.signatures.find({f.request, f.frame});
                                  if (it == cost.signatures.end())
                                      return std::nullopt;
                                  return it->second;
                              });
    } else {
        cost = MotionJpegDecodeCost(folder, Pace{});
        if (options.pacedSeconds > 0)
            paced = MotionJpegDecodeCost(folder, atStreamPace);
        latency = MatchPaints(notes, sent,
                              [](const kvbench::PaintNote& n) -> std::optional<PictureKey> {
                                  if (!n.frameCode)
                                      return std::nullopt;
                                  return *n.frameCode;
                              },
                              [](const SentFrame& f) {
                                  constexpr PictureKey kCodeMask = (1u << camsim::kFrameCodeBits) - 1;
                                  return std::optional<PictureKey>(PictureKey(f.frame) & kCodeMask);
                              });
    }

    const double interval = 1000.0 / options.fps;
    auto perPicture = [](std::int64_t ns, int pictures) { return pictures ? double(ns) / 1e6 / pictures : 0.0; };
    const double cpuPerPicture = perPicture(m.processNs - m.notingNs, m.decoded);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    const double decodePerPicture = perPicture(cost.cpuNs, cost.pictures);
    const double showPerPicture = perPicture(cost.showNs, cost.pictures);
    const double pacedDecode = perPicture(paced.cpuNs, paced.pictures);
    const double pacedShow = perPicture(paced.showNs, paced.pictures);
    const kvbench::Spread first = kvbench::SpreadOf(latency.fromFirstByteMs);
    const kvbench::Spread last = kvbench::SpreadOf(latency.fromLastByteMs);
    std::printf("%s %s at %d fps%s, %.1f s measured (%s Qt, load average %.2f)\n", mpeg ? "MPEG-4" : "Motion-JPEG",
                options.size.c_str(), options.fps, options.audio == "on" ? " with audio" : "", double(m.wallNs) / 1e9,
                qApp->platformName().toUtf8().constData(), kvbench::LoadAverage());
    std::printf("  pictures: sent %d, decoded %d, painted %d; paints noted %zu, matched %zu, unmatched %d, overtaken %d; "
                "restarts %d\n",
                m.sent, m.decoded, m.painted, notes.size(), latency.fromFirstByteMs.size(), latency.unmatched, overtaken,
                m.restarts);
    std::printf("  viewer CPU per picture   %7.3f ms  (user+system %.0f ms of the process, less %.0f ms the benchmark "
                "spent identifying painted pictures)\n",
                cpuPerPicture, double(m.processNs) / 1e6, double(m.notingNs) / 1e6);
    std::printf("  the recorded pictures again, in this thread: back to back | one every %.1f ms\n", interval);
    std::printf("  decode alone per picture %7.3f ms  | %7.3f ms   (%s; %d | %d pictures)\n", decodePerPicture,
                pacedDecode, mpeg ? "decoder_decode + ConvertYUVtoRows32" : "DecodeJpegTo32", cost.pictures,
                paced.pictures);
    if (!mpeg)
        std::printf("  for reference: the image decode into a 24-bit bitmap %.3f ms back to back (CxImage, %d pictures)\n",
                    perPicture(cost.imageNs, cost.imagePictures), cost.imagePictures);
    std::printf("  ratio viewer / decode    %7.2fx     | %7.2fx      (goal at most 1.10x)\n",
                ratio(cpuPerPicture, decodePerPicture), ratio(cpuPerPicture, pacedDecode));
    std::printf("  show alone per picture   %7.3f ms  | %7.3f ms   (one blit into a window-sized image)\n",
                showPerPicture, pacedShow);
    std::printf("  viewer / (decode + show) %7.2fx     | %7.2fx      (what receiving, parsing, logging, threads add)\n",
                ratio(cpuPerPicture, decodePerPicture + showPerPicture), ratio(cpuPerPicture, pacedDecode + pacedShow));
    std::printf("  sent -> painted          median %.1f ms, 99th percentile %.1f ms, max %.1f ms from the first byte;\n"
                "                           median %.1f ms, 99th percentile %.1f ms from the last byte "
                "(goal 99th at most %.1f ms)\n",
                first.median, first.p99, first.max, last.median, last.p99, interval + 10);
    if (mpeg) {
        std::set<PictureKey> distinct;
        for (const auto& [frame, signature] : cost.signatures)
            distinct.insert(signature);
        std::printf("  distinct picture signatures among the decoded pictures: %zu\n", distinct.size());
    }
    if (options.threads)
        PrintThreads(m);
    if (!options.keep)
        std::filesystem::remove_all(folder);
    else
        std::printf("  work folder kept: %s\n", folder.c_str());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const Args args(argc, argv);
    if (args.Has("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto unknown = args.Unknown({"kind", "seconds", "warmup", "fps", "size", "audio", "threads", "keep", "onscreen", "screenshot",
                                        "paced-seconds"});
    if (!unknown.empty()) {
        std::fprintf(stderr, "bench_viewer_e2e: unknown option --%s (see --help)\n", unknown.front().c_str());
        return 2;
    }
    Options options;
    const std::string kind = args.Text("kind", "both");
    if (kind == "both")
        options.kinds = {"mjpeg", "mpeg"};
    else if (kind == "mjpeg" || kind == "mpeg")
        options.kinds = {kind};
    else {
        std::fprintf(stderr, "bench_viewer_e2e: --kind is mjpeg, mpeg or both\n");
        return 2;
    }
    options.seconds = std::max(1, static_cast<int>(args.Number("seconds", options.seconds)));
    options.warmup = std::max(0, static_cast<int>(args.Number("warmup", options.warmup)));
    options.pacedSeconds = std::max(0, static_cast<int>(args.Number("paced-seconds", options.pacedSeconds)));
    options.fps = std::clamp(static_cast<int>(args.Number("fps", options.fps)), 1, 120);
    options.size = args.Text("size", options.size);
    options.audio = args.Text("audio", options.audio);
    options.onscreen = args.Has("onscreen");
    options.keep = args.Has("keep");
    options.threads = args.Has("threads");
    options.screenshot = args.Text("screenshot", "");

    kvbench::PrepareEnvironment(options.onscreen);
    QApplication app(argc, argv);
    bool ok = true;
    for (const std::string& each : options.kinds) {
        try {
            ok = RunKind(each, options) && ok;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "bench_viewer_e2e: %s\n", error.what());
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
