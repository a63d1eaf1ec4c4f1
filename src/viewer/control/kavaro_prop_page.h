// The viewer control's property page (template 225, caption "General"): one static text,
// no properties.
#pragma once

#include "platform/com/class_server.h"
#include "platform/com/control_dialogs.h"

namespace kv::viewer {

class CKavaroPropPage : public com::CPropertyPage {
    Q_OBJECT
public:
    static constexpr int IDD = 225;
    explicit CKavaroPropPage(QWidget* parent = nullptr);

private:
    com::CInstanceToken m_instance;
};

} // namespace kv::viewer
