// The setup dialog: the whole face of the motion-detection control. On the left the 640 by
// 480 picture (live stream in mode 1, a still snapshot in mode 2) under the area frames; on
// the right one panel per detection window (enable box, threshold slider, level bar,
// sensitivity slider); buttons along the bottom; a large message line for failures.
//
// The control object builds the dialog as a plain object, creates its window once its own
// window exists, and forwards SetSource and StopPlay to it. All protocol exchanges run on
// the window thread through the MotionSetup it owns.
#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "motion/protocol/motion_setup.h"
#include "motion/protocol/motion_streams.h"
#include "motion/protocol/setup_view.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace kv::ui {
class CQtFrameSink;
class CWindowTimers;
}

namespace kv::motion {

class AreaFrame;

class MotionSetupDialog : public QWidget, private IMotionSetupView {
    Q_OBJECT
public:
    static constexpr int IDD = 201;
    static constexpr int kWidth = 810;
    static constexpr int kHeight = 530;
    static constexpr int kFrameCount = 5;

    // Control ids of the template.
    static constexpr int IDC_PICTURE = 210;
    static constexpr int IDC_SAVE_AREAS = 240;
    static constexpr int IDC_OK = 1;
    static constexpr int IDC_CANCEL = 2;
    static constexpr int IDC_MESSAGE = 251;
    static constexpr int CheckBoxId(int n) { return 210 + n; }
    static constexpr int ThresholdSliderId(int n) { return 214 + n; }
    static constexpr int SensitivitySliderId(int n) { return 218 + n; }
    static constexpr int LevelBarId(int n) { return 222 + n; }
    static constexpr int GroupBoxId(int n) { return 226 + n; }
    static constexpr int ThresholdLabelId(int n) { return 230 + n; }
    static constexpr int SensitivityLabelId(int n) { return 234 + n; }
    static constexpr int WhiteRectId(int n) { return 242 + n; }

    explicit MotionSetupDialog(QWidget* parent = nullptr);  // the object only, no window
    ~MotionSetupDialog() override;

    // Creates the window as a child of parent at (0, 0) and runs the initialisation (which
    // reads the settings and starts the picture when a source came first).
    bool Create(QWidget* parent);
    bool HasWindow() const { return m_created; }
    // Destroys the window and the frames with it; a setup this dialog began is ended first.
    void DestroyWindow();

    // The control's SetSource: false (and message 201) while a setup runs in the module.
    bool SetSource(const std::string& szUrl, const std::string& szFrameType, int nOcxType);
    // The control's StopPlay: ends the setup and destroys the window, when there is one.
    void StopPlay();

    // The protocol operations (see MotionSetup).
    bool ReadSettings();
    void StartPicture();
    void SaveAreas();
    void SaveView();
    void ReloadView();
    void EndSetup();

    // The editor: frames by index (0 view area, 1 to 4 detection windows).
    void ShowFrame(int index, int enabled, int x1, int y1, int x2, int y2);
    std::optional<AreaRect> MeasureFrame(int index) const override;
    void ApplySettings() override;

    // Stream error notification (WM_PLAYER_RESULT); only 310 is acted on.
    void OnPlayerResult(int resultCode);

    // For tests and hosts: the stream side (replace before SetSource), the records, the
    // widgets by control id, the frames, and the picture sink.
    void SetStreams(std::unique_ptr<IMotionStreams> streams);
    MotionSetup& Setup() { return *m_setup; }
    const MotionSetup& Setup() const { return *m_setup; }
    QWidget* Control(int id) const;
    AreaFrame* Frame(int index) const;
    kv::ui::CQtFrameSink* FrameSink() const { return m_sink; }
    QRect PictureRect() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct WindowPanel {
        QWidget* groupBox = nullptr;
        QWidget* whiteRect = nullptr;
        QCheckBox* check = nullptr;
        QLabel* thresholdLabel = nullptr;
        QSlider* threshold = nullptr;
        QProgressBar* level = nullptr;
        QLabel* sensitivityLabel = nullptr;
        QSlider* sensitivity = nullptr;
    };

    void BuildControls();
    void PlaceControls();
    void ApplyColours();
    void FitMessageLine();
    void Initialise();
    void ClaimTarget();
    void SetPanelsVisible(bool visible);
    void HideEverythingButMessage();
    void OnWindowChecked(int n, bool checked);
    void OnLevelTimer(int id);
    void DeleteControls();
    const QImage& SnapshotImage();

    // IMotionSetupView
    void ShowMessage(int stringId) override;
    bool AskCredentials(std::string& user, std::string& password) override;
    void StartLevelTimer() override;
    void StopLevelTimer() override;
    void InvalidateAll() override;
    void SnapshotChanged() override;
    bool FrameExists(int index) const override;
    void DestroyFrames() override;
    WindowControls ReadWindowControls(int window) const override;
    void ShowLevel(int window, int level) override;

    std::unique_ptr<IMotionStreams> m_streams;
    std::unique_ptr<MotionSetup> m_setup;
    bool m_created = false;

    QWidget* m_picture = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_saveAreas = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    std::array<WindowPanel, kWindowCount> m_panels{};
    std::array<QPointer<AreaFrame>, kFrameCount> m_frames{};
    kv::ui::CWindowTimers* m_timers = nullptr;
    kv::ui::CQtFrameSink* m_sink = nullptr;
    QImage m_snapshotImage;  // the snapshot converted once for painting
};

} // namespace kv::motion
