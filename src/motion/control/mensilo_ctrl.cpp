#include "motion/control/mensilo_ctrl.h"

#include "motion/control/mensilo_identity.h"
#include "motion/control/mensilo_prop_page.h"
#include "motion/control/mensilo_server.h"
#include "motion/resources/string_table.h"
#include "platform/com/control_dialogs.h"
#include "platform/ui/dialog_units.h"

#include <QPainter>
#include <QPixmap>

#include <array>

namespace kv::motion {

namespace {

constexpr int kDialogWidth = 810;
constexpr int kDialogHeight = 530;

constexpr std::array<com::DispatchEntry, 3> kDispatch{{
    {DISPID_StopPlay, "StopPlay"},
    {DISPID_SetSource, "SetSource"},
    {DISPID_ABOUTBOX, "AboutBox"},
}};

// The About box's icon: a detection window's frame over a picture.
QPixmap ControlIcon()
{
    QPixmap icon(32, 32);
    icon.fill(QColor(230, 232, 237));
    QPainter p(&icon);
    p.fillRect(3, 6, 26, 20, QColor(40, 60, 90));
    p.fillRect(5, 18, 22, 6, QColor(70, 110, 70));
    p.setPen(QPen(QColor(255, 220, 0), 2));
    p.drawRect(10, 9, 12, 10);
    return icon;
}

} // namespace

CMensiloCtrl::CMensiloCtrl(QWidget* parent) : com::CControlBase(MensiloServer().Usage(), DispatchTable(), parent)
{
    setFont(ui::DialogFont());
}

CMensiloCtrl::~CMensiloCtrl()
{
    // A host that releases the control without StopPlay still ends the setup: the dialog's
    // window takes the detection frames with it and releases the camera.
    if (m_dialog.HasWindow())
        m_dialog.DestroyWindow();
}

const com::CDispatchTable& CMensiloCtrl::DispatchTable()
{
    static const com::CDispatchTable table(kDispatch);
    return table;
}

void CMensiloCtrl::StopPlay() { m_dialog.StopPlay(); }

bool CMensiloCtrl::SetSource(const QString& szUrl, const QString& szFrameType, short nOcxType)
{
    return m_dialog.SetSource(szUrl.toStdString(), szFrameType.toStdString(), nOcxType);
}

void CMensiloCtrl::AboutBox()
{
    com::CAboutBox box(QStringLiteral("About Mensilo Control"), ControlIcon(),
                       QStringLiteral("Mensilo Control, Version 1.0"),
                       QStringLiteral("Motion-detection setup for network cameras"), this);
    box.exec();
}

void CMensiloCtrl::ShowProperties()
{
    com::ShowPropertyFrame(this, QString::fromLatin1(LoadString(IDS_MENSILO_TYPE_NAME)), new CMensiloPropPage);
}

QSize CMensiloCtrl::sizeHint() const { return QSize(kDialogWidth, kDialogHeight); }

void CMensiloCtrl::OnCreate() { m_dialog.Create(this); }

} // namespace kv::motion
