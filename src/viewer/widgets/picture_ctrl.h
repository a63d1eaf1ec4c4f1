// The banner under the video: a link static that shows a JPEG picture of the module's
// "IMAGE" resources, stretched over its rectangle.
#pragma once

#include <QImage>

#include "viewer/widgets/static_link.h"

namespace kv::viewer {

class CPictureCtrl : public CStaticLink {
    Q_OBJECT
public:
    explicit CPictureCtrl(QWidget* parent = nullptr, bool autoLoad = true);
    ~CPictureCtrl() override;

    // The process-wide default picture number used when a control is taken over.
    static void SetDefaultPictureNumber(int number);
    static int DefaultPictureNumber();

    // Loads "IMAGE" number n; a missing or undecodable resource leaves the control empty.
    bool LoadPicture(int number);
    bool LoadPictureData(const QByteArray& jpeg);
    void ReleasePicture();

    // Taking over a control of a dialog: with auto-load and no picture yet, loads the
    // default number when that is 302, else the number equal to the control id.
    void OnTakenOver();
    // Created as a window of its own: with auto-load, loads the number equal to the id.
    void OnCreated();

    bool HasPicture() const { return !m_picture.isNull(); }
    QImage Picture() const { return m_picture; }
    QSize NaturalSize() const { return m_picture.size(); }
    int PictureNumber() const { return m_number; }
    bool AutoLoad() const { return m_autoLoad; }

protected:
    bool IsTextStatic() const override { return false; }
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    int m_number = 0;
    bool m_autoLoad;
};

} // namespace kv::viewer
