// What every control object shares: it counts as a live instance of its module, it gets its
// window ("window creation") the first time it is shown or given a native window by an
// embedding host, and its automation methods can be called by dispatch id as well as by
// name.
#pragma once

#include "platform/com/class_server.h"
#include "platform/com/dispatch_table.h"

#include <QVariant>
#include <QVariantList>
#include <QWidget>

namespace kv::com {

class CControlBase : public QWidget {
    Q_OBJECT
public:
    // A method by dispatch id, as an automation caller would: the HRESULT, and the method's
    // result in *result (invalid for methods without one).
    Q_INVOKABLE int Invoke(int dispid, const QVariantList& args, QVariant* result = nullptr);

    // True once the control has had its window (and so has created its child dialog).
    bool IsCreated() const { return m_created; }

protected:
    CControlBase(CModuleUsage& usage, const CDispatchTable& dispatch, QWidget* parent);

    bool event(QEvent* event) override;
    // Window creation; runs once.
    virtual void OnCreate() = 0;

private:
    CInstanceToken m_instance;
    const CDispatchTable& m_dispatch;
    bool m_created = false;
};

} // namespace kv::com
