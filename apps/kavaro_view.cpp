// kavaro-view: shows a camera's live picture in the viewer control, as the camera's own web
// page would: creates the control by its ProgID, gives it the source and starts playback.
#include "host/host_program.h"
#include "host/control_options.h"

#include <QMetaObject>
#include <QVariantMap>
#include <QWidget>

#include <cstdio>

namespace {

class CKavaroView final : public kv::host::CHostProgram {
protected:
    const char* ProgramName() const override { return "kavaro-view"; }
    const char* ModuleFileName() const override { return "libKavaro.so"; }
    const char* ProgId() const override { return "KAVARO.KavaroCtrl.1"; }
    const char* Description() const override
    {
        return "Shows a network camera's live video (Motion-JPEG or MPEG-4, with audio) in the viewer control.";
    }

    QList<QCommandLineOption> OwnOptions() const override { return kv::host::ViewerOptionList(); }
    bool ReadOptions(const QCommandLineParser& parser, kv::host::CommonOptions& common, QString& error) override
    {
        return kv::host::ReadViewerOptions(parser, common, m_options, error);
    }
    QString ProbeUrl(const kv::host::CommonOptions&) const override { return m_options.sourceUrl; }
    QString CameraAddress(const kv::host::CommonOptions&) const override { return m_options.cameraAddress; }

    bool Start(QWidget* control, const kv::host::CommonOptions& common, QString& error) override
    {
        bool accepted = false;
        const bool called = QMetaObject::invokeMethod(
            control, "SetSource", Q_RETURN_ARG(bool, accepted), Q_ARG(QString, m_options.sourceUrl),
            Q_ARG(QString, common.frameType), Q_ARG(QString, m_options.panTilt), Q_ARG(QString, m_options.frameRate),
            Q_ARG(int, m_options.color), Q_ARG(int, m_options.language));
        if (!called || !accepted) {
            error = called ? QStringLiteral("the control refused the source (another stream of this kind is playing)")
                           : QStringLiteral("the control has no SetSource method");
            return false;
        }
        QMetaObject::invokeMethod(control, "StartPlay", Q_ARG(int, 0), Q_ARG(QString, QString()));
        return true;
    }

    void Sample(QWidget* control, double seconds) override
    {
        const qlonglong pictures = Statistics(control).value(QStringLiteral("picturesDrawn")).toLongLong();
        if (pictures > 0 && m_firstPicture < 0) {
            m_firstPicture = seconds;
            m_picturesAtFirst = pictures;
        }
    }

    void Report(QWidget* control, double seconds) override
    {
        const QVariantMap stats = Statistics(control);
        const qlonglong pictures = stats.value(QStringLiteral("picturesDrawn")).toLongLong();
        const qulonglong audioFrames = stats.value(QStringLiteral("audioFramesPlayed")).toULongLong();
        const double span = m_firstPicture >= 0 ? seconds - m_firstPicture : 0.0;
        const double rate = span > 0 ? static_cast<double>(pictures - m_picturesAtFirst) / span : 0.0;
        std::printf("pictures drawn: %lld\npictures per second: %.1f\naudio frames played: %llu\n", pictures, rate,
                    audioFrames);
        std::fflush(stdout);
    }

    void Stop(QWidget* control) override { QMetaObject::invokeMethod(control, "StopPlay"); }

private:
    static QVariantMap Statistics(QWidget* control)
    {
        QVariantMap stats;
        QMetaObject::invokeMethod(control, "Statistics", Q_RETURN_ARG(QVariantMap, stats));
        return stats;
    }

    kv::host::ViewerOptions m_options;
    double m_firstPicture = -1;
    qlonglong m_picturesAtFirst = 0;
};

} // namespace

int main(int argc, char** argv)
{
    CKavaroView program;
    return program.Main(argc, argv);
}
