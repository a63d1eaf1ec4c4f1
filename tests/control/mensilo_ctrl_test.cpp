// The motion-setup control object: window creation, the automation methods by name and by
// id, the standard dialogs.
#include "control_test_support.h"

#include "motion/control/mensilo_ctrl.h"
#include "motion/control/mensilo_identity.h"
#include "motion/control/mensilo_prop_page.h"

#include <gtest/gtest.h>

#include <QLabel>

namespace {

using namespace kv;
using motion::CMensiloCtrl;

TEST(MensiloCtrl, CreatesTheSetupDialogWhenItFirstGetsAWindowAndLeavesItsPlace)
{
    kvtest::App();
    CMensiloCtrl control;
    EXPECT_EQ(control.sizeHint(), QSize(810, 530));
    EXPECT_FALSE(control.Dialog().HasWindow());
    control.resize(control.sizeHint());
    control.show();
    ASSERT_TRUE(control.Dialog().HasWindow());
    EXPECT_EQ(control.Dialog().parentWidget(), &control);
    const QRect placed = control.Dialog().geometry();
    control.resize(1000, 700);  // the control does not move or size its dialog
    EXPECT_EQ(control.Dialog().geometry(), placed);
}

TEST(MensiloCtrl, DispatchTableAndStandardDialogs)
{
    kvtest::App();
    CMensiloCtrl control;
    EXPECT_EQ(CMensiloCtrl::DispatchTable().IdOfName("StopPlay"), motion::DISPID_StopPlay);
    EXPECT_EQ(CMensiloCtrl::DispatchTable().IdOfName("SetSource"), motion::DISPID_SetSource);
    EXPECT_EQ(CMensiloCtrl::DispatchTable().IdOfName("AboutBox"), motion::DISPID_ABOUTBOX);
    EXPECT_EQ(control.Invoke(motion::DISPID_SetSource, {QStringLiteral("http://cam"), QStringLiteral("jpeg")}),
              com::DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(control.Invoke(motion::DISPID_SetSource, {QStringLiteral("http://cam"), QStringLiteral("jpeg"),
                                                        QStringLiteral("mode")}),
              com::DISP_E_TYPEMISMATCH);
    EXPECT_EQ(control.Invoke(3, {}), com::DISP_E_MEMBERNOTFOUND);

    com::HRESULT hr = com::E_FAIL;
    const kvtest::ModalSeen about = kvtest::ReadModalDialog([&] { hr = control.Invoke(motion::DISPID_ABOUTBOX, {}); });
    EXPECT_EQ(hr, com::S_OK);
    EXPECT_EQ(about.title, QStringLiteral("About Mensilo Control"));
    EXPECT_TRUE(about.texts.contains(QStringLiteral("Mensilo Control, Version 1.0")));

    motion::CMensiloPropPage page;
    EXPECT_EQ(page.TemplateId(), 200);
    EXPECT_EQ(page.Caption(), QStringLiteral("General"));
    EXPECT_EQ(page.StaticText()->text(),
              QStringLiteral("TODO: Place controls to manipulate properties of Mensilo Control on this dialog."));
}

} // namespace
