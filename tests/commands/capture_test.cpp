// Capture: where the picture is saved and in which format, the capture dialog's window and
// preview, the file-save dialog's overwrite question, and the bounded wait for a picture.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

#include "core/timings.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/ui_helpers.h"
#include "command_test_support.h"
#include "ui/ui_test_support.h"
#include "viewer/capture/capture_dlg.h"
#include "viewer/capture/capture_file.h"
#include "viewer/capture/capture_request.h"
#include "ximage.h"

using namespace kv::viewer;
using kvtest::Identify;
using kvtest::OnNextModal;

namespace {

// A 24-bit picture filled by f(x, y) -> (r, g, b), y counted from the top.
template <class F>
std::unique_ptr<CxImage> Picture(int width, int height, F f)
{
    auto image = std::make_unique<CxImage>();
    image->Create(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, CXIMAGE_FORMAT_BMP);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image->RowPointer(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const QColor c = f(x, y);
            row[3 * x] = static_cast<std::uint8_t>(c.blue());
            row[3 * x + 1] = static_cast<std::uint8_t>(c.green());
            row[3 * x + 2] = static_cast<std::uint8_t>(c.red());
        }
    }
    return image;
}

std::unique_ptr<CxImage> Gradient(int width, int height)
{
    return Picture(width, height, [](int x, int y) { return QColor(x % 256, y % 256, (x + y) % 256); });
}

QByteArray Head(const QString& path, int n)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(n) : QByteArray();
}

class CaptureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kvtest::App(); }

    std::unique_ptr<CCaptureDlg> Dialog(ChosenFile chosen, int color = 1, int fullWidth = 640, int fullHeight = 480)
    {
        ++m_chooserCalls;
        return std::make_unique<CCaptureDlg>(Gradient(fullWidth, fullHeight), Gradient(320, 240), color, 1, nullptr,
                                             [this, chosen](QWidget*) -> std::optional<ChosenFile> {
                                                 ++m_chosen;
                                                 if (chosen.path.isEmpty())
                                                     return std::nullopt;
                                                 return chosen;
                                             });
    }
    QString InDir(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    int m_chooserCalls = 0;
    int m_chosen = 0;
};

} // namespace

TEST(CaptureFile, ExtensionRuleAndFormatPerFilter)
{
    const auto jpg = ResolveCaptureTarget({QStringLiteral("/tmp/shot"), kFilterJpg});
    EXPECT_EQ(jpg.path, QStringLiteral("/tmp/shot.jpg"));
    EXPECT_EQ(jpg.format, static_cast<std::uint32_t>(CXIMAGE_FORMAT_JPG));
    // An extension typed by the user stays; the filter alone decides the format.
    const auto bmpNamedJpeg = ResolveCaptureTarget({QStringLiteral("/tmp/shot.bmp"), kFilterJpg});
    EXPECT_EQ(bmpNamedJpeg.path, QStringLiteral("/tmp/shot.bmp"));
    EXPECT_EQ(bmpNamedJpeg.format, static_cast<std::uint32_t>(CXIMAGE_FORMAT_JPG));
    const auto bmp = ResolveCaptureTarget({QStringLiteral("/tmp/a.dir/shot"), kFilterBmp});
    EXPECT_EQ(bmp.path, QStringLiteral("/tmp/a.dir/shot.bmp"));
    EXPECT_EQ(bmp.format, static_cast<std::uint32_t>(CXIMAGE_FORMAT_BMP));
    EXPECT_EQ(ResolveCaptureTarget({QStringLiteral("x.png"), kFilterBmp}).path, QStringLiteral("x.png"));
}

TEST_F(CaptureTest, WindowFramePreviewAndColours)
{
    auto dlg = Dialog({});
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Capture"));
    EXPECT_TRUE(dlg->isModal());
    EXPECT_EQ(dlg->size(), kv::ui::DluSize(222, 195));
    EXPECT_EQ(dlg->Frame()->geometry(), QRect((dlg->width() - 326) / 2, 10, 320, 240));
    EXPECT_EQ(kv::ui::ControlId(dlg->Frame()), 215);
    EXPECT_EQ(dlg->SaveButton()->text(), QStringLiteral("Save"));
    EXPECT_EQ(dlg->CancelButton()->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(kv::ui::ControlId(dlg->SaveButton()), 1);
    EXPECT_EQ(kv::ui::ControlId(dlg->CancelButton()), 2);
    EXPECT_EQ(dlg->palette().color(QPalette::Window), QColor(230, 232, 237));
    EXPECT_EQ(Dialog({}, 2)->palette().color(QPalette::Window), QColor(75, 110, 182));
    EXPECT_EQ(Dialog({}, 3)->palette().color(QPalette::Window), QColor(38, 38, 38));
    EXPECT_FALSE(Dialog({}, 4)->autoFillBackground());
}

TEST_F(CaptureTest, PreviewLeavesOutTheLastColumnAndRow)
{
    // Green everywhere but a red last column and a blue last row: none of those show.
    auto preview = Picture(320, 240, [](int x, int y) {
        if (x == 319)
            return QColor(255, 0, 0);
        if (y == 239)
            return QColor(0, 0, 255);
        return QColor(0, 200, 0);
    });
    CCaptureDlg dlg(Gradient(640, 480), std::move(preview), 1, 1, nullptr, [](QWidget*) { return std::nullopt; });
    EXPECT_EQ(dlg.PreviewSource().size(), QSize(319, 239));
    const QImage shown = dlg.Frame()->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(320, 240));
    for (int y = 0; y < shown.height(); y += 7)
        for (int x = 0; x < shown.width(); x += 7)
            ASSERT_EQ(QColor(shown.pixel(x, y)), QColor(0, 200, 0)) << x << "," << y;
    EXPECT_EQ(QColor(shown.pixel(319, 239)), QColor(0, 200, 0));
}

TEST_F(CaptureTest, NameWithoutExtensionSavedAsJpeg)
{
    auto dlg = Dialog({InDir(QStringLiteral("shot")), kFilterJpg});
    QTest::mouseClick(dlg->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_FALSE(dlg->HoldsCopies());
    const QString path = InDir(QStringLiteral("shot.jpg"));
    EXPECT_TRUE(Head(path, 3).startsWith("\xFF\xD8\xFF"));
    EXPECT_EQ(Identify(path), "640x480 JPEG");
}

TEST_F(CaptureTest, BmpNameWithJpegFilterIsWrittenAsJpeg)
{
    auto dlg = Dialog({InDir(QStringLiteral("shot.bmp")), kFilterJpg});
    QTest::mouseClick(dlg->SaveButton(), Qt::LeftButton);
    const QString path = InDir(QStringLiteral("shot.bmp"));
    EXPECT_TRUE(Head(path, 3).startsWith("\xFF\xD8\xFF"));
    EXPECT_FALSE(QFile::exists(InDir(QStringLiteral("shot.bmp.jpg"))));
    EXPECT_EQ(Identify(path), "640x480 JPEG");
}

TEST_F(CaptureTest, BmpKeepsEveryPixel)
{
    auto dlg = Dialog({InDir(QStringLiteral("small")), kFilterBmp}, 1, 160, 120);
    QTest::mouseClick(dlg->SaveButton(), Qt::LeftButton);
    const QString path = InDir(QStringLiteral("small.bmp"));
    EXPECT_TRUE(Head(path, 2) == "BM");
    EXPECT_EQ(Identify(path), "160x120 BMP");
    CxImage back;
    ASSERT_TRUE(back.Decode(QFile::encodeName(path).constData(), CXIMAGE_FORMAT_BMP));
    const auto original = Gradient(160, 120);
    for (std::uint32_t row = 0; row < 120; ++row)
        ASSERT_EQ(0, std::memcmp(back.RowPointer(row), original->RowPointer(row), 160 * 3)) << row;
}

TEST_F(CaptureTest, CancelledFileDialogKeepsTheCaptureOpen)
{
    auto dlg = Dialog({});
    dlg->show();
    QTest::mouseClick(dlg->SaveButton(), Qt::LeftButton);
    EXPECT_EQ(m_chosen, 1);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->HoldsCopies());
    QTest::mouseClick(dlg->CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_FALSE(dlg->HoldsCopies());
}

TEST_F(CaptureTest, UnwritableFileIsReportedAndThePictureKept)
{
    auto dlg = Dialog({InDir(QStringLiteral("missing/dir/shot")), kFilterJpg});
    dlg->show();
    QString reported;
    OnNextModal(
        [&](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                reported = box->text();
            w->close();
        },
        dlg.get());
    QTest::mouseClick(dlg->SaveButton(), Qt::LeftButton);
    EXPECT_TRUE(reported.contains(QStringLiteral("missing/dir/shot.jpg"))) << reported.toStdString();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_TRUE(dlg->HoldsCopies());
}

TEST_F(CaptureTest, EmptyCopyIsReportedNotSavedSilently)
{
    CCaptureDlg dlg(std::make_unique<CxImage>(), nullptr, 1, 1, nullptr,
                    [&](QWidget*) { return ChosenFile{InDir(QStringLiteral("empty")), kFilterBmp}; });
    bool reported = false;
    OnNextModal([&](QWidget* w) {
        reported = qobject_cast<QMessageBox*>(w) != nullptr;
        w->close();
    });
    dlg.OnSave();
    EXPECT_TRUE(reported);
    EXPECT_FALSE(QFile::exists(InDir(QStringLiteral("empty.bmp"))));
    EXPECT_TRUE(dlg.PreviewSource().isNull());
}

TEST_F(CaptureTest, OverwriteQuestionCoversTheAppendedExtension)
{
    // "shot.jpg" exists; the user types "shot" with the JPG filter: the dialog must ask
    // about "shot.jpg" before anything is replaced.
    {
        QFile existing(InDir(QStringLiteral("shot.jpg")));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("old");
    }
    QString question;
    auto typeShotWithJpgFilter = [&](QMessageBox::StandardButton answer) {
        return [&, answer](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), QString::fromLatin1(kCaptureSaveTitle));
            EXPECT_EQ(dialog->nameFilters(), (QStringList{QStringLiteral("BMP File (*.bmp)"), QStringLiteral("JPG File (*.jpg)")}));
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            EXPECT_TRUE(name->text().isEmpty());  // no initial name
            dialog->setDirectory(m_dir.path());
            dialog->selectNameFilter(QString::fromLatin1(kJpgFilter));
            name->setText(QStringLiteral("shot"));
            OnNextModal(
                [&, answer](QWidget* box) {
                    if (auto* m = qobject_cast<QMessageBox*>(box)) {
                        question = m->text();
                        if (QAbstractButton* button = m->button(answer))
                            button->click();
                        else
                            m->done(answer);
                    }
                },
                dialog);
            QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
            if (dialog->isVisible())
                dialog->reject();
        };
    };

    OnNextModal(typeShotWithJpgFilter(QMessageBox::No));
    EXPECT_EQ(ChooseCaptureFile(nullptr), std::nullopt);
    EXPECT_TRUE(question.contains(QStringLiteral("shot.jpg"))) << question.toStdString();

    question.clear();
    OnNextModal(typeShotWithJpgFilter(QMessageBox::Yes));
    const auto chosen = ChooseCaptureFile(nullptr);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->path, InDir(QStringLiteral("shot.jpg")));
    EXPECT_EQ(chosen->filterIndex, kFilterJpg);
    EXPECT_FALSE(question.isEmpty());
}

namespace {

// A display worker stand-in: serves the request after a delay, or never.
struct FakeWorker {
    std::atomic<bool> requested{false};
    int serveAfterMs = -1;
    std::thread server;
    std::unique_ptr<CxImage> full, preview;

    ~FakeWorker()
    {
        if (server.joinable())
            server.join();
    }
    void RequestCapture()
    {
        requested = true;
        if (serveAfterMs >= 0)
            server = std::thread([this] {
                std::this_thread::sleep_for(std::chrono::milliseconds(serveAfterMs));
                full = Gradient(160, 120);
                preview = Gradient(320, 240);
                requested = false;
            });
    }
    bool CaptureRequested() const { return requested; }
    std::unique_ptr<CxImage> TakeFullCopy() { return std::move(full); }
    std::unique_ptr<CxImage> TakePreviewCopy() { return std::move(preview); }
};

} // namespace

TEST_F(CaptureTest, NoPictureWithinTheWaitMeansAMessageAndNoDialog)
{
    kv::ModuleTimings().captureWaitMs = 300;
    FakeWorker worker;  // never serves
    QStringList modals;
    OnNextModal([&](QWidget* w) {
        modals << QString::fromLatin1(w->metaObject()->className());
        if (auto* box = qobject_cast<QMessageBox*>(w))
            modals << box->text();
        w->close();
    });
    const auto outcome = RunCapture(nullptr, CaptureSourceOf(worker), 1, 1);
    EXPECT_EQ(outcome, CaptureOutcome::NoPicture);
    EXPECT_TRUE(worker.requested);
    EXPECT_EQ(modals, (QStringList{QStringLiteral("QMessageBox"), QString::fromLatin1(kNoPictureText)}));
    kv::ModuleTimings().ResetToDefaults();
}

TEST_F(CaptureTest, ServedRequestOpensTheDialogWithTheCopies)
{
    FakeWorker worker;
    worker.serveAfterMs = 150;
    CCaptureDlg* shown = nullptr;
    OnNextModal([&](QWidget* w) {
        shown = qobject_cast<CCaptureDlg*>(w);
        if (shown) {
            EXPECT_FALSE(shown->PreviewSource().isNull());
        }
        QTest::mouseClick(shown ? shown->CancelButton() : nullptr, Qt::LeftButton);
    });
    EXPECT_EQ(RunCapture(nullptr, CaptureSourceOf(worker), 2, 1), CaptureOutcome::Cancelled);
    EXPECT_NE(shown, nullptr);
    EXPECT_FALSE(worker.full);  // taken by the dialog
}

TEST(CaptureWait, ReturnsAsSoonAsServed)
{
    bool pending = false;
    CaptureSource source{[] {}, [&] { return pending; }, [] { return nullptr; }, [] { return nullptr; }};
    EXPECT_TRUE(WaitForCapture(source, 0));
    pending = true;
    EXPECT_FALSE(WaitForCapture(source, 0));
    EXPECT_FALSE(WaitForCapture(source, 50));
}

// Pictures of the capture dialog in the three schemes (KV_UI_SHOTS_DIR as for the pad).
TEST_F(CaptureTest, Pictures)
{
    const QByteArray dir = qgetenv("KV_UI_SHOTS_DIR");
    if (!dir.isEmpty())
        QDir().mkpath(QString::fromLocal8Bit(dir));
    for (int scheme = 1; scheme <= 3; ++scheme) {
        auto dlg = Dialog({}, scheme);
        dlg->show();
        const QImage picture = dlg->grab().toImage();
        EXPECT_EQ(QColor(picture.pixel(1, picture.height() - 2)), dlg->palette().color(QPalette::Window));
        if (!dir.isEmpty()) {
            EXPECT_TRUE(picture.save(QString::fromLocal8Bit(dir) + QStringLiteral("/capture-dialog-scheme%1.png").arg(scheme)));
        }
    }
}
