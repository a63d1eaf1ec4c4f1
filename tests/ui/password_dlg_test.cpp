#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "camsim_process.h"
#include "core/timings.h"
#include "platform/ui/dialog_units.h"
#include "stream/http_poster.h"
#include "ui_test_support.h"
#include "viewer/widgets/password_dlg.h"

using kv::viewer::CPasswordDlg;

namespace {

class PasswordTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        kvtest::App();
        kv::ModuleTimings().getSettleMs = 10;
        camera = new camsim::CamsimProcess({"--user", "admin:secret:control", "--user", "guest:guest"});
    }
    static void TearDownTestSuite()
    {
        delete camera;
        camera = nullptr;
        kv::ModuleTimings().ResetToDefaults();
    }
    void SetUp() override { camera->ClearRequests(); }

    std::unique_ptr<CPasswordDlg> Open(const std::string& url, int language = 1)
    {
        auto dlg = std::make_unique<CPasswordDlg>(QString::fromStdString(url), language);
        dlg->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        return dlg;
    }

    static void Enter(CPasswordDlg& dlg, const QString& user, const QString& password)
    {
        dlg.UserEdit()->setText(user);
        dlg.PasswordEdit()->setText(password);
        QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
    }

    static void ShowActive(QDialog& dlg)
    {
        dlg.show();
        dlg.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    }

    static std::string ProbeUrl() { return camera->Url("command/ptzf.cgi?ptauth"); }

    static camsim::CamsimProcess* camera;
};

camsim::CamsimProcess* PasswordTest::camera = nullptr;

} // namespace

TEST_F(PasswordTest, TwoWrongEntriesThenTheRightOne)
{
    auto dlg = Open(ProbeUrl());
    Enter(*dlg, QStringLiteral("admin"), QStringLiteral("wrong"));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->m_nFailCount, 1);
    EXPECT_TRUE(dlg->PasswordEdit()->text().isEmpty());
    EXPECT_EQ(dlg->UserEdit()->text(), QStringLiteral("admin"));
    EXPECT_TRUE(dlg->UserEdit()->hasFocus());
    Enter(*dlg, QStringLiteral("admin"), QStringLiteral("wrong again"));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->m_nFailCount, 2);
    Enter(*dlg, QStringLiteral("admin"), QStringLiteral("secret"));
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_nFailCount, 2);
    EXPECT_EQ(dlg->m_bControlRight, 1);
    EXPECT_EQ(dlg->m_sUser, QStringLiteral("admin"));
    EXPECT_EQ(dlg->m_sPassword, QStringLiteral("secret"));

    const auto requests = camera->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].path, "/command/ptzf.cgi");
    EXPECT_EQ(requests[2].query, "ptauth");
    EXPECT_EQ(requests[0].password, "wrong");
    EXPECT_EQ(requests[2].password, "secret");
}

TEST_F(PasswordTest, ThreeWrongEntriesCloseWithOkAndCountThree)
{
    auto dlg = Open(ProbeUrl());
    for (int i = 0; i < 3; ++i)
        Enter(*dlg, QStringLiteral("admin"), QStringLiteral("nope"));
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_nFailCount, 3);
    EXPECT_EQ(dlg->m_bControlRight, 0);
}

TEST_F(PasswordTest, AccessDenyMeansNoControlRight)
{
    auto dlg = Open(ProbeUrl());
    Enter(*dlg, QStringLiteral("guest"), QStringLiteral("guest"));
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(dlg->m_nFailCount, 0);
    EXPECT_EQ(dlg->m_bControlRight, 0);
}

TEST_F(PasswordTest, EmptyPasswordGoesOutAsThePlaceholder)
{
    auto dlg = Open(ProbeUrl());
    Enter(*dlg, QStringLiteral("admin"), QString());
    EXPECT_EQ(dlg->m_nFailCount, 1);
    EXPECT_TRUE(dlg->m_sPassword.isEmpty());
    const auto requests = camera->Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].user, "admin");
    EXPECT_EQ(requests[0].password, kv::CHttpPoster::kPlaceholderPassword);
    EXPECT_EQ(std::string(kv::CHttpPoster::kPlaceholderPassword).size(), 1u);
}

TEST_F(PasswordTest, UnreachableCameraShowsTheMessageAndKeepsTheDialog)
{
    std::string deadUrl;
    {
        camsim::CamsimProcess gone;
        deadUrl = gone.Url("command/ptzf.cgi?ptauth");
    }  // nothing listens there any more
    auto dlg = Open(deadUrl);
    QString shown;
    int boxes = 0;
    std::function<void()> closeBox = [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            ++boxes;
            box->accept();
        } else {
            QTimer::singleShot(20, closeBox);
        }
    };
    QTimer::singleShot(20, closeBox);
    Enter(*dlg, QStringLiteral("admin"), QStringLiteral("secret"));
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(shown, QStringLiteral("Can not connect."));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->m_nFailCount, 0);
    EXPECT_EQ(dlg->PasswordEdit()->text(), QStringLiteral("secret"));  // kept for another try
    QTest::mouseClick(dlg->CancelButton(), Qt::LeftButton);
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
}

TEST_F(PasswordTest, EmptyAnswerIsAcceptedWithControlRight)
{
    int calls = 0;
    CPasswordDlg dlg(QStringLiteral("http://127.0.0.1:9/"), 1, nullptr,
                     [&](std::string& body, const std::string&, const std::string&, const std::string&) {
                         ++calls;
                         body.clear();
                         return true;
                     });
    dlg.show();
    Enter(dlg, QStringLiteral("x"), QStringLiteral("y"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_bControlRight, 1);
}

TEST_F(PasswordTest, KeysPressTheFocusedButtonAndEscapeCancels)
{
    int calls = 0;
    auto counting = [&](std::string& body, const std::string&, const std::string&, const std::string&) {
        ++calls;
        body = "PT: OK";
        return true;
    };
    {
        // Return on Cancel cancels: nothing goes to the camera.
        CPasswordDlg dlg(QStringLiteral("http://127.0.0.1:9/"), 1, nullptr, counting);
        ShowActive(dlg);
        dlg.UserEdit()->setText(QStringLiteral("admin"));
        dlg.PasswordEdit()->setText(QStringLiteral("secret"));
        dlg.CancelButton()->setFocus();
        QTest::keyClick(dlg.CancelButton(), Qt::Key_Return);
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_FALSE(dlg.isVisible());
        calls = 0;
    }
    {
        CPasswordDlg dlg(QStringLiteral("http://127.0.0.1:9/"), 1, nullptr, counting);
        ShowActive(dlg);
        dlg.CancelButton()->setFocus();
        QTest::keyClick(dlg.CancelButton(), Qt::Key_Enter);  // the keypad's Enter too
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        calls = 0;
    }
    {
        // Return in an edit presses the default button, OK.
        CPasswordDlg dlg(QStringLiteral("http://127.0.0.1:9/"), 1, nullptr, counting);
        ShowActive(dlg);
        dlg.PasswordEdit()->setFocus();
        QTest::keyClick(dlg.PasswordEdit(), Qt::Key_Return);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        calls = 0;
    }
    {
        // After a focus visit to Cancel, Return on an edit is OK again.
        CPasswordDlg dlg(QStringLiteral("http://127.0.0.1:9/"), 1, nullptr, counting);
        ShowActive(dlg);
        dlg.CancelButton()->setFocus();
        dlg.UserEdit()->setFocus();
        QTest::keyClick(dlg.UserEdit(), Qt::Key_Return);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        calls = 0;
    }
    {
        CPasswordDlg dlg(QStringLiteral("http://127.0.0.1:9/"), 1, nullptr, counting);
        ShowActive(dlg);
        dlg.UserEdit()->setFocus();
        QTest::keyClick(dlg.UserEdit(), Qt::Key_Escape);
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
}

TEST_F(PasswordTest, TextsFollowTheLanguageAndControlsSitAtTheirPlaces)
{
    CPasswordDlg english(QString(), 2);
    EXPECT_EQ(english.windowTitle(), QStringLiteral("Enter Network Password"));
    EXPECT_EQ(english.Label(226)->text(), QStringLiteral("Please type your user name and password."));
    EXPECT_EQ(english.Label(230)->text(), QStringLiteral("Realm:          Orvel Network Camera"));
    EXPECT_EQ(english.OkButton()->text(), QStringLiteral("OK"));

    CPasswordDlg other(QString(), 7);
    EXPECT_EQ(other.windowTitle(), QStringLiteral("Input Internet Password"));
    EXPECT_EQ(other.Label(226)->text(), QStringLiteral("Please input user name and password:"));
    EXPECT_EQ(other.Label(230)->text(), QStringLiteral("Mode"));
    EXPECT_EQ(other.Label(228)->text(), QStringLiteral("Password:"));
    EXPECT_EQ(other.CancelButton()->text(), QStringLiteral("Cancel"));

    EXPECT_EQ(other.size(), QSize(308, 193));
    EXPECT_EQ(other.UserEdit()->geometry(), kv::ui::DluRect(58, 44, 125, 14));
    EXPECT_EQ(other.PasswordEdit()->geometry(), kv::ui::DluRect(58, 67, 125, 14));
    EXPECT_EQ(other.PasswordEdit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(other.CancelButton()->geometry(), kv::ui::DluRect(108, 95, 50, 14));
    EXPECT_TRUE(other.OkButton()->isDefault());
}
