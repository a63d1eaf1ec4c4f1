// The viewer control object. It does almost nothing itself: when it first gets a window it
// creates the viewer panel as its child, and every automation method is forwarded to that
// panel. Hosts call the methods by name (Qt's meta-object system) or by dispatch id.
#pragma once

#include "platform/com/control_base.h"
#include "platform/com/dispatch_table.h"
#include "viewer/panel/viewer_panel.h"

#include <QString>
#include <QVariantMap>

namespace kv::viewer {

class CKavaroCtrl : public com::CControlBase {
    Q_OBJECT
public:
    explicit CKavaroCtrl(QWidget* parent = nullptr);
    ~CKavaroCtrl() override;

    // _DKavaro, in dispatch-table order (ids 1..8 and -552).
    Q_INVOKABLE void SetZoomPercent(int percent);
    Q_INVOKABLE void StartPlay(int bRecord, const QString& sRecordFilename);
    Q_INVOKABLE void StopPlay();
    Q_INVOKABLE void TestPlay();
    Q_INVOKABLE void SetPlayAudio();
    Q_INVOKABLE void StopPlayAudio();
    Q_INVOKABLE void OpenSettingPage(const QString& sURL);
    Q_INVOKABLE bool SetSource(const QString& sURL, const QString& sFrameType, const QString& sPanTilt,
                               const QString& sFrameRate, int nColor, int nLanguage);
    Q_INVOKABLE void AboutBox();

    // Invoke (by dispatch id) comes from the base and uses this table.
    static const com::CDispatchTable& DispatchTable();

    // What the control has shown so far, for hosts that report on a run: "picturesDrawn"
    // (painted in the window), "picturesPresented" (handed to the window by the display
    // worker; the window paints only the newest of those that arrive between two paints),
    // "audioFramesPlayed" and "audioBytesPlayed" (of the current audio session).
    Q_INVOKABLE QVariantMap Statistics();

    // The Properties verb: the property page in a modal frame.
    Q_INVOKABLE void ShowProperties();

    // The panel's size: what the control asks its container for.
    QSize sizeHint() const override;

    CViewerPanel& Panel() { return m_panel; }

protected:
    // Window creation: the panel becomes the control window's child.
    void OnCreate() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The container gave the control a new rectangle: the panel follows it.
    void OnDraw(const QRect& bounds);

    CViewerPanel m_panel;
};

} // namespace kv::viewer
