// bench_viewer_soak: the viewer under a camera that keeps failing, for minutes on end.
//
// A real viewer panel on the module's workers plays camsim's stream. Every few seconds the
// soak orders camsim a fault aimed at the stream under way (a stall, a close inside a frame,
// garbage) and the panel restarts playback by itself; every fourth fault is a busy camera
// instead, after which the panel shows "Can not connect" by design, and the soak does what a
// page would: StopPlay, SetSource, StartPlay. With --kind alternate camsim switches between
// Motion-JPEG and MPEG-4 at every fault, so restarts change the player too.
//
// Each minute it reports the process's resident memory, threads and open descriptors, taken
// while pictures flow just before a fault (and the highest seen in the minute), with the
// pictures drawn, the runs started and the faults the viewer came back from. The first and
// the last minute are compared at the end.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <map>
#include <optional>

#include "bench_host.h"
#include "camsim_process.h"
#include "core/timings.h"
#include "process_stats.h"
#include "viewer/panel/viewer_panel.h"

namespace {

using kvbench::Args;
using kvbench::ProcessCounts;

const char* const kUsage = R"(bench_viewer_soak: the viewer restarting under camsim's faults, minute by minute

Usage: bench_viewer_soak [--minutes N] [--fault-every S] [--kind mjpeg|mpeg|alternate]
                         [--fps N] [--size 640x480|320x240|160x120] [--audio on|off]
                         [--read-limit-ms N] [--row-seconds N] [--warmup-seconds N] [--onscreen]

  --minutes        how long to run (default 10)
  --fault-every    seconds of playing between two faults (default 6)
  --kind           stream kind; alternate switches at every fault (default alternate)
  --fps            pictures per second (default 15)
  --size           picture size (default 640x480)
  --audio          G.726 audio, played on the null device (default on)
  --read-limit-ms  silence the players accept before they give up (default 2000; the
                   product's 60 s would make each stall last a minute)
  --row-seconds    length of a report row (default 60)
  --warmup-seconds faults and restarts before the first row, shown as row "warm" and left
                   out of the comparison (default 90; 0: none)
  --onscreen       show the window on the desktop instead of the offscreen platform
  --verbose        also print every fault, every run started and every recovery

Flat means: between the first and the last full row, resident memory grows by at most
1 MiB (about 2 % of the viewer's 50 MiB) and the thread and descriptor counts are equal,
each taken while pictures flow. A leak of 20 KiB per fault passes that mark within ten minutes.
The warm-up comes first because the first runs of each kind leave the allocator holding pages
they freed (its arenas keep them for the next run), so resident memory climbs a few MiB to a
level it then keeps, while the memory in use does not grow.
)";

struct Options {
    double minutes = 10;
    int faultEvery = 6;
    std::string kind = "alternate";
    int fps = 15;
    std::string size = "640x480";
    std::string audio = "on";
    int readLimitMs = 2000;
    int rowSeconds = 60;
    int warmupSeconds = 90;
    bool onscreen = false;
    bool verbose = false;
};

struct Row {
    int index = 0;
    double seconds = 0;                  // how long the row ran
    std::optional<ProcessCounts> quiet;  // the last sample of the row taken while pictures flowed
    ProcessCounts peak;
    int pictures = 0;
    int runs = 0;
    std::map<std::string, int> faults;
    int recovered = 0;
    double slowestRecoveryS = 0;
};

class CSoak {
public:
    explicit CSoak(const Options& options) : m_options(options) {}

    int Run()
    {
        const auto folder = kvbench::MakeWorkFolder("kv-bench-soak");
        kv::ModuleTimings().readLimitMs = m_options.readLimitMs;
        m_kind = m_options.kind == "mpeg" ? "mpeg" : "jpeg";
        m_cam = std::make_unique<camsim::CamsimProcess>(std::vector<std::string>{
            "--size", m_options.size, "--fps", std::to_string(m_options.fps), "--audio", m_options.audio, "--kind", m_kind});
        m_host = kvbench::MakeHostWindow();
        m_panel = std::make_unique<kv::viewer::CViewerPanel>();
        m_panel->Create(m_host.get());
        if (!Play()) {
            std::fprintf(stderr, "bench_viewer_soak: the viewer did not accept camsim\n");
            return 1;
        }
        if (!kvbench::RunEventsUntil([&] { return m_panel->FrameSink().PaintedCount() > 0; }, 20000)) {
            std::fprintf(stderr, "bench_viewer_soak: no picture within 20 s\n");
            return 1;
        }
        std::printf("Soak: %d s of warm-up, then %.1f minutes, a fault every %d s of playing (stall, close mid-frame, "
                    "garbage, busy), %s %s at %d fps, audio %s, read limit %d ms, %s Qt\n",
                    m_options.warmupSeconds, m_options.minutes, m_options.faultEvery, m_options.kind.c_str(), m_options.size.c_str(),
                    m_options.fps, m_options.audio.c_str(), m_options.readLimitMs,
                    qApp->platformName().toUtf8().constData());
        std::printf("%-4s %12s %12s %8s %8s %6s %6s %9s %5s %7s %9s  %s\n", "row", "RSS KiB", "peak KiB", "threads",
                    "peak", "fds", "peak", "pictures", "runs", "faults", "recovered", "slowest recovery");
        std::fflush(stdout);

        const std::int64_t start = kvbench::MonotonicNs();
        m_end = start + m_options.warmupSeconds * 1'000'000'000ll + static_cast<std::int64_t>(m_options.minutes * 60e9);
        m_rowStart = start;
        m_playingSince = start;
        m_lastSecond = start;
        m_row = Row();
        m_row.index = m_options.warmupSeconds > 0 ? 0 : 1;  // row 0: the warm-up
        m_rowPicturesAt = m_panel->FrameSink().PaintedCount();
        m_lastRun = m_panel->CurrentRun();

        QTimer tick;
        QEventLoop loop;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (!Tick())
                loop.quit();
        });
        tick.start(100);
        loop.exec();

        m_panel->StopPlay();
        m_panel.reset();
        m_host.reset();
        m_cam.reset();
        std::filesystem::remove_all(folder);
        return Verdict();
    }

private:
    std::string StreamPath() const { return m_kind == "mpeg" ? "img/video.asf" : "img/mjpeg.cgi"; }

    bool Play()
    {
        const bool accepted =
            m_panel->SetSource(m_cam->Url(StreamPath()), m_kind, "off", std::to_string(m_options.fps), 1, 1);
        if (!accepted || !m_panel->SourceOk())
            return false;
        m_panel->StartPlay(0, "");
        return true;
    }

    bool Flowing() const
    {
        return m_panel->FrameSink().PaintedCount() > m_picturesSecondAgo && !m_panel->Reconnecting() && !m_awaitingBusy;
    }

    // Every 100 ms: runs started, recoveries, the busy page's steps, the fault schedule,
    // samples every second and the rows.
    bool Tick()
    {
        const std::int64_t now = kvbench::MonotonicNs();
        const int run = m_panel->CurrentRun();
        if (run != 0 && run != m_lastRun) {
            ++m_row.runs;
            Note("run " + std::to_string(run) + " started");
        }
        if (run != 0)
            m_lastRun = run;
        const int painted = m_panel->FrameSink().PaintedCount();

        if (m_awaitingBusy && m_panel->BezelCleared()) {
            // "Can not connect": what the page does next.
            m_awaitingBusy = false;
            m_panel->StopPlay();
            if (!Play())
                std::fprintf(stderr, "bench_viewer_soak: SetSource refused after the busy camera\n");
        }
        if (m_faultPending && !m_awaitingBusy && painted > m_picturesAtFault + 2 &&
            m_panel->CurrentRun() != m_runAtFault && !m_panel->Reconnecting()) {
            m_faultPending = false;
            m_playingSince = now;
            Note("pictures again");
            ++m_row.recovered;
            m_row.slowestRecoveryS = std::max(m_row.slowestRecoveryS, double(now - m_faultAt) / 1e9);
        }

        if (now - m_lastSecond >= 1'000'000'000) {
            m_lastSecond = now;
            const ProcessCounts counts = kvbench::ReadProcessCounts();
            m_row.peak.residentKiB = std::max(m_row.peak.residentKiB, counts.residentKiB);
            m_row.peak.threads = std::max(m_row.peak.threads, counts.threads);
            m_row.peak.descriptors = std::max(m_row.peak.descriptors, counts.descriptors);
            const bool flowing = Flowing();
            m_picturesSecondAgo = painted;
            // The sample and the next fault come after faultEvery seconds of pictures, so
            // every worker of the new run has started.
            if (flowing && !m_faultPending && now - m_playingSince >= m_options.faultEvery * 1'000'000'000ll) {
                m_row.quiet = counts;
                OrderFault(now);
            } else if (m_faultPending && now - m_faultAt > 60'000'000'000ll) {
                std::fprintf(stderr, "bench_viewer_soak: no pictures for a minute after a %s fault\n",
                             m_lastFaultKind.c_str());
                m_faultPending = false;  // counted as not recovered
                m_playingSince = now;
                if (m_awaitingBusy) {
                    m_awaitingBusy = false;
                    m_panel->StopPlay();
                    Play();
                }
            }
        }

        const int rowSeconds = m_row.index == 0 ? m_options.warmupSeconds : m_options.rowSeconds;
        if (now - m_rowStart >= rowSeconds * 1'000'000'000ll || now >= m_end) {
            m_row.pictures = painted - m_rowPicturesAt;
            m_row.seconds = double(now - m_rowStart) / 1e9;
            PrintRow(m_row);
            m_rows.push_back(m_row);
            const int next = m_row.index + 1;
            m_row = Row();
            m_row.index = next;
            m_rowStart = now;
            m_rowPicturesAt = painted;
        }
        return now < m_end;
    }

    void OrderFault(std::int64_t now)
    {
        static const char* const kKinds[] = {"stall", "close_mid", "garbage", "busy"};
        const std::string kind = kKinds[m_faultIndex++ % 4];
        m_lastFaultKind = kind;
        Note(kind + " ordered");
        ++m_row.faults[kind];
        m_faultPending = true;
        m_faultAt = now;
        m_picturesAtFault = m_panel->FrameSink().PaintedCount();
        m_runAtFault = m_panel->CurrentRun();
        if (m_options.kind == "alternate") {
            // Takes effect at the next start: StartPlay asks util.cgi for the kind.
            m_kind = m_kind == "mpeg" ? "jpeg" : "mpeg";
            m_cam->Control("kind=" + m_kind);
        }
        if (kind == "busy") {
            // A busy camera answers a new request, so the page starts one.
            m_panel->StopPlay();
            m_cam->SetFault("busy&count=1&path=/img/");
            m_awaitingBusy = Play();
            m_runAtFault = 0;
            return;
        }
        if (kind == "stall")
            m_cam->SetFault("stall_mid&after_bytes=0&running_only=1&path=/img/");
        else if (kind == "close_mid")
            m_cam->SetFault("close_mid&after_frames=1&running_only=1&path=/img/");
        else
            m_cam->SetFault("garbage&bytes=20000&running_only=1&path=/img/");
    }

    static void PrintRow(const Row& row)
    {
        const ProcessCounts quiet = row.quiet.value_or(ProcessCounts{});
        std::string faults;
        int total = 0;
        for (const auto& [kind, count] : row.faults)
            total += count;
        const std::string label = row.index == 0 ? "warm" : std::to_string(row.index);
        std::printf("%-4s %12ld %12ld %8d %8d %6d %6d %9d %5d %7d %9d  %.1f s\n", label.c_str(), quiet.residentKiB,
                    row.peak.residentKiB, quiet.threads, row.peak.threads, quiet.descriptors, row.peak.descriptors,
                    row.pictures, row.runs, total, row.recovered, row.slowestRecoveryS);
        std::fflush(stdout);
    }

    int Verdict() const
    {
        // A row cut short by the end of the run is left out: it may hold no sample worth one.
        std::vector<const Row*> measured;
        for (const Row& row : m_rows)
            if (row.index > 0 && row.quiet && row.seconds >= 0.9 * m_options.rowSeconds)
                measured.push_back(&row);
        if (measured.size() < 2) {
            std::printf("Too short to compare a first and a last full row.\n");
            return 0;
        }
        const ProcessCounts first = *measured.front()->quiet;
        const ProcessCounts last = *measured.back()->quiet;
        const long growth = last.residentKiB - first.residentKiB;
        constexpr long kFlatGrowthKiB = 1024;
        const bool memoryFlat = growth <= kFlatGrowthKiB;
        const bool threadsFlat = last.threads == first.threads;
        const bool descriptorsFlat = last.descriptors == first.descriptors;
        int faults = 0;
        int recovered = 0;
        for (const Row& row : m_rows) {
            for (const auto& [kind, count] : row.faults)
                faults += count;
            recovered += row.recovered;
        }
        std::printf("First row %d against last row %d: resident memory %+ld KiB (%s), threads %d -> %d (%s), "
                    "descriptors %d -> %d (%s); the viewer came back from %d of %d faults%s.\n",
                    measured.front()->index, measured.back()->index, growth, memoryFlat ? "flat" : "GROWS",
                    first.threads, last.threads, threadsFlat ? "flat" : "CHANGED", first.descriptors,
                    last.descriptors, descriptorsFlat ? "flat" : "CHANGED", recovered, faults,
                    m_faultPending ? " (the last one was still under way when the run ended)" : "");
        return memoryFlat && threadsFlat && descriptorsFlat ? 0 : 3;
    }

    void Note(const std::string& what) const
    {
        if (m_options.verbose)
            std::printf("  %8.1f s  %s\n", double(kvbench::MonotonicNs() - m_started) / 1e9, what.c_str());
    }

    const Options m_options;
    std::int64_t m_started = kvbench::MonotonicNs();
    std::unique_ptr<camsim::CamsimProcess> m_cam;
    std::unique_ptr<QWidget> m_host;
    std::unique_ptr<kv::viewer::CViewerPanel> m_panel;
    std::string m_kind;

    std::int64_t m_end = 0;
    std::int64_t m_rowStart = 0;
    std::int64_t m_lastSecond = 0;
    std::int64_t m_playingSince = 0;  // pictures have flowed since, without a fault
    int m_picturesSecondAgo = 0;
    int m_rowPicturesAt = 0;
    int m_lastRun = 0;
    Row m_row;
    std::vector<Row> m_rows;

    int m_faultIndex = 0;
    std::string m_lastFaultKind;
    bool m_faultPending = false;
    bool m_awaitingBusy = false;
    std::int64_t m_faultAt = 0;
    int m_picturesAtFault = 0;
    int m_runAtFault = 0;
};

} // namespace

int main(int argc, char** argv)
{
    const Args args(argc, argv);
    if (args.Has("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto unknown = args.Unknown(
        {"minutes", "fault-every", "kind", "fps", "size", "audio", "read-limit-ms", "row-seconds", "warmup-seconds",
         "onscreen", "verbose"});
    if (!unknown.empty()) {
        std::fprintf(stderr, "bench_viewer_soak: unknown option --%s (see --help)\n", unknown.front().c_str());
        return 2;
    }
    Options options;
    options.minutes = std::max(0.05, args.Number("minutes", options.minutes));
    options.faultEvery = std::max(1, static_cast<int>(args.Number("fault-every", options.faultEvery)));
    options.kind = args.Text("kind", options.kind);
    if (options.kind != "mjpeg" && options.kind != "mpeg" && options.kind != "alternate") {
        std::fprintf(stderr, "bench_viewer_soak: --kind is mjpeg, mpeg or alternate\n");
        return 2;
    }
    options.fps = std::clamp(static_cast<int>(args.Number("fps", options.fps)), 1, 60);
    options.size = args.Text("size", options.size);
    options.audio = args.Text("audio", options.audio);
    options.readLimitMs = std::max(200, static_cast<int>(args.Number("read-limit-ms", options.readLimitMs)));
    options.rowSeconds = std::max(5, static_cast<int>(args.Number("row-seconds", options.rowSeconds)));
    options.warmupSeconds = std::max(0, static_cast<int>(args.Number("warmup-seconds", options.warmupSeconds)));
    options.onscreen = args.Has("onscreen");
    options.verbose = args.Has("verbose");

    kvbench::PrepareEnvironment(options.onscreen);
    QApplication app(argc, argv);
    try {
        CSoak soak(options);
        return soak.Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_viewer_soak: %s\n", error.what());
        return 1;
    }
}
