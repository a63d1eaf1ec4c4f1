#include "motion/dialog/motion_setup_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>

#include <algorithm>

#include "motion/dialog/authorization_dialog.h"
#include "motion/dialog/module_streams.h"
#include "motion/dialog/setup_target.h"
#include "motion/frames/area_frame.h"
#include "motion/protocol/setup_state.h"
#include "motion/resources/string_table.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/picture_image.h"
#include "platform/ui/posted_message.h"
#include "platform/ui/qt_frame_sink.h"
#include "platform/ui/ui_helpers.h"
#include "platform/ui/window_timers.h"
#include "ximage.h"

namespace kv::motion {

namespace {

const QColor kDialogColour(230, 232, 237);
const QColor kPanelColour(255, 255, 255);
constexpr int kMessageFontPixels = 28;

// The picture control: a black frame around the picture area. Clicks go through to the
// dialog, and its inside is left to the dialog's painting (live picture or snapshot).
class PictureArea final : public QWidget {
public:
    explicit PictureArea(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// Opaque background and black text, as the dialog paints its controls. Push buttons keep
// their own face; other buttons (the check boxes) fill with the background too.
void Colour(QWidget* widget, const QColor& background)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::ButtonText, Qt::black);
    if (!qobject_cast<QPushButton*>(widget))
        palette.setColor(QPalette::Button, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

// The snapshot minus its last column and row is what fills the picture area (a one-pixel
// picture keeps its pixel).
QRect SnapshotSourceRect(const QImage& image)
{
    return QRect(0, 0, std::max(1, image.width() - 1), std::max(1, image.height() - 1));
}

QString DialogText(int controlId)
{
    const char* text = TemplateTextOf(dialog201::Texts(), controlId);
    return text ? QString::fromUtf8(text) : QString();
}

template <typename Widget>
Widget* Make(QWidget* parent, int id)
{
    auto* widget = new Widget(parent);
    kv::ui::SetControlId(widget, id);
    widget->hide();
    return widget;
}

} // namespace

MotionSetupDialog::MotionSetupDialog(QWidget* parent)
    : QWidget(parent), m_streams(std::make_unique<CModuleMotionStreams>())
{
    IMotionSetupView& view = *this;
    m_setup = std::make_unique<MotionSetup>(view, *m_streams);
    hide();
}

MotionSetupDialog::~MotionSetupDialog() { DestroyWindow(); }

void MotionSetupDialog::SetStreams(std::unique_ptr<IMotionStreams> streams)
{
    if (!streams)
        return;
    m_streams = std::move(streams);
    IMotionSetupView& view = *this;
    m_setup = std::make_unique<MotionSetup>(view, *m_streams);
}

bool MotionSetupDialog::Create(QWidget* parent)
{
    if (m_created)
        return true;
    if (parent != parentWidget())
        setParent(parent);
    BuildControls();
    m_created = true;
    Initialise();
    show();
    return true;
}

void MotionSetupDialog::BuildControls()
{
    setFont(kv::ui::DialogFont());
    setGeometry(0, 0, kWidth, kHeight);
    setFocusPolicy(Qt::StrongFocus);

    // Creation order is the stacking order: the picture at the bottom, each panel's white
    // background under its controls, the message line above everything.
    m_picture = new PictureArea(this);
    kv::ui::SetControlId(m_picture, IDC_PICTURE);
    for (int n = 1; n <= kWindowCount; ++n) {
        WindowPanel& p = m_panels[static_cast<std::size_t>(n - 1)];
        p.groupBox = Make<QGroupBox>(this, GroupBoxId(n));
        p.whiteRect = Make<QWidget>(this, WhiteRectId(n));
        p.check = Make<QCheckBox>(this, CheckBoxId(n));
        p.check->setText(DialogText(CheckBoxId(n)));
        p.thresholdLabel = Make<QLabel>(this, ThresholdLabelId(n));
        p.thresholdLabel->setText(DialogText(ThresholdLabelId(n)));
        p.threshold = Make<QSlider>(this, ThresholdSliderId(n));
        p.level = Make<QProgressBar>(this, LevelBarId(n));
        p.sensitivityLabel = Make<QLabel>(this, SensitivityLabelId(n));
        p.sensitivityLabel->setText(DialogText(SensitivityLabelId(n)));
        p.sensitivity = Make<QSlider>(this, SensitivitySliderId(n));
        for (QSlider* slider : {p.threshold, p.sensitivity}) {
            slider->setOrientation(Qt::Horizontal);
            slider->setTickPosition(QSlider::NoTicks);
            // The template's window texts; never displayed.
            slider->setWindowTitle(DialogText(kv::ui::ControlId(slider)));
        }
        p.level->setTextVisible(false);
        p.level->setWindowTitle(DialogText(LevelBarId(n)));
        connect(p.check, &QCheckBox::clicked, this, [this, n](bool checked) { OnWindowChecked(n, checked); });
    }
    m_saveAreas = Make<QPushButton>(this, IDC_SAVE_AREAS);
    m_saveAreas->setText(DialogText(IDC_SAVE_AREAS));
    m_ok = Make<QPushButton>(this, IDC_OK);
    m_ok->setText(DialogText(IDC_OK));
    m_ok->setDefault(true);
    m_cancel = Make<QPushButton>(this, IDC_CANCEL);
    m_cancel->setText(DialogText(IDC_CANCEL));
    m_message = Make<QLabel>(this, IDC_MESSAGE);
    m_message->setText(DialogText(IDC_MESSAGE));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setTextFormat(Qt::PlainText);

    connect(m_saveAreas, &QPushButton::clicked, this, [this] { SaveAreas(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { SaveView(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { ReloadView(); });

    m_timers = new kv::ui::CWindowTimers(this, [this](int id) { OnLevelTimer(id); });
    m_sink = new kv::ui::CQtFrameSink(this);
    PlaceControls();
}

void MotionSetupDialog::PlaceControls()
{
    m_picture->setGeometry(0, 0, kPictureWidth, kPictureHeight);
    for (int n = 1; n <= kWindowCount; ++n) {
        WindowPanel& p = m_panels[static_cast<std::size_t>(n - 1)];
        const int d = 120 * (n - 1);
        // The last panel reaches down to the buttons.
        if (n == kWindowCount) {
            p.groupBox->setGeometry(650, 355, 150, 125);
            p.whiteRect->setGeometry(650, 361, 148, 117);
        } else {
            p.groupBox->setGeometry(650, -5 + d, 150, 120);
            p.whiteRect->setGeometry(650, 1 + d, 148, 112);
        }
        p.check->setGeometry(665, 10 + d, 120, 15);
        p.thresholdLabel->setGeometry(665, 30 + d, 120, 15);
        p.threshold->setGeometry(661, 45 + d, 130, 15);
        p.level->setGeometry(665, 62 + d, 120, 15);
        p.sensitivityLabel->setGeometry(665, 80 + d, 120, 15);
        p.sensitivity->setGeometry(661, 95 + d, 130, 15);

        p.threshold->setRange(0, 255);
        p.sensitivity->setRange(0, 10);
        p.level->setRange(0, 99);
        p.level->setValue(0);
    }
    m_saveAreas->setGeometry(690, 500, 75, 20);
    m_ok->setGeometry(245, 500, 75, 20);
    m_cancel->setGeometry(345, 500, 75, 20);
    m_message->setGeometry(15, 15, 320, 40);
}

void MotionSetupDialog::FitMessageLine()
{
    // The line is 320 by 40; a longer message wraps and the line grows downwards rather
    // than cutting the message off after its first words.
    const QRect place(15, 15, 320, 40);
    const int needed = m_message->heightForWidth(place.width());
    m_message->setGeometry(place.adjusted(0, 0, 0, std::max(0, needed - place.height())));
}

void MotionSetupDialog::ApplyColours()
{
    Colour(this, kDialogColour);
    for (QWidget* w : {static_cast<QWidget*>(m_saveAreas), static_cast<QWidget*>(m_ok),
                       static_cast<QWidget*>(m_cancel), static_cast<QWidget*>(m_message)})
        Colour(w, kDialogColour);
    for (WindowPanel& p : m_panels) {
        for (QWidget* w : {p.groupBox, p.whiteRect, static_cast<QWidget*>(p.check),
                           static_cast<QWidget*>(p.thresholdLabel), static_cast<QWidget*>(p.threshold),
                           static_cast<QWidget*>(p.level), static_cast<QWidget*>(p.sensitivityLabel),
                           static_cast<QWidget*>(p.sensitivity)})
            Colour(w, kPanelColour);
    }
    m_message->setFont(kv::ui::BoldDialogFont(kMessageFontPixels));
    FitMessageLine();
}

void MotionSetupDialog::Initialise()
{
    if (SetupActive()) {
        // Another control of this module runs the one setup: this one stays empty.
        m_picture->hide();
        ApplyColours();
        return;
    }
    kv::ui::CWaitCursor wait;
    m_picture->hide();
    ClaimTarget();
    if (m_setup->SourceGiven()) {
        m_setup->UseSettingsAddress();
        if (m_setup->ReadSettings()) {
            m_setup->HandSourceToPlayers();
            m_setup->StartPicture();
        }
    }
    ApplyColours();
}

bool MotionSetupDialog::SetSource(const std::string& szUrl, const std::string& szFrameType, int nOcxType)
{
    if (SetupActive()) {
        // Before this control has a window there is no message line to write to, and
        // nothing of it may change.
        if (m_created)
            ShowMessage(IDS_CAN_NOT_CONNECT);
        return false;
    }
    kv::ui::CWaitCursor wait;
    m_setup->SetSource(szUrl, szFrameType, nOcxType);
    if (m_created) {
        ClaimTarget();
        m_setup->UseSettingsAddress();
        if (m_setup->ReadSettings()) {
            m_setup->HandSourceToPlayers();
            m_setup->StartPicture();
        }
    }
    return true;
}

void MotionSetupDialog::StopPlay()
{
    if (!m_created)
        return;
    EndSetup();
    DestroyWindow();
}

void MotionSetupDialog::DestroyWindow()
{
    if (!m_created)
        return;
    // A host that releases the control without StopPlay still gets its setup ended: the
    // stream stopped, the module's setup flag cleared and the camera released.
    if (m_setup->HasBegun())
        EndSetup();
    m_timers->KillAll();
    SetupTarget().Detach(this);
    DeleteControls();
    m_created = false;
    hide();
}

void MotionSetupDialog::DeleteControls()
{
    for (auto& frame : m_frames)
        delete frame.data();
    m_frames = {};
    const auto children = findChildren<QObject*>(Qt::FindDirectChildrenOnly);
    for (QObject* child : children)
        delete child;
    m_picture = nullptr;
    m_message = nullptr;
    m_saveAreas = m_ok = m_cancel = nullptr;
    m_panels = {};
    m_timers = nullptr;
    m_sink = nullptr;
    m_snapshotImage = QImage();
}

bool MotionSetupDialog::ReadSettings()
{
    kv::ui::CWaitCursor wait;
    return m_setup->ReadSettings();
}

void MotionSetupDialog::StartPicture()
{
    kv::ui::CWaitCursor wait;
    m_setup->StartPicture();
}

void MotionSetupDialog::SaveAreas()
{
    kv::ui::CWaitCursor wait;
    ClaimTarget();
    m_setup->SaveAreas();
}

void MotionSetupDialog::ClaimTarget()
{
    // The module's workers draw into, and report to, the dialog whose setup starts them;
    // never into another control's running setup.
    if (m_created && (!SetupActive() || m_setup->HoldsSetupFlag()))
        SetupTarget().Attach(this, m_sink);
}

void MotionSetupDialog::SaveView()
{
    kv::ui::CWaitCursor wait;
    m_setup->SaveView();
}

void MotionSetupDialog::ReloadView()
{
    kv::ui::CWaitCursor wait;
    m_setup->ReloadView();
}

void MotionSetupDialog::EndSetup()
{
    kv::ui::CWaitCursor wait;
    m_setup->EndSetup();
}

void MotionSetupDialog::ShowFrame(int index, int enabled, int x1, int y1, int x2, int y2)
{
    if (!m_created || index < 0 || index >= kFrameCount)
        return;
    QPointer<AreaFrame>& frame = m_frames[static_cast<std::size_t>(index)];
    if (!enabled) {
        if (frame)
            frame->hide();
        return;
    }
    if (!frame) {
        frame = new AreaFrame(index, QString::fromUtf8(frames::Caption(index)), m_picture, this);
        frame->Place(QRect(x1, y1, x2 - x1, y2 - y1));
    }
    frame->show();
}

std::optional<AreaRect> MotionSetupDialog::MeasureFrame(int index) const
{
    if (index < 0 || index >= kFrameCount || !m_frames[static_cast<std::size_t>(index)])
        return std::nullopt;
    const QRect f = m_frames[static_cast<std::size_t>(index)]->geometry();
    const QRect p = PictureRect();
    return AreaRect{std::max(f.left(), p.left()) - p.left(), std::max(f.top(), p.top()) - p.top(),
                    std::min(f.x() + f.width(), p.x() + p.width()) - p.left(),
                    std::min(f.y() + f.height(), p.y() + p.height()) - p.top()};
}

QRect MotionSetupDialog::PictureRect() const
{
    return m_picture ? m_picture->geometry() : QRect(0, 0, kPictureWidth, kPictureHeight);
}

void MotionSetupDialog::ApplySettings()
{
    if (!m_created)
        return;
    const bool windows = !m_setup->IsViewMode();
    if (windows) {
        for (int n = 1; n <= kWindowCount; ++n) {
            const DetectionWindow& w = m_setup->Area().windows[static_cast<std::size_t>(n - 1)];
            ShowFrame(n, w.enabled, w.x1, w.y1, w.x2, w.y2);
        }
        for (int n = 1; n <= kWindowCount; ++n) {
            const DetectionWindow& w = m_setup->Area().windows[static_cast<std::size_t>(n - 1)];
            WindowPanel& p = m_panels[static_cast<std::size_t>(n - 1)];
            p.check->setChecked(w.enabled != 0);
            p.threshold->setValue(w.threshold);
            p.sensitivity->setValue(w.sensitivity);
        }
    } else {
        const ViewSettings& v = m_setup->View();
        ShowFrame(0, v.enabled, v.x1, v.y1, v.x2, v.y2);
    }
    m_picture->show();
    SetPanelsVisible(windows);
    m_saveAreas->setVisible(windows);
    m_ok->setVisible(!windows);
    m_cancel->setVisible(!windows);
    m_message->hide();
}

void MotionSetupDialog::SetPanelsVisible(bool visible)
{
    for (WindowPanel& p : m_panels) {
        for (QWidget* w : {p.groupBox, p.whiteRect, static_cast<QWidget*>(p.check),
                           static_cast<QWidget*>(p.thresholdLabel), static_cast<QWidget*>(p.threshold),
                           static_cast<QWidget*>(p.level), static_cast<QWidget*>(p.sensitivityLabel),
                           static_cast<QWidget*>(p.sensitivity)})
            w->setVisible(visible);
    }
}

void MotionSetupDialog::HideEverythingButMessage()
{
    m_picture->hide();
    SetPanelsVisible(false);
    m_saveAreas->hide();
    m_ok->hide();
    m_cancel->hide();
}

void MotionSetupDialog::OnPlayerResult(int resultCode)
{
    // Only "camera busy" ends the setup; the other codes leave the screen as it is.
    if (!m_created || resultCode != 310)
        return;
    EndSetup();
    HideEverythingButMessage();
    ShowMessage(IDS_CAN_NOT_CONNECT);
    update();
}

void MotionSetupDialog::OnWindowChecked(int n, bool checked)
{
    DetectionWindow& w = m_setup->Area().windows[static_cast<std::size_t>(n - 1)];
    w.enabled = checked ? 1 : 0;
    ShowFrame(n, w.enabled, w.x1, w.y1, w.x2, w.y2);
}

void MotionSetupDialog::OnLevelTimer(int id)
{
    if (id == MotionSetup::kLevelTimerId)
        m_setup->UpdateLevels();
}

QWidget* MotionSetupDialog::Control(int id) const
{
    const auto children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children)
        if (kv::ui::ControlId(child) == id)
            return child;
    return nullptr;
}

AreaFrame* MotionSetupDialog::Frame(int index) const
{
    if (index < 0 || index >= kFrameCount)
        return nullptr;
    return m_frames[static_cast<std::size_t>(index)].data();
}

bool MotionSetupDialog::event(QEvent* event)
{
    if (kv::ui::IsPostedMessage(event, kv::WM_PLAYER_RESULT)) {
        OnPlayerResult(static_cast<int>(static_cast<kv::ui::CPostedMessage*>(event)->WParam()));
        return true;
    }
    return QWidget::event(event);
}

const QImage& MotionSetupDialog::SnapshotImage()
{
    if (m_snapshotImage.isNull())
        m_snapshotImage = kv::ui::ImageFromPicture(SnapshotPicture());
    return m_snapshotImage;
}

void MotionSetupDialog::paintEvent(QPaintEvent*)
{
    if (!m_created)
        return;
    QPainter painter(this);
    const QRect picture = PictureRect();
    if (m_setup->IsViewMode()) {
        if (SnapshotPicture().IsValid()) {
            const QImage& image = SnapshotImage();
            if (!image.isNull())
                painter.drawImage(picture, image, SnapshotSourceRect(image));
        }
        return;
    }
    // The live picture, as the display worker last handed it over, inside the picture area.
    if (m_picture->isVisible() && m_sink) {
        painter.setClipRect(picture);
        m_sink->Paint(painter);
    }
}

void MotionSetupDialog::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape act as the dialog's OK and Cancel, which exist in mode 2 only.
    if (m_created && m_setup->IsViewMode() && m_ok->isVisible()) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            SaveView();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            ReloadView();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

// The operations' view of the dialog.

void MotionSetupDialog::ShowMessage(int stringId)
{
    if (!m_created)
        return;
    const char* text = LoadString(stringId);
    m_message->setText(text ? QString::fromUtf8(text) : QString());
    FitMessageLine();
    m_message->show();
    m_message->raise();
}

bool MotionSetupDialog::AskCredentials(std::string& user, std::string& password)
{
    AuthorizationDialog dialog(this);
    // The dialog wants the ordinary pointer, not the busy cursor of the read around it.
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    QGuiApplication::restoreOverrideCursor();
    if (!accepted)
        return false;
    user = dialog.User().toStdString();
    password = dialog.Password().toStdString();
    return true;
}

void MotionSetupDialog::StartLevelTimer()
{
    if (m_timers)
        m_timers->SetTimer(MotionSetup::kLevelTimerId, MotionSetup::kLevelTimerMs);
}

void MotionSetupDialog::StopLevelTimer()
{
    if (m_timers)
        m_timers->KillTimer(MotionSetup::kLevelTimerId);
}

void MotionSetupDialog::InvalidateAll() { update(); }

void MotionSetupDialog::SnapshotChanged()
{
    m_snapshotImage = QImage();
    update();
}

bool MotionSetupDialog::FrameExists(int index) const
{
    return index >= 0 && index < kFrameCount && m_frames[static_cast<std::size_t>(index)];
}

void MotionSetupDialog::DestroyFrames()
{
    for (auto& frame : m_frames) {
        delete frame.data();
        frame = nullptr;
    }
}

WindowControls MotionSetupDialog::ReadWindowControls(int window) const
{
    if (!m_created || window < 1 || window > kWindowCount)
        return {};
    const WindowPanel& p = m_panels[static_cast<std::size_t>(window - 1)];
    return {p.check->isChecked() ? 1 : 0, p.threshold->value(), p.sensitivity->value()};
}

void MotionSetupDialog::ShowLevel(int window, int level)
{
    if (!m_created || window < 1 || window > kWindowCount)
        return;
    // The bars run 0 to 99; anything higher shows a full bar.
    m_panels[static_cast<std::size_t>(window - 1)].level->setValue(std::clamp(level, 0, 99));
}

} // namespace kv::motion
