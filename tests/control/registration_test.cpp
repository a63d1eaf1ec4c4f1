// Registration of both modules in a scratch registry: what is written, what unregistration
// removes and keeps, and the results when the store cannot be written.
#include "control_test_support.h"

#include "motion/control/mensilo_identity.h"
#include "motion/control/mensilo_server.h"
#include "platform/com/component_categories.h"
#include "platform/com/registration.h"
#include "platform/registry/registry.h"
#include "viewer/control/kavaro_identity.h"
#include "viewer/control/kavaro_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace {

using namespace kv;
using registry::GetString;

const std::string kModule = "/opt/cameras/lib/libKavaro.so";
const std::string kClasses = "Software\\Classes";
const std::string kControl = kClasses + "\\CLSID\\{583394B6-60BA-4342-8B78-2118DC96BC47}";
const std::string kPage = kClasses + "\\CLSID\\{83F5AB61-C97F-458F-8266-0E1AEB379E02}";
const std::string kLibrary = kClasses + "\\TypeLib\\{C7C6AA6B-B4FE-4CB6-BC03-9D260D2C2391}";
const std::string kInitializing = kClasses + "\\Component Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}";
const std::string kScripting = kClasses + "\\Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

class Registration : public ::testing::Test {
protected:
    kvtest::ScratchRegistry m_registry;
};

TEST_F(Registration, WritesTheControlItsPageTheTypeLibraryAndBothCategories)
{
    ASSERT_EQ(viewer::KavaroServer().Register(kModule), com::S_OK);

    const std::vector<std::string> expected = [] {
        std::vector<std::string> keys = {
            kClasses + "\\CLSID",
            kControl,
            kControl + "\\Control",
            kControl + "\\Implemented Categories",
            kControl + "\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}",
            kControl + "\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}",
            kControl + "\\InprocServer32",
            kControl + "\\Insertable",
            kControl + "\\MiscStatus",
            kControl + "\\MiscStatus\\1",
            kControl + "\\ProgID",
            kControl + "\\ToolboxBitmap32",
            kControl + "\\TypeLib",
            kControl + "\\Version",
            kPage,
            kPage + "\\InprocServer32",
            kPage + "\\ProgID",
            kClasses + "\\Component Categories",
            kInitializing,
            kScripting,
            kClasses + "\\Interface",
            kClasses + "\\Interface\\{5478047D-C7AB-4120-A059-4C9C9FDFCB51}",
            kClasses + "\\Interface\\{5478047D-C7AB-4120-A059-4C9C9FDFCB51}\\TypeLib",
            kClasses + "\\Interface\\{B9CD1425-36CD-4939-A0BD-841B71834019}",
            kClasses + "\\Interface\\{B9CD1425-36CD-4939-A0BD-841B71834019}\\TypeLib",
            kClasses + "\\KAVARO.KavaroCtrl.1",
            kClasses + "\\KAVARO.KavaroCtrl.1\\CLSID",
            kClasses + "\\KAVARO.KavaroPropPage.1",
            kClasses + "\\KAVARO.KavaroPropPage.1\\CLSID",
            kClasses + "\\TypeLib",
            kLibrary,
            kLibrary + "\\1.0",
            kLibrary + "\\1.0\\409",
            kLibrary + "\\1.0\\409\\win32",
            kLibrary + "\\1.0\\FLAGS",
            kLibrary + "\\1.0\\HELPDIR",
        };
        std::sort(keys.begin(), keys.end());
        return keys;
    }();
    EXPECT_EQ(kvtest::AllKeysBelow(kClasses), expected);

    EXPECT_EQ(GetString(kControl, ""), "Kavaro Control");
    EXPECT_EQ(GetString(kControl + "\\InprocServer32", ""), kModule);
    EXPECT_EQ(GetString(kControl + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(GetString(kControl + "\\ProgID", ""), "KAVARO.KavaroCtrl.1");
    EXPECT_EQ(GetString(kControl + "\\MiscStatus\\1", ""), "131473");
    EXPECT_EQ(GetString(kControl + "\\ToolboxBitmap32", ""), kModule + ", 1");
    EXPECT_EQ(GetString(kControl + "\\TypeLib", ""), "{C7C6AA6B-B4FE-4CB6-BC03-9D260D2C2391}");
    EXPECT_EQ(GetString(kControl + "\\Version", ""), "1.0");
    EXPECT_EQ(GetString(kPage, ""), "Kavaro Property Page");
    EXPECT_EQ(GetString(kClasses + "\\KAVARO.KavaroCtrl.1\\CLSID", ""), "{583394B6-60BA-4342-8B78-2118DC96BC47}");
    EXPECT_EQ(GetString(kClasses + "\\KAVARO.KavaroPropPage.1\\CLSID", ""), "{83F5AB61-C97F-458F-8266-0E1AEB379E02}");
    EXPECT_EQ(GetString(kLibrary + "\\1.0", ""), "Kavaro ActiveX Control module");
    EXPECT_EQ(GetString(kLibrary + "\\1.0", "HelpFile"), "Kavaro.hlp");
    EXPECT_EQ(GetString(kLibrary + "\\1.0\\409\\win32", ""), kModule);
    EXPECT_EQ(GetString(kLibrary + "\\1.0\\HELPDIR", ""), "/opt/cameras/lib");
    EXPECT_EQ(GetString(kClasses + "\\Interface\\{B9CD1425-36CD-4939-A0BD-841B71834019}", ""), "_DKavaro");
    EXPECT_EQ(GetString(kInitializing, "409"), "Controls safely initializable from persistent data!");
    EXPECT_EQ(GetString(kScripting, "409"), "Controls safely scriptable!");

    // The host's way in: ProgID to class to module.
    EXPECT_EQ(com::ClsidFromProgId("KAVARO.KavaroCtrl.1"), viewer::CLSID_Kavaro);
    EXPECT_EQ(com::InprocServerPath(viewer::CLSID_Kavaro), kModule);
}

TEST_F(Registration, UnregisteringRemovesLibraryAndClassesAndKeepsTheCategories)
{
    ASSERT_EQ(viewer::KavaroServer().Register(kModule), com::S_OK);
    ASSERT_EQ(viewer::KavaroServer().Unregister(), com::S_OK);
    EXPECT_EQ(kvtest::AllKeysBelow(kClasses),
              (std::vector<std::string>{kClasses + "\\Component Categories", kScripting, kInitializing}));
    EXPECT_FALSE(com::ClsidFromProgId("KAVARO.KavaroCtrl.1"));

    // Nothing left to remove: the type library is reported missing, as a second
    // unregistration on the original platform does.
    EXPECT_EQ(viewer::KavaroServer().Unregister(), com::SELFREG_E_TYPELIB);
}

TEST_F(Registration, BothModulesShareTheCategoriesAndKeepTheirOwnClasses)
{
    ASSERT_EQ(viewer::KavaroServer().Register(kModule), com::S_OK);
    ASSERT_EQ(motion::MensiloServer().Register("/opt/cameras/lib/libMensilo.so"), com::S_OK);
    EXPECT_EQ(com::ClsidFromProgId("MENSILO.MensiloCtrl.1"), motion::CLSID_Mensilo);
    EXPECT_EQ(GetString(kClasses + "\\CLSID\\{8AAD6646-6979-4079-A6B1-0DAAB8CF08F6}\\MiscStatus\\1", ""), "131473");
    EXPECT_EQ(GetString(kClasses + "\\TypeLib\\{30D6D810-EC9C-45E3-B467-6E3BAC6330A9}\\1.0", ""),
              "Mensilo ActiveX Control module");
    EXPECT_EQ(GetString(kClasses + "\\CLSID\\{B57B58F2-C11A-4E40-AF1F-3A007BA998D7}", ""), "Mensilo Property Page");

    ASSERT_EQ(viewer::KavaroServer().Unregister(), com::S_OK);
    EXPECT_EQ(com::InprocServerPath(motion::CLSID_Mensilo), "/opt/cameras/lib/libMensilo.so");
    EXPECT_TRUE(registry::KeyExists(
        kClasses + "\\CLSID\\{8AAD6646-6979-4079-A6B1-0DAAB8CF08F6}\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}"));
    EXPECT_EQ(GetString(kScripting, "409"), "Controls safely scriptable!");
}

TEST_F(Registration, RegisteringAgainMovesTheModuleAndKeepsAProgIdTakenByAnotherClass)
{
    ASSERT_EQ(viewer::KavaroServer().Register(kModule), com::S_OK);
    ASSERT_EQ(viewer::KavaroServer().Register("/usr/lib/libKavaro.so"), com::S_OK);
    EXPECT_EQ(com::InprocServerPath(viewer::CLSID_Kavaro), "/usr/lib/libKavaro.so");
    EXPECT_EQ(GetString(kLibrary + "\\1.0\\409\\win32", ""), "/usr/lib/libKavaro.so");

    // Another class has since taken the page's ProgID: unregistering leaves it to that class.
    ASSERT_TRUE(registry::SetString(kClasses + "\\KAVARO.KavaroPropPage.1\\CLSID", "",
                                    "{00000000-0000-0000-0000-000000000001}"));
    ASSERT_EQ(viewer::KavaroServer().Unregister(), com::S_OK);
    EXPECT_EQ(GetString(kClasses + "\\KAVARO.KavaroPropPage.1\\CLSID", ""), "{00000000-0000-0000-0000-000000000001}");
    EXPECT_FALSE(registry::KeyExists(kClasses + "\\KAVARO.KavaroCtrl.1"));
}

TEST_F(Registration, CategoryDescriptionsAreCutTo127Characters)
{
    const std::string longText(200, 'x');
    ASSERT_EQ(com::RegisterCategory({com::CATID_SafeForScripting, com::kLocaleEnglishUs, longText}), com::S_OK);
    EXPECT_EQ(GetString(kScripting, "409"), std::string(127, 'x'));
}

TEST_F(Registration, AStoreThatCannotBeWrittenFailsEachStepWithItsOwnCode)
{
    // A regular file where the store's folder should be: nothing can be created below it.
    const auto blocker = m_registry.Folder() / "blocker";
    std::ofstream(blocker) << "not a folder";
    registry::SetStorePathForTesting((blocker / "registry.reg").string());

    const com::ServerInfo& info = viewer::KavaroServer().Info();
    EXPECT_EQ(viewer::KavaroServer().Register(kModule), com::SELFREG_E_TYPELIB);
    EXPECT_FALSE(com::RegisterClass(info.classes.front(), kModule));
    EXPECT_EQ(com::RegisterCategory(info.categories.front()), com::REGDB_E_WRITEREGDB);
    EXPECT_EQ(com::RegisterImplementedCategory(viewer::CLSID_Kavaro, com::CATID_SafeForScripting),
              com::REGDB_E_WRITEREGDB);
    EXPECT_EQ(viewer::KavaroServer().Unregister(), com::SELFREG_E_TYPELIB);
}

} // namespace
