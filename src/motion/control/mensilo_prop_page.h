// The motion-setup control's property page (resource 200, caption "General"): one static
// text, no properties.
#pragma once

#include "platform/com/class_server.h"
#include "platform/com/control_dialogs.h"

namespace kv::motion {

class CMensiloPropPage : public com::CPropertyPage {
    Q_OBJECT
public:
    static constexpr int IDD = 200;
    explicit CMensiloPropPage(QWidget* parent = nullptr);

private:
    com::CInstanceToken m_instance;
};

} // namespace kv::motion
