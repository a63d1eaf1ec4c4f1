#include "viewer/widgets/picture_ctrl.h"

#include <QPainter>

#include <atomic>

#include "platform/ui/ui_helpers.h"
#include "viewer/resources/resources.h"
#include "viewer/widgets/picture_decode.h"

namespace kv::viewer {

namespace {
std::atomic<int> g_defaultPictureNumber{0};
}

CPictureCtrl::CPictureCtrl(QWidget* parent, bool autoLoad) : CStaticLink(parent), m_autoLoad(autoLoad)
{
    UpdateLinkStyle();
}

CPictureCtrl::~CPictureCtrl() = default;

void CPictureCtrl::SetDefaultPictureNumber(int number) { g_defaultPictureNumber = number; }
int CPictureCtrl::DefaultPictureNumber() { return g_defaultPictureNumber.load(); }

void CPictureCtrl::ReleasePicture()
{
    m_picture = QImage();
    m_number = 0;
    update();
}

bool CPictureCtrl::LoadPicture(int number)
{
    ReleasePicture();
    const QByteArray bytes = LoadImageResource(number);
    if (bytes.isEmpty() || !LoadPictureData(bytes))
        return false;
    m_number = number;
    return true;
}

bool CPictureCtrl::LoadPictureData(const QByteArray& jpeg)
{
    m_picture = DecodeJpegPicture(jpeg);
    m_number = 0;
    update();
    return !m_picture.isNull();
}

void CPictureCtrl::OnTakenOver()
{
    if (!m_autoLoad || HasPicture())
        return;
    update();
    const int preset = DefaultPictureNumber();
    LoadPicture(preset == 302 ? preset : kv::ui::ControlId(this));
}

void CPictureCtrl::OnCreated()
{
    if (m_autoLoad)
        LoadPicture(kv::ui::ControlId(this));
}

void CPictureCtrl::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    // The background shows only where the picture does not cover the control.
    if (m_picture.isNull()) {
        p.fillRect(rect(), palette().brush(backgroundRole()));
        return;
    }
    p.drawImage(rect(), m_picture);
}

} // namespace kv::viewer
