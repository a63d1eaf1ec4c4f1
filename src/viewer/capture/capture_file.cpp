#include "viewer/capture/capture_file.h"

#include <QFileDialog>
#include <QFileInfo>

#include "ximage.h"

namespace kv::viewer {

namespace {

QString SuffixOf(int filterIndex) { return filterIndex == kFilterJpg ? QStringLiteral("jpg") : QStringLiteral("bmp"); }

// The same test the file dialog uses before it adds its default suffix: a dot anywhere in
// the file's own name counts as an extension.
bool HasExtension(const QString& path) { return QFileInfo(path).fileName().contains(QLatin1Char('.')); }

int FilterIndexOf(const QString& filter)
{
    return filter == QString::fromLatin1(kJpgFilter) ? kFilterJpg : kFilterBmp;
}

// The dialog takes the selected filter's extension as its default suffix at the moment the
// name is accepted, before it looks for a file to overwrite, however the filter was chosen.
class CCaptureFileDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    void accept() override
    {
        setDefaultSuffix(SuffixOf(FilterIndexOf(selectedNameFilter())));
        QFileDialog::accept();
    }
};

} // namespace

CaptureTarget ResolveCaptureTarget(const ChosenFile& chosen)
{
    CaptureTarget target;
    target.path = chosen.path;
    if (!HasExtension(target.path))
        target.path += QLatin1Char('.') + SuffixOf(chosen.filterIndex);
    target.format = chosen.filterIndex == kFilterJpg ? CXIMAGE_FORMAT_JPG : CXIMAGE_FORMAT_BMP;
    return target;
}

std::optional<ChosenFile> ChooseCaptureFile(QWidget* parent)
{
    const QString bmp = QString::fromLatin1(kBmpFilter);
    CCaptureFileDialog dialog(parent, QString::fromLatin1(kCaptureSaveTitle));
    // Our own dialog, so that the default suffix is in place before the overwrite question.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({bmp, QString::fromLatin1(kJpgFilter)});
    dialog.selectNameFilter(bmp);
    dialog.setDefaultSuffix(SuffixOf(kFilterBmp));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return ChosenFile{files.first(), FilterIndexOf(dialog.selectedNameFilter())};
}

} // namespace kv::viewer
