// A module display worker as the panel sees it.
#pragma once

#include "display/display_worker.h"
#include "viewer/panel/panel_workers.h"
#include "ximage.h"

namespace kv::viewer {

class CDisplayWorkerView final : public IPanelDisplay {
public:
    explicit CDisplayWorkerView(kv::CDisplayWorker& worker) : m_worker(worker) {}

    kv::IDisplayConsumer& Consumer() override { return m_worker; }
    void SetWindow(kv::IMessageTarget* window) override { m_worker.SetWindow(window); }
    void SetSink(kv::IFrameSink* sink) override { m_worker.SetSink(sink); }
    void SetExitCallback(kv::CWorkerThread::ExitCallback callback) override
    {
        m_worker.SetExitCallback(std::move(callback));
    }
    bool IsOpen() const override { return m_worker.IsOpen(); }
    bool IsRunning() const override { return !m_worker.IsFinished(); }
    kv::PictureSize GetPictureSize() const override { return m_worker.GetPictureSize(); }
    kv::PictureSize GetViewSize() const override { return m_worker.GetViewSize(); }
    void SetViewSize(int width, int height) override { m_worker.SetViewSize(width, height); }
    void SetZoomSource(int x, int y, int width, int height) override { m_worker.SetZoomSource(x, y, width, height); }
    void SetZoomActive(bool active) override { m_worker.SetZoomActive(active); }
    void SetZoomPercent(int percent) override { m_worker.SetZoomPercent(percent); }
    void RequestCapture() override { m_worker.RequestCapture(); }
    bool CaptureRequested() const override { return m_worker.CaptureRequested(); }
    std::unique_ptr<CxImage> TakeFullCopy() override { return m_worker.TakeFullCopy(); }
    std::unique_ptr<CxImage> TakePreviewCopy() override { return m_worker.TakePreviewCopy(); }

private:
    kv::CDisplayWorker& m_worker;
};

} // namespace kv::viewer
