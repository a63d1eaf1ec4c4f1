#include "viewer_test_support.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <thread>

#include "core/timings.h"
#include "platform/ui/frame_sink.h"
#include "viewer/panel/viewer_panel.h"
#include "viewer/widgets/password_dlg.h"

namespace kvtest {

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Pump(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool FakeDisplay::Open(int width, int height, std::span<const std::uint8_t>)
{
    {
        std::lock_guard lock(m_lock);
        m_picture = {width, height};
        m_view = m_picture;
    }
    m_open = true;
    if (kv::IMessageTarget* window = m_window.load())
        window->PostMessage(kv::WM_DISPLAY_OPENED, 0, 0);
    return true;
}

bool FakeDisplay::Start()
{
    ++m_starts;
    m_running = true;
    if (presentOnStart)
        Present();
    return true;
}

bool FakeDisplay::RequestStop(int)
{
    if (ignoreStop)
        return false;
    m_open = false;
    m_running = false;
    return true;
}

void FakeDisplay::SetExitCallback(kv::CWorkerThread::ExitCallback callback)
{
    std::lock_guard lock(m_lock);
    m_exit = std::move(callback);
}

kv::PictureSize FakeDisplay::GetPictureSize() const
{
    std::lock_guard lock(m_lock);
    return m_picture;
}

kv::PictureSize FakeDisplay::GetViewSize() const
{
    std::lock_guard lock(m_lock);
    return m_view;
}

void FakeDisplay::SetViewSize(int width, int height)
{
    std::lock_guard lock(m_lock);
    m_view = {width, height};
}

void FakeDisplay::SetZoomSource(int x, int y, int width, int height)
{
    std::lock_guard lock(m_lock);
    m_zoomSource = {x, y, width, height};
}

void FakeDisplay::SetPictureSize(int width, int height)
{
    std::lock_guard lock(m_lock);
    m_picture = {width, height};
}

std::array<int, 4> FakeDisplay::ZoomSource() const
{
    std::lock_guard lock(m_lock);
    return m_zoomSource;
}

void FakeDisplay::Present()
{
    kv::IFrameSink* sink = m_sink.load();
    const kv::PictureSize view = GetViewSize();
    if (!sink || view.width <= 0 || view.height <= 0)
        return;
    // A bottom-up 24-bit picture: mid grey with a lighter top half, so a test can tell
    // rows apart.
    const int stride = (view.width * 3 + 3) & ~3;
    std::vector<std::uint8_t> dib(40 + static_cast<std::size_t>(stride) * view.height, 0x80);
    auto put32 = [&dib](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    std::fill(dib.begin(), dib.begin() + 40, 0);
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(view.width));
    put32(8, static_cast<std::uint32_t>(view.height));
    dib[12] = 1;
    dib[14] = 24;
    for (int row = view.height / 2; row < view.height; ++row)
        std::fill_n(dib.begin() + 40 + static_cast<std::ptrdiff_t>(row) * stride, view.width * 3, 0xC0);
    const std::span<const std::uint8_t> block(dib);
    sink->Present({block.first(40), block.subspan(40)}, {0, 0, view.width, view.height},
                  {225, 35, view.width, view.height});
}

namespace {

// The grey picture of Present() as an image: lighter in its top half.
std::unique_ptr<CxImage> GreyPicture(int width, int height)
{
    auto image = std::make_unique<CxImage>();
    if (width <= 0 || height <= 0 ||
        image->Create(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, CXIMAGE_FORMAT_BMP) == nullptr)
        return image;
    for (int y = 0; y < height; ++y)
        std::fill_n(image->RowPointer(height - 1 - y), width * 3, y < height / 2 ? 0xC0 : 0x80);
    return image;
}

} // namespace

void FakeDisplay::RequestCapture()
{
    m_captureRequested = true;
    if (!serveCaptures || !m_open)
        return;
    const kv::PictureSize picture = GetPictureSize();
    std::lock_guard lock(m_lock);
    m_fullCopy = GreyPicture(picture.width, picture.height);
    m_previewCopy = GreyPicture(320, 240);
    m_captureRequested = false;
}

std::unique_ptr<CxImage> FakeDisplay::TakeFullCopy()
{
    std::lock_guard lock(m_lock);
    return std::move(m_fullCopy);
}

std::unique_ptr<CxImage> FakeDisplay::TakePreviewCopy()
{
    std::lock_guard lock(m_lock);
    return std::move(m_previewCopy);
}

void FakeDisplay::Exit(int code)
{
    kv::CWorkerThread::ExitCallback callback;
    {
        std::lock_guard lock(m_lock);
        callback = m_exit;
    }
    m_open = false;
    m_running = false;
    if (callback && code != 0)
        callback(code);
}

PasswordAnswers::PasswordAnswers(std::initializer_list<Step> steps) : m_steps(steps)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [this] { Poll(); });
    timer->start();
    m_timer.reset(timer);
}

PasswordAnswers::~PasswordAnswers() = default;

void PasswordAnswers::Poll()
{
    if (m_next >= static_cast<int>(m_steps.size()))
        return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<kv::viewer::CPasswordDlg*>(widget);
        if (!dialog || !dialog->isVisible())
            continue;
        const Step& step = m_steps[static_cast<std::size_t>(m_next++)];
        if (step.cancel) {
            dialog->CancelButton()->click();
            return;
        }
        dialog->UserEdit()->setText(QString::fromStdString(step.user));
        dialog->PasswordEdit()->setText(QString::fromStdString(step.password));
        dialog->OkButton()->click();
        return;
    }
}

void PanelFixture::SetUp()
{
    App();
    ShortenTimings();
    host = std::make_unique<QWidget>();
    host->resize(kv::viewer::CViewerPanel::kWidth, kv::viewer::CViewerPanel::kHeight);
    host->show();
    workers = std::make_unique<TestWorkers>();
    panel = std::make_unique<kv::viewer::CViewerPanel>(workers->Workers());
}

void PanelFixture::TearDown()
{
    panel.reset();
    workers.reset();
    cam.reset();
    host.reset();
    RestoreTimings();
}

void PanelFixture::StartCamera(std::vector<std::string> flags)
{
    cam = std::make_unique<camsim::CamsimProcess>(std::move(flags));
}

bool PanelFixture::SetSource(const std::string& frameType, const std::string& panTilt, const std::string& frameRate,
                             int color, int language)
{
    // The address holds the stream path of the kind it names, as a camera's page gives it.
    const char* path = frameType == "mpeg" ? "img/video.asf" : "img/mjpeg.cgi";
    return panel->SetSource(cam->Url(path), frameType, panTilt, frameRate, color, language);
}

void PanelFixture::PlayUntilLaidOut(const std::string& frameType, int color)
{
    if (!panel->HasWindow())
        panel->Create(host.get());
    ASSERT_TRUE(SetSource(frameType, "on", "15", color));
    panel->StartPlay(0, "");
    WaitForLayout();
}

void PanelFixture::WaitForLayout()
{
    ASSERT_TRUE(WaitUntil([&] { return CurrentFake().IsOpen() && Visible(kv::viewer::IDC_STATIC_TIME); }));
}

FakeDisplay& PanelFixture::CurrentFake()
{
    return panel->FrameType() == "mpeg" ? workers->mpeg4Display : workers->mjpegDisplay;
}

QWidget* PanelFixture::C(int id) const { return panel->Control(id); }

bool PanelFixture::Visible(int id) const
{
    const QWidget* control = panel->Control(id);
    return control && !control->isHidden();
}

int PanelFixture::RequestCount(const std::string& path) const
{
    return static_cast<int>(cam->RequestsTo(path).size());
}

void ShortenTimings()
{
    kv::Timings& t = kv::ModuleTimings();
    t.openSettleMs = 10;
    t.openLimitMs = 2000;
    t.readLimitMs = 600;
    t.connectSettleMs = 10;
    t.consumerStopMs = 500;
    t.stopSleepMs = 20;
    t.getSettleMs = 0;
    t.getWatchdogMs = 3000;
    t.bodyStallMs = 3000;
    t.panelStopSleepMs = 10;
    t.viewSizeSleepMs = 0;
    t.playerStopMs = 5000;
    t.restartBackoffMaxMs = 160;
}

void RestoreTimings() { kv::ModuleTimings().ResetToDefaults(); }

std::string TextOf(const QWidget* control)
{
    if (auto* label = qobject_cast<const QLabel*>(control))
        return label->text().toStdString();
    if (auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text().toStdString();
    return {};
}

} // namespace kvtest
