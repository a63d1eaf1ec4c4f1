// How the panel looks: its controls, the colour schemes, the left column, the layout around
// the video, and the painting of the background, the bezel and the picture.
#include "viewer/panel/viewer_panel.h"

#include <QBitmap>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPaintEvent>
#include <QPainterPath>

#include "platform/ui/dialog_units.h"
#include "platform/ui/ui_helpers.h"
#include "viewer/commands/frame_rate_list.h"
#include "viewer/panel/colour_scheme.h"
#include "viewer/resources/resources.h"
#include "viewer/resources/string_table.h"
#include "viewer/widgets/panel_button.h"
#include "viewer/widgets/panel_slider.h"
#include "viewer/widgets/picture_ctrl.h"

namespace kv::viewer {

namespace {

constexpr int kDefaultBannerPicture = 302;
constexpr int kBigMessagePixels = 28;

QString TemplateText(int controlId)
{
    const char* text = TemplateTextOf(dialog102::Texts(), controlId);
    return QString::fromUtf8(text ? text : "");
}

template <class Widget>
Widget* Made(Widget* widget, int id)
{
    kv::ui::SetControlId(widget, id);
    widget->hide();
    return widget;
}

QLabel* MakeStatic(QWidget* parent, int id)
{
    auto* label = Made(new QLabel(TemplateText(id), parent), id);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setAutoFillBackground(true);  // a static paints its own background
    return label;
}

// Lists are black on white in every scheme.
template <class List = QComboBox>
List* MakeList(QWidget* parent, int id, std::span<const char* const> items)
{
    auto* list = Made(new List(parent), id);
    QPalette palette = list->palette();
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Button, QPalette::Window})
        palette.setColor(role, Qt::white);
    for (QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        palette.setColor(role, Qt::black);
    list->setPalette(palette);
    for (const char* item : items)
        list->addItem(QString::fromUtf8(item));
    return list;
}

CPanelButton* MakeButton(QWidget* parent, int id)
{
    auto* button = Made(new CPanelButton(parent), id);
    button->setText(TemplateText(id));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// The control icon shows the background wherever its bitmap has the key colour.
QPixmap ControlIconPixmap()
{
    const QImage image = LoadBitmapResource(IDB_CONTROL_ICON).convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return {};
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setMask(QBitmap::fromImage(
        image.createMaskFromColor(kv::ui::ToQColor(kArtworkTransparentColour).rgb(), Qt::MaskInColor)));
    return pixmap;
}

void SetStaticColours(QLabel* label, const ColourScheme* scheme, const QPalette& base)
{
    QPalette palette = base;
    if (scheme) {
        palette.setColor(QPalette::WindowText, kv::ui::ToQColor(scheme->text));
        palette.setColor(QPalette::Window, kv::ui::ToQColor(scheme->background));
    }
    label->setPalette(palette);
}

void SetPair(CPanelButton* button, ImagePair pair)
{
    button->SetBitmaps(pair.hover, kArtworkTransparentColour, pair.normal, kArtworkTransparentColour);
}

} // namespace

void CViewerPanel::CreateControls()
{
    setFont(kv::ui::DialogFont());
    setMouseTracking(true);

    CPictureCtrl::SetDefaultPictureNumber(kDefaultBannerPicture);
    m_pBanner = Made(new CPictureCtrl(this, true), IDC_STATIC_BANNER);
    m_pBanner->SetLink(QString());
    m_pBanner->OnTakenOver();
    setCursor(Qt::ArrowCursor);

    m_pBigMessage = MakeStatic(this, IDC_STATIC_BIGMESSAGE);
    QFont big = kv::ui::DialogFont();
    big.setWeight(QFont::Bold);
    big.setPixelSize(kBigMessagePixels);
    m_pBigMessage->setFont(big);
    m_pBigMessage->setAlignment(Qt::AlignCenter);
    m_pBigMessage->setWordWrap(true);
    m_pBigMessage->setGeometry(0, 0, kWidth, 600);

    m_pFrameRateLabel = MakeStatic(this, IDC_STATIC_FRAMERATE);
    m_pFrameRateList = MakeList<CFrameRateList>(this, IDC_COMBO_FRAMERATE, dialog102::FrameRateItems());
    m_pViewSizeLabel = MakeStatic(this, IDC_STATIC_VIEWSIZE);
    m_pViewSizeList = MakeList(this, IDC_COMBO_VIEWSIZE, dialog102::ViewSizeItems());
    m_pZoomButton = MakeButton(this, IDC_BUTTON_ZOOM);
    m_pCaptureButton = MakeButton(this, IDC_BUTTON_CAPTURE);
    m_pControlButton = MakeButton(this, IDC_BUTTON_CONTROL);
    m_pPanTiltButton = MakeButton(this, IDC_BUTTON_PANTILT);
    m_pPresetLabel = MakeStatic(this, IDC_STATIC_PRESET);
    m_pPresetList = MakeList(this, IDC_COMBO_PRESET, {});
    m_pMessageLabel = MakeStatic(this, IDC_STATIC_MESSAGE);
    m_pMessageLabel->setWordWrap(true);

    m_pTimeLabel = MakeStatic(this, IDC_STATIC_TIME);
    QPalette time = m_pTimeLabel->palette();
    time.setColor(QPalette::WindowText, Qt::white);
    time.setColor(QPalette::Window, Qt::black);
    m_pTimeLabel->setPalette(time);

    m_pSpeakerButton = MakeButton(this, IDC_BUTTON_SPEAKER);
    m_pVolumeSlider = Made(new CPanelSlider(this), IDC_SLIDER_VOLUME);
    m_pVolumeSlider->SetRange(0, 100);
    m_pVolumeSlider->SetPos(100);
    m_pVolumeSlider->SetMargin(2, 0, 0, 0);

    m_pControlIcon = Made(new QLabel(this), IDC_STATIC_CONTROL_ICON);
    m_pControlIcon->setPixmap(ControlIconPixmap());
    m_pControlIcon->resize(15, 15);

    for (CPanelButton* button : {m_pZoomButton, m_pCaptureButton, m_pControlButton, m_pPanTiltButton, m_pSpeakerButton}) {
        button->SetDrawBorder(false);
        button->SetBtnCursor(IDC_HAND);
        button->SetTransparent(true);
    }

    m_pViewSizeList->setCurrentIndex(0);  // AUTO
    connect(m_pViewSizeList, &QComboBox::activated, this, [this](int) { OnSelchangeViewSize(); });
    connect(m_pZoomButton, &QAbstractButton::clicked, this, [this] { OnDigitalZoom(); });
    connect(m_pSpeakerButton, &QAbstractButton::clicked, this, [this] { OnSpeaker(); });
    ConnectCommandControls();
}

void CViewerPanel::DestroyControls()
{
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        delete child;
    m_pBigMessage = m_pFrameRateLabel = m_pViewSizeLabel = m_pPresetLabel = m_pMessageLabel = m_pTimeLabel =
        m_pControlIcon = nullptr;
    m_pFrameRateList = nullptr;
    m_pViewSizeList = m_pPresetList = nullptr;
    m_pZoomButton = m_pCaptureButton = m_pControlButton = m_pPanTiltButton = m_pSpeakerButton = nullptr;
    m_pVolumeSlider = nullptr;
    m_pBanner = nullptr;
}

void CViewerPanel::LoadControlTexts()
{
    if (!LanguageUsesStringTable(m_nLanguage) || !m_pBigMessage)
        return;
    const auto text = [](int stringId) { return QString::fromUtf8(LoadString(stringId)); };
    m_pFrameRateLabel->setText(text(IDS_FRAME_RATE));
    m_pViewSizeLabel->setText(text(IDS_VIEW_SIZE));
    m_pZoomButton->setText(text(IDS_DIGITAL_ZOOM));
    m_pCaptureButton->setText(text(IDS_CAPTURE));
    m_pControlButton->setText(text(IDS_CONTROL));
    m_pPanTiltButton->setText(text(IDS_PAN_TILT_BUTTON));
    m_pPresetLabel->setText(text(IDS_PRESET_POSITION));
}

QColor CViewerPanel::SchemeText() const
{
    const ColourScheme* scheme = SchemeFor(m_nColor);
    return scheme ? kv::ui::ToQColor(scheme->text) : palette().color(QPalette::WindowText);
}

void CViewerPanel::ApplyColours()
{
    if (!m_pBigMessage)
        return;
    const ColourScheme* scheme = SchemeFor(m_nColor);
    const QPalette base = QWidget::palette();
    for (QLabel* label : {m_pMessageLabel, m_pBigMessage, m_pViewSizeLabel, m_pFrameRateLabel, m_pPresetLabel})
        SetStaticColours(label, scheme, base);
    for (CPanelButton* button : {m_pZoomButton, m_pCaptureButton, m_pControlButton, m_pPanTiltButton, m_pSpeakerButton}) {
        if (scheme) {
            button->SetColor(CPanelButton::BTNST_COLOR_FG_IN, scheme->text, false);
            button->SetColor(CPanelButton::BTNST_COLOR_FG_OUT, scheme->text, false);
        } else {
            button->SetDefaultColors(false);
        }
        button->SetTransparent(true);
    }
    ApplyButtonImages();
    if (scheme) {
        m_pVolumeSlider->SetChannelBitmaps(scheme->sliderChannel, scheme->sliderChannel, false, kv::ui::kColorFromPoint, 0, 0);
        m_pVolumeSlider->SetThumbBitmaps(scheme->sliderThumb, scheme->sliderActiveThumb, false, kv::ui::kColorFromPoint, 0, 0);
    }
    m_pVolumeSlider->SetSliderCursor(IDC_HAND);
    m_pVolumeSlider->update();
    update();
}

// The pictures that follow the panel's state: the Digital zoom pair follows the zoom mode,
// the speaker pair the speaker state.
void CViewerPanel::ApplyButtonImages()
{
    if (!m_pZoomButton)
        return;
    const ColourScheme* scheme = SchemeFor(m_nColor);
    CPanelButton* const buttons[] = {m_pZoomButton, m_pCaptureButton, m_pControlButton, m_pPanTiltButton, m_pSpeakerButton};
    if (!scheme) {
        for (CPanelButton* button : buttons) {
            button->ClearImages();
            button->update();
        }
        return;
    }
    SetPair(m_pZoomButton, m_bZoomMode ? scheme->digitalZoomArmed : scheme->digitalZoom);
    SetPair(m_pCaptureButton, scheme->capture);
    SetPair(m_pControlButton, scheme->control);
    SetPair(m_pPanTiltButton, scheme->panTilt);
    SetPair(m_pSpeakerButton, m_bSpeakerOn ? scheme->speakerOn : scheme->speakerOff);
}

void CViewerPanel::PlaceLeftColumn()
{
    const LeftColumnLayout column = ComputeLeftColumn(IsMpeg());
    m_pFrameRateLabel->setGeometry(column.frameRateLabel);
    m_pFrameRateList->setGeometry(column.frameRateList);
    m_pFrameRateLabel->setVisible(column.showFrameRate);
    m_pFrameRateList->setVisible(column.showFrameRate);
    m_pViewSizeLabel->setGeometry(column.viewSizeLabel);
    m_pViewSizeList->setGeometry(column.viewSizeList);
    m_pZoomButton->setGeometry(column.digitalZoom);
    m_pCaptureButton->setGeometry(column.capture);
    m_pControlButton->setGeometry(column.control);
    m_pPanTiltButton->setGeometry(column.control);
    m_pPresetLabel->setGeometry(column.presetLabel);
    m_pPresetList->setGeometry(column.presetList);
    m_pMessageLabel->setGeometry(column.message);
}

void CViewerPanel::ApplyVideoLayout(int viewWidth, int viewHeight)
{
    m_layout = ComputeVideoLayout(viewWidth, viewHeight, IsMpeg());
    m_bLayoutDone = true;
    m_bBezelCleared = false;
    m_pTimeLabel->setGeometry(m_layout.timeLabel);
    m_pControlIcon->setGeometry(m_layout.controlIcon);
    m_pSpeakerButton->setGeometry(m_layout.speaker);
    m_pVolumeSlider->setGeometry(m_layout.slider);
    m_pBanner->setGeometry(m_layout.banner);
    if (m_nColor == 3) {
        m_pBanner->show();
        m_pBanner->LoadPicture(m_layout.bannerImage);
    } else {
        m_pBanner->hide();
    }
}

void CViewerPanel::paintEvent(QPaintEvent* event)
{
    // Most paints are a new picture and nothing else: the background and the bezel are
    // painted only where the picture does not cover and the paint reaches, so a picture is
    // drawn once and not over a fill of its own size.
    QPainter painter(this);
    const ColourScheme* scheme = SchemeFor(m_nColor);
    const QColor background = scheme ? kv::ui::ToQColor(scheme->background) : palette().color(QPalette::Window);
    kv::ui::CQtFrameSink::Frame frame;
    if (m_bHasWindow)
        frame = m_pFrameSink->LastFrame();
    QRegion backgroundArea = event->region();
    if (!frame.image.isNull())
        backgroundArea -= frame.destination;
    for (const QRect& area : backgroundArea)
        painter.fillRect(area, background);
    if (!m_bHasWindow)
        return;
    // What of the bezel falls under the picture is painted over by it.
    if (m_bLayoutDone && !m_bBezelCleared && BezelArea().intersects(backgroundArea))
        PaintBezel(painter);
    NotePictures();
    m_pFrameSink->Paint(painter, frame);
    if (m_bReconnecting)
        PaintReconnecting(painter);
}

QRegion CViewerPanel::BezelArea() const
{
    // The pen is 3 pixels wide and runs on the shapes' edges.
    QRegion area;
    for (const QRect& bar : {m_layout.bezelRight, m_layout.bezelLeft, m_layout.bezelTop, m_layout.bezelBottom})
        area += bar.adjusted(-2, -2, 2, 2);
    return area;
}

void CViewerPanel::PaintBezel(QPainter& painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen(Qt::black);
    pen.setWidth(3);
    painter.setPen(pen);
    painter.setBrush(Qt::black);
    // The shapes cover [left, right) by [top, bottom); the pen's middle runs on their edge.
    const auto inner = [](const QRect& r) { return QRectF(r).adjusted(0, 0, -1, -1); };
    painter.drawRect(inner(m_layout.bezelRight));
    painter.drawRect(inner(m_layout.bezelLeft));
    const qreal radius = kBezelCorner / 2.0;
    painter.drawRoundedRect(inner(m_layout.bezelTop), radius, radius);
    painter.drawRoundedRect(inner(m_layout.bezelBottom), radius, radius);
    painter.restore();
}

// Greys the last picture (or the empty view) and says that playback is being restarted.
void CViewerPanel::PaintReconnecting(QPainter& painter) const
{
    QRect area = m_pFrameSink->HasFrame() ? m_pFrameSink->LastDestination() : QRect();
    if (area.isEmpty()) {
        const kv::PictureSize view = CurrentDisplay().GetViewSize();
        area = QRect(kVideoLeft, kVideoTop, std::max(view.width, 160), std::max(view.height, 120));
    }
    painter.save();
    painter.fillRect(area, QColor(128, 128, 128, 170));
    QFont font = kv::ui::DialogFont();
    font.setWeight(QFont::Bold);
    font.setPixelSize(std::clamp(area.height() / 8, 11, 28));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, QString::fromUtf8(kReconnectingText));
    painter.restore();
}

} // namespace kv::viewer
