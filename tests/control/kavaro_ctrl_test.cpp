// The viewer control object: window creation, the automation methods by name and by id,
// the settings page, the standard dialogs.
#include "control_test_support.h"

#include "platform/ui/ui_helpers.h"
#include "viewer/control/kavaro_ctrl.h"
#include "viewer/control/kavaro_identity.h"
#include "viewer/control/kavaro_prop_page.h"
#include "viewer/control/kavaro_server.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMetaMethod>
#include <QMetaObject>

namespace {

using namespace kv;
using viewer::CKavaroCtrl;

class KavaroCtrl : public ::testing::Test {
protected:
    void SetUp() override { kvtest::App(); }
    void TearDown() override { ui::SetShellOpenForTesting({}); }

    // Opens what the shell would be asked to open, without opening anything.
    QStringList& RecordShellOpen()
    {
        ui::SetShellOpenForTesting([this](const QString& link) {
            m_opened << link;
            return true;
        });
        return m_opened;
    }

    QStringList m_opened;
};

TEST_F(KavaroCtrl, CreatesThePanelWhenItFirstGetsAWindow)
{
    CKavaroCtrl control;
    EXPECT_FALSE(control.IsCreated());
    EXPECT_FALSE(control.Panel().HasWindow());
    EXPECT_EQ(control.sizeHint(), QSize(870, 650));
    control.resize(control.sizeHint());
    control.show();
    EXPECT_TRUE(control.IsCreated());
    ASSERT_TRUE(control.Panel().HasWindow());
    EXPECT_EQ(control.Panel().parentWidget(), &control);
    // The container moves the control: the panel follows its rectangle.
    control.resize(900, 700);
    EXPECT_EQ(control.Panel().geometry(), QRect(0, 0, 900, 700));
}

TEST_F(KavaroCtrl, CountsAsALiveInstanceOfItsModule)
{
    const int before = viewer::KavaroServer().Usage().Instances();
    {
        CKavaroCtrl control;
        viewer::CKavaroPropPage page;
        EXPECT_EQ(viewer::KavaroServer().Usage().Instances(), before + 2);
        EXPECT_EQ(viewer::KavaroServer().CanUnloadNow(), com::S_FALSE);
    }
    EXPECT_EQ(viewer::KavaroServer().Usage().Instances(), before);
}

TEST_F(KavaroCtrl, OpenSettingPageHandsOnlyWebAddressesToTheDesktop)
{
    QStringList& opened = RecordShellOpen();
    CKavaroCtrl control;
    for (const char* ignored : {"", "   ", "setup.html", "file:///etc/passwd", "javascript:alert(1)",
                                "-new-window http://cam/", "http://", "ftp://cam/setup.html", "\"http://cam/\""})
        control.OpenSettingPage(QString::fromLatin1(ignored));
    EXPECT_TRUE(opened.isEmpty()) << opened.join(QLatin1Char('|')).toStdString();

    control.OpenSettingPage(QStringLiteral("http://192.168.0.10/setting/index.html"));
    control.OpenSettingPage(QStringLiteral("  HTTPS://cam.example/setup?a=1&b=2 "));
    EXPECT_EQ(opened, (QStringList{"http://192.168.0.10/setting/index.html", "https://cam.example/setup?a=1&b=2"}));
}

TEST_F(KavaroCtrl, MethodsAnswerByNameAndByDispatchId)
{
    QStringList& opened = RecordShellOpen();
    CKavaroCtrl control;
    // By dispatch id, as the page's script calls them.
    EXPECT_EQ(control.Invoke(viewer::DISPID_OpenSettingPage, {QStringLiteral("http://cam/a")}), com::S_OK);
    EXPECT_EQ(control.Invoke(viewer::DISPID_TestPlay, {}), com::S_OK);
    EXPECT_EQ(control.Invoke(viewer::DISPID_StartPlay, {1, QStringLiteral("rec.asf")}), com::S_OK);  // no source: nothing
    EXPECT_EQ(control.Invoke(viewer::DISPID_SetZoomPercent, {QStringLiteral("two hundred")}), com::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(control.Invoke(viewer::DISPID_SetSource, {QStringLiteral("http://cam/")}), com::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(control.Invoke(42, {}), com::DISP_E_MEMBERNOTFOUND);
    // By name, as the hosts call them.
    EXPECT_TRUE(QMetaObject::invokeMethod(&control, "OpenSettingPage", Q_ARG(QString, QStringLiteral("http://cam/b"))));
    QVariantMap stats;
    ASSERT_TRUE(QMetaObject::invokeMethod(&control, "Statistics", Q_RETURN_ARG(QVariantMap, stats)));
    EXPECT_EQ(stats.value(QStringLiteral("picturesDrawn")).toInt(), 0);
    EXPECT_EQ(opened, (QStringList{"http://cam/a", "http://cam/b"}));

    // Every table entry names one of the control's methods.
    for (const com::DispatchEntry& entry : CKavaroCtrl::DispatchTable().Entries()) {
        bool found = false;
        for (int i = 0; i < control.metaObject()->methodCount(); ++i)
            found |= control.metaObject()->method(i).name() == entry.name;
        EXPECT_TRUE(found) << entry.name;
    }
    EXPECT_EQ(CKavaroCtrl::DispatchTable().Entries().size(), 9u);
}

TEST_F(KavaroCtrl, AboutBoxAndPropertyPage)
{
    CKavaroCtrl control;
    com::HRESULT hr = com::E_FAIL;
    const kvtest::ModalSeen about = kvtest::ReadModalDialog([&] { hr = control.Invoke(viewer::DISPID_ABOUTBOX, {}); });
    EXPECT_EQ(hr, com::S_OK);
    EXPECT_EQ(about.title, QStringLiteral("About Kavaro Control"));
    EXPECT_TRUE(about.texts.contains(QStringLiteral("Kavaro Control, Version 1.0")));

    viewer::CKavaroPropPage page;
    EXPECT_EQ(page.TemplateId(), 225);
    EXPECT_EQ(page.Caption(), QStringLiteral("General"));
    EXPECT_EQ(page.StaticText()->text(),
              QStringLiteral("TODO: Place controls to manipulate properties of Kavaro Control on this dialog."));
}

} // namespace
