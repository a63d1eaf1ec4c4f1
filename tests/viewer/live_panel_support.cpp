#include "live_panel_support.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "display/display_test_support.h"
#include "platform/ui/qt_frame_sink.h"
#include "stream/recording_events.h"
#include "viewer/panel/viewer_panel.h"
#include "viewer_test_support.h"
#include "ximage.h"

namespace kvtest {

namespace {

std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QImage ImageOfPacked(const std::vector<std::uint8_t>& packed)
{
    const std::optional<kv::DibView> dib = kv::SplitPackedDib(packed);
    return dib ? kv::ui::ImageFromDib(*dib) : QImage();
}

void AddJpegPictures(const std::vector<std::uint8_t>& body, std::vector<QImage>& out)
{
    kv::testing::RecordingMjpgEvents events;
    kv::CMjpgParser parser(kv::kKavaroProfile, events);
    for (std::size_t at = 0; at < body.size(); at += 2048)
        parser.Feed(std::span<const std::uint8_t>(body).subspan(at, std::min<std::size_t>(2048, body.size() - at)));
    for (const auto& frame : events.video) {
        CxImage image;
        if (!image.Decode(frame.data.data(), static_cast<std::uint32_t>(frame.data.size()),
                          CXIMAGE_FORMAT_JPG))
            continue;
        const auto* block = static_cast<const std::uint8_t*>(image.GetDIB());
        const std::size_t header = 40 + image.PaletteSize();
        out.push_back(kv::ui::ImageFromDib({{block, header}, {block + header, image.TotalSize() - header}}));
    }
}

void AddMpeg4Pictures(const std::vector<std::uint8_t>& body, std::vector<QImage>& out)
{
    kv::testing::RecordingAsfEvents events;
    kv::CAsfParser parser(kv::kKavaroProfile, events);
    std::size_t consumed = 0;
    parser.FeedAvailable(body, consumed);
    kv::test::M4vStream stream{events.videoConfig, {}};
    for (const auto& frame : events.video)
        stream.frames.push_back(frame.data);
    for (const auto& packed : kv::test::ReferencePictures(kv::kKavaroProfile, stream))
        if (!packed.empty())
            out.push_back(ImageOfPacked(packed));
}

} // namespace

double Agreement(const QImage& a, const QImage& b, int tolerance)
{
    if (a.size() != b.size() || a.isNull())
        return 0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    long long same = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            same += std::abs(qRed(p[col]) - qRed(q[col])) <= tolerance &&
                    std::abs(qGreen(p[col]) - qGreen(q[col])) <= tolerance &&
                    std::abs(qBlue(p[col]) - qBlue(q[col])) <= tolerance;
    }
    return double(same) / (double(x.width()) * x.height());
}

void LivePanel::SetUp()
{
    ::setenv("KAVARO_AUDIO", "null", 0);  // unless the run chose a sound output
    App();
    ShortenTimings();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir = std::filesystem::temp_directory_path() / ("kv-live-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    host = std::make_unique<QWidget>();
    host->resize(kv::viewer::CViewerPanel::kWidth, kv::viewer::CViewerPanel::kHeight);
    host->show();
    workers = std::make_unique<LiveWorkers>();
    panel = std::make_unique<kv::viewer::CViewerPanel>(workers->Workers());
}

void LivePanel::TearDown()
{
    panel.reset();  // stops what it started
    workers.reset();
    cam.reset();
    host.reset();
    RestoreTimings();
    std::error_code ignored;
    if (!HasFailure())
        std::filesystem::remove_all(dir, ignored);
}

void LivePanel::StartCamera(std::vector<std::string> flags)
{
    flags.insert(flags.end(), {"--record-dir", dir.string(), "--clock-start", "2026/01/01 12:00:00"});
    cam = std::make_unique<camsim::CamsimProcess>(std::move(flags));
}

bool LivePanel::SetSource(const std::string& frameType, int color)
{
    const char* path = frameType == "mpeg" ? "img/video.asf" : "img/mjpeg.cgi";
    return panel->SetSource(cam->Url(path), frameType, "on", "15", color, 1);
}

void LivePanel::Play(const std::string& frameType, int color, int pictures)
{
    if (!panel->HasWindow())
        panel->Create(host.get());
    ASSERT_TRUE(SetSource(frameType, color));
    const int before = Sink().PresentedCount();
    panel->StartPlay(0, "");
    ASSERT_TRUE(WaitUntil([&] {
        return panel->Control(kv::viewer::IDC_STATIC_TIME)->isVisible() && Sink().PresentedCount() >= before + pictures;
    }, 15000));
}

bool LivePanel::WaitForMorePictures(int more, int timeoutMs)
{
    const int target = Sink().PresentedCount() + more;
    return WaitUntil([&] { return Sink().PresentedCount() >= target; }, timeoutMs);
}

void LivePanel::SelectViewSize(int index)
{
    auto* list = qobject_cast<QComboBox*>(panel->Control(kv::viewer::IDC_COMBO_VIEWSIZE));
    ASSERT_TRUE(list);
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void LivePanel::ClickZoomButton()
{
    auto* button = qobject_cast<QAbstractButton*>(panel->Control(kv::viewer::IDC_BUTTON_ZOOM));
    ASSERT_TRUE(button);
    button->click();
}

void LivePanel::ClickPanel(int x, int y) { QTest::mouseClick(panel.get(), Qt::LeftButton, {}, QPoint(x, y)); }

std::vector<QImage> LivePanel::SentPictures() const
{
    std::vector<QImage> pictures;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string file = entry.path().filename().string();
        if (file.ends_with("-mjpeg.bin"))
            AddJpegPictures(ReadAll(entry.path()), pictures);
        else if (file.ends_with("-asf.bin"))
            AddMpeg4Pictures(ReadAll(entry.path()), pictures);
    }
    return pictures;
}

QImage LivePanel::Grab(const QRect& area) const
{
    const QImage whole = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
    return area.isNull() ? whole : whole.copy(area);
}

kv::ui::CQtFrameSink& LivePanel::Sink() const { return panel->FrameSink(); }

kv::CDisplayWorker& LivePanel::CurrentDisplay() const
{
    if (panel->FrameType() == "mpeg")
        return workers->mpeg4Display;
    return workers->mjpegDisplay;
}

kv::CStreamPlayerBase& LivePanel::CurrentPlayer() const
{
    if (panel->FrameType() == "mpeg")
        return workers->asfPlayer;
    return workers->mjpegPlayer;
}

} // namespace kvtest
