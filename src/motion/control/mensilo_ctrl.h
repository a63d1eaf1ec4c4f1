// The motion-setup control object. It draws nothing itself: when it first gets a window it
// creates the setup dialog as its child, and its automation methods drive that dialog.
// Hosts call the methods by name (Qt's meta-object system) or by dispatch id.
#pragma once

#include "motion/dialog/motion_setup_dialog.h"
#include "platform/com/control_base.h"
#include "platform/com/dispatch_table.h"

#include <QString>

namespace kv::motion {

class CMensiloCtrl : public com::CControlBase {
    Q_OBJECT
public:
    explicit CMensiloCtrl(QWidget* parent = nullptr);
    ~CMensiloCtrl() override;

    // _DMensilo (ids 1, 2 and -552).
    Q_INVOKABLE void StopPlay();
    Q_INVOKABLE bool SetSource(const QString& szUrl, const QString& szFrameType, short nOcxType);
    Q_INVOKABLE void AboutBox();

    // Invoke (by dispatch id) comes from the base and uses this table.
    static const com::CDispatchTable& DispatchTable();

    // The Properties verb: the property page in a modal frame.
    Q_INVOKABLE void ShowProperties();

    // The setup dialog's size: what the control asks its container for.
    QSize sizeHint() const override;

    MotionSetupDialog& Dialog() { return m_dialog; }

protected:
    // Window creation: the setup dialog becomes the control window's child.
    void OnCreate() override;

private:
    MotionSetupDialog m_dialog;
};

} // namespace kv::motion
