// Private window messages as Qt events. Each message keeps its number as the event type
// (all of them lie in Qt's user event range), and carries the two message parameters.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <mutex>

#include "core/messages.h"

namespace kv::ui {

// Notifications of the panel slider to its parent: wParam is the control id, lParam the
// position.
inline constexpr int WM_SLIDER_MOVING = 0x28D1;    // the thumb was dragged to a new position
inline constexpr int WM_SLIDER_POSITION = 0x28D2;  // button released, or a key moved it

class CPostedMessage : public QEvent {
public:
    CPostedMessage(int message, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam), m_lParam(lParam) {}

    int Message() const { return static_cast<int>(type()); }
    std::intptr_t WParam() const { return m_wParam; }
    std::intptr_t LParam() const { return m_lParam; }

private:
    std::intptr_t m_wParam;
    std::intptr_t m_lParam;
};

// True when the event is one of the posted messages above or of core/messages.h.
inline bool IsPostedMessage(const QEvent* event, int message)
{
    return event && static_cast<int>(event->type()) == message &&
           dynamic_cast<const CPostedMessage*>(event) != nullptr;
}

// Posts from the calling thread (any thread) to a receiver that lives on the GUI thread.
void PostMessageTo(QObject* receiver, int message, std::intptr_t wParam, std::intptr_t lParam);

// The window of a control, as the workers see it: PostMessage may be called from any
// thread. Once the receiver is destroyed (or Detach was called) posts are dropped, so a
// worker that outlives the window never reaches a dead object.
class CQtMessageTarget final : public QObject, public kv::IMessageTarget {
    Q_OBJECT
public:
    explicit CQtMessageTarget(QObject* receiver);
    ~CQtMessageTarget() override;

    void PostMessage(int message, std::intptr_t wParam, std::intptr_t lParam) override;
    void Detach();
    bool IsAttached() const;

private:
    mutable std::mutex m_lock;  // held while posting, so the receiver cannot die mid-post
    QObject* m_receiver;
    QMetaObject::Connection m_destroyedConnection;
};

} // namespace kv::ui
