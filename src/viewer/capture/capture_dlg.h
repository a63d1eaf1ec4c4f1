// The capture dialog: shows the captured picture reduced to 320 by 240 and saves the
// full-size copy as BMP or JPEG where the user chooses. It owns both copies from the
// moment it is given them until it closes.
#pragma once

#include <QDialog>
#include <QImage>

#include <memory>

#include "viewer/capture/capture_file.h"

class CxImage;
class QPushButton;

namespace kv::viewer {

// Control 215: the sunken black frame the preview is painted in.
class CCaptureFrame : public QWidget {
    Q_OBJECT
public:
    explicit CCaptureFrame(QWidget* parent);
    void SetPreview(QImage preview);
    const QImage& Preview() const { return m_preview; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_preview;
};

class CCaptureDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 101;
    static constexpr int IDC_FRAME = 215;
    static constexpr int kPreviewWidth = 320;
    static constexpr int kPreviewHeight = 240;

    // chooser replaces the file-save dialog in tests.
    CCaptureDlg(std::unique_ptr<CxImage> fullCopy, std::unique_ptr<CxImage> previewCopy, int color, int language,
                QWidget* parent = nullptr, CaptureFileChooser chooser = {});
    ~CCaptureDlg() override;

    int DoModal() { return exec(); }

    CCaptureFrame* Frame() const { return m_frame; }
    QPushButton* SaveButton() const { return m_saveButton; }
    QPushButton* CancelButton() const { return m_cancelButton; }
    // The preview as painted: the preview copy without its last column and row.
    QImage PreviewSource() const;
    bool HoldsCopies() const { return m_fullCopy || m_previewCopy; }

public slots:
    void OnSave();
    void OnCancel();

private:
    void ReleaseCopies();

    std::unique_ptr<CxImage> m_fullCopy;
    std::unique_ptr<CxImage> m_previewCopy;
    int m_nColor;
    int m_nLanguage;
    CaptureFileChooser m_chooseFile;
    CCaptureFrame* m_frame = nullptr;
    QPushButton* m_saveButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};

} // namespace kv::viewer
