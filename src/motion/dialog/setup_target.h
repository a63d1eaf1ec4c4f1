// The module-wide target of the motion setup's workers: the setup dialog that receives the
// stream's notifications and the live pictures. The workers keep a pointer to this one
// object for the life of the module; the dialog attaches itself and its frame sink, and
// detaches before it goes, so a worker that is still running never reaches a dead window.
#pragma once

#include "core/messages.h"
#include "platform/ui/frame_sink.h"

#include <mutex>

class QObject;

namespace kv::motion {

class CSetupTarget final : public kv::IMessageTarget, public kv::IFrameSink {
public:
    // receiver gets the posted messages, sink the pictures (either may be null).
    void Attach(QObject* receiver, kv::IFrameSink* sink);
    // Detaches only when receiver is the one attached.
    void Detach(QObject* receiver);
    QObject* Receiver() const;

    void PostMessage(int message, std::intptr_t wParam, std::intptr_t lParam) override;
    bool Present(const kv::DibView& dib, kv::FrameRect source, kv::FrameRect destination) override;
    void Clear() override;

private:
    // Held while forwarding, so the dialog cannot detach (and die) in the middle of a call.
    mutable std::mutex m_lock;
    QObject* m_receiver = nullptr;
    kv::IFrameSink* m_sink = nullptr;
};

CSetupTarget& SetupTarget();

} // namespace kv::motion
