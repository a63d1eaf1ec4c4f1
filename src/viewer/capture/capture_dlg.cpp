#include "viewer/capture/capture_dlg.h"

#include <QFile>
#include <QPainter>
#include <QPushButton>

#include <optional>

#include "display/packed_dib.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/qt_frame_sink.h"
#include "platform/ui/ui_helpers.h"
#include "viewer/panel/colour_scheme.h"
#include "viewer/resources/string_table.h"
#include "ximage.h"

namespace kv::viewer {

namespace {

constexpr int kDialogWidth = 222;   // dialog units
constexpr int kDialogHeight = 195;
constexpr const char kSaveFailedText[] = "The picture could not be saved as\n%1";

QString Text(int language, int stringId, int controlId)
{
    return QString::fromUtf8(TextForLanguage(language, stringId, TemplateTextOf(dialog101::Texts(), controlId)));
}

// The preview copy as a picture to paint; null when the copy is empty.
QImage PictureOf(const CxImage* copy)
{
    if (!copy || !copy->IsValid())
        return {};
    const std::unique_ptr<CxImage> bitmap(copy->ToBitmap());
    if (!bitmap || !bitmap->IsValid())
        return {};
    const std::optional<kv::DibView> dib = kv::SplitPackedDib(
        {static_cast<const std::uint8_t*>(bitmap->GetDIB()), static_cast<std::size_t>(bitmap->TotalSize())});
    return dib ? kv::ui::ImageFromDib(*dib) : QImage();
}

// Encodes the whole file first and only then writes it, so a picture that cannot be encoded
// touches nothing on disk and a write that fails is noticed (and its remains removed).
bool WritePicture(CxImage* picture, const CaptureTarget& target)
{
    if (!picture || !picture->IsValid())
        return false;
    std::uint8_t* encoded = nullptr;
    std::int32_t size = 0;
    if (!picture->Encode(encoded, size, target.format) || !encoded || size <= 0) {
        CxImage::FreeMemory(encoded);
        return false;
    }
    const std::unique_ptr<std::uint8_t, void (*)(void*)> owner(encoded, CxImage::FreeMemory);
    QFile file(target.path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(reinterpret_cast<const char*>(encoded), size) == size && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        file.remove();
        return false;
    }
    return true;
}

} // namespace

CCaptureFrame::CCaptureFrame(QWidget* parent) : QWidget(parent)
{
    kv::ui::SetControlId(this, CCaptureDlg::IDC_FRAME);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CCaptureFrame::SetPreview(QImage preview)
{
    m_preview = std::move(preview);
    update();
}

void CCaptureFrame::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!m_preview.isNull()) {
        // The picture's last column and row are left out and the rest stretched over the
        // whole frame, as the camera's other viewers show it.
        const QRect source(0, 0, std::max(1, m_preview.width() - 1), std::max(1, m_preview.height() - 1));
        p.drawImage(rect(), m_preview, source);
        return;
    }
    // Empty: a sunken black frame.
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(width() - 1, 1, width() - 1, height() - 1);
    p.drawLine(1, height() - 1, width() - 1, height() - 1);
}

CCaptureDlg::CCaptureDlg(std::unique_ptr<CxImage> fullCopy, std::unique_ptr<CxImage> previewCopy, int color,
                         int language, QWidget* parent, CaptureFileChooser chooser)
    : QDialog(parent), m_fullCopy(std::move(fullCopy)), m_previewCopy(std::move(previewCopy)), m_nColor(color),
      m_nLanguage(language), m_chooseFile(chooser ? std::move(chooser) : CaptureFileChooser(ChooseCaptureFile))
{
    setModal(true);
    setFont(kv::ui::DialogFont());
    setFixedSize(kv::ui::DluSize(kDialogWidth, kDialogHeight));
    setWindowTitle(QString::fromUtf8(TextForLanguage(language, IDS_CAPTURE_CAPTION, dialog101::kCaption)));

    m_frame = new CCaptureFrame(this);
    m_frame->setGeometry((width() - 326) / 2, 10, kPreviewWidth, kPreviewHeight);
    m_frame->SetPreview(PictureOf(m_previewCopy.get()));

    m_saveButton = new QPushButton(Text(language, IDS_SAVE, 1), this);
    kv::ui::SetControlId(m_saveButton, 1);
    m_saveButton->setGeometry(kv::ui::DluRect(48, 172, 50, 14));
    m_saveButton->setDefault(true);
    m_cancelButton = new QPushButton(Text(language, IDS_CANCEL, 2), this);
    kv::ui::SetControlId(m_cancelButton, 2);
    m_cancelButton->setGeometry(kv::ui::DluRect(124, 172, 50, 14));
    connect(m_saveButton, &QPushButton::clicked, this, &CCaptureDlg::OnSave);
    connect(m_cancelButton, &QPushButton::clicked, this, &CCaptureDlg::OnCancel);

    if (const ColourScheme* colours = SchemeFor(color)) {
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, kv::ui::ToQColor(colours->background));
        setPalette(pal);
    }
}

CCaptureDlg::~CCaptureDlg() = default;

QImage CCaptureDlg::PreviewSource() const
{
    const QImage& preview = m_frame->Preview();
    if (preview.isNull())
        return {};
    return preview.copy(0, 0, preview.width() - 1, preview.height() - 1);
}

void CCaptureDlg::ReleaseCopies()
{
    m_fullCopy.reset();
    m_previewCopy.reset();
}

void CCaptureDlg::OnSave()
{
    const std::optional<ChosenFile> chosen = m_chooseFile(this);
    if (!chosen)
        return;  // cancelled: the dialog stays
    const CaptureTarget target = ResolveCaptureTarget(*chosen);
    if (!WritePicture(m_fullCopy.get(), target)) {
        // Say so, and keep the picture so that another place can be tried.
        kv::ui::ShowMessageBox(this, QString::fromLatin1(kSaveFailedText).arg(target.path));
        return;
    }
    ReleaseCopies();
    accept();
}

void CCaptureDlg::OnCancel()
{
    ReleaseCopies();
    reject();
}

} // namespace kv::viewer
