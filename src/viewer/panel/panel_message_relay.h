// The window the workers post to. A module has one such window at a time: the panel created
// last. The relay outlives every panel, so a worker that is still ending after its panel has
// gone posts into nothing instead of into a dead window.
#pragma once

#include <QObject>

#include <mutex>

#include "core/messages.h"

namespace kv::viewer {

class CPanelMessageRelay final : public kv::IMessageTarget {
public:
    // Any thread. Dropped while no receiver is set.
    void PostMessage(int message, std::intptr_t wParam, std::intptr_t lParam) override;

    // Window thread.
    void SetReceiver(QObject* receiver);
    // Forgets the receiver if it is this one (a panel that goes away).
    void ClearReceiver(const QObject* receiver);
    QObject* Receiver() const;

private:
    mutable std::mutex m_lock;  // held while posting, so the receiver cannot go mid-post
    QObject* m_receiver = nullptr;
};

// The module-wide relay.
CPanelMessageRelay& PanelMessageRelay();

} // namespace kv::viewer
