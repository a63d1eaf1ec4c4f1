// mensilo-setup: the motion-detection setup of a camera in the motion control, as the
// camera's own setup page would: creates the control by its ProgID and gives it the source
// and the mode (1: four detection windows, 2: the view area).
#include "host/control_options.h"
#include "host/host_program.h"

#include <QMetaObject>
#include <QWidget>

namespace {

class CMensiloSetup final : public kv::host::CHostProgram {
protected:
    const char* ProgramName() const override { return "mensilo-setup"; }
    const char* ModuleFileName() const override { return "libMensilo.so"; }
    const char* ProgId() const override { return "MENSILO.MensiloCtrl.1"; }
    const char* Description() const override
    {
        return "Sets up a network camera's motion detection (detection windows or view area) in the motion control.";
    }

    QList<QCommandLineOption> OwnOptions() const override
    {
        return {{QStringLiteral("mode"), QStringLiteral("1: the four detection windows (default), 2: the view area"),
                 QStringLiteral("1|2")}};
    }
    bool ReadOptions(const QCommandLineParser& parser, kv::host::CommonOptions& common, QString& error) override
    {
        m_base = kv::host::MotionBaseUrl(common.url);
        if (!parser.isSet(QStringLiteral("frame-type")))
            common.frameType = QStringLiteral("jpeg");
        const QString mode = parser.value(QStringLiteral("mode"));
        if (!mode.isEmpty() && !kv::host::ParseMode(mode, m_mode)) {
            error = QStringLiteral("--mode takes 1 (detection windows) or 2 (view area), not \"%1\"").arg(mode);
            return false;
        }
        return true;
    }
    QString ProbeUrl(const kv::host::CommonOptions&) const override { return m_base + QLatin1Char('/'); }
    QString CameraAddress(const kv::host::CommonOptions&) const override { return m_base; }

    bool Start(QWidget* control, const kv::host::CommonOptions& common, QString& error) override
    {
        bool accepted = false;
        const bool called =
            QMetaObject::invokeMethod(control, "SetSource", Q_RETURN_ARG(bool, accepted), Q_ARG(QString, m_base),
                                      Q_ARG(QString, common.frameType), Q_ARG(short, m_mode));
        if (!called || !accepted) {
            error = called ? QStringLiteral("the control refused the source (another motion setup is running)")
                           : QStringLiteral("the control has no SetSource method");
            return false;
        }
        return true;
    }

    void Stop(QWidget* control) override { QMetaObject::invokeMethod(control, "StopPlay"); }

private:
    QString m_base;
    short m_mode = 1;
};

} // namespace

int main(int argc, char** argv)
{
    CMensiloSetup program;
    return program.Main(argc, argv);
}
