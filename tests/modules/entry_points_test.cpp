// The modules through their exported entry points, as a host uses them: registration,
// creation by ProgID, unloading, and both controls in one process.
#include "camsim_process.h"
#include "platform/com/inproc_server.h"
#include "platform/com/registration.h"
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <QTest>
#include <QVariantMap>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace kv::com;

QApplication* App()
{
    static QApplication* app = [] {
        static int argc = 1;
        static char name[] = "test_modules";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

bool IsLoaded(const char* path)
{
    void* handle = dlopen(path, RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

// Both the modules and this test read the registry from the configuration folder.
class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_config = std::filesystem::temp_directory_path() / ("kv-entry-points-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_config);
        setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
        kv::registry::SetStorePathForTesting({});
        App();
    }
    void TearDown() override
    {
        unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(m_config);
    }

    std::unique_ptr<CInprocServer> Load(const char* path)
    {
        std::string error;
        auto server = CInprocServer::Load(path, error);
        EXPECT_TRUE(server) << error;
        return server;
    }

    std::filesystem::path m_config;
};

TEST_F(EntryPoints, EachModuleRegistersItselfAndIsCreatedByItsProgId)
{
    for (auto [path, progId, className] : {std::tuple{KV_KAVARO_MODULE, "KAVARO.KavaroCtrl.1", "kv::viewer::CKavaroCtrl"},
                                           std::tuple{KV_MENSILO_MODULE, "MENSILO.MensiloCtrl.1", "kv::motion::CMensiloCtrl"}}) {
        {
            auto server = Load(path);
            ASSERT_TRUE(server);
            EXPECT_EQ(server->RegisterServer(), S_OK);
        }
        EXPECT_TRUE(IsRegisteredTo(progId, path)) << progId;

        std::string error;
        auto control = CreateControlByProgId(progId, nullptr, error);
        ASSERT_TRUE(control) << error;
        EXPECT_STREQ(control->Widget()->metaObject()->className(), className);
        EXPECT_EQ(control->Server().CanUnloadNow(), S_FALSE);  // an instance lives
        control.reset();
        EXPECT_FALSE(IsLoaded(path)) << path << " stayed loaded after its last control went";

        auto server = Load(path);
        ASSERT_TRUE(server);
        EXPECT_EQ(server->CanUnloadNow(), S_OK);
        EXPECT_EQ(server->UnregisterServer(), S_OK);
        EXPECT_EQ(server->UnregisterServer(), SELFREG_E_TYPELIB);
        EXPECT_FALSE(ClsidFromProgId(progId));
    }
}

TEST_F(EntryPoints, AModuleHandsOutFactoriesForItsOwnClassesOnly)
{
    auto kavaro = Load(KV_KAVARO_MODULE);
    auto mensilo = Load(KV_MENSILO_MODULE);
    ASSERT_TRUE(kavaro && mensilo);
    ASSERT_EQ(kavaro->RegisterServer(), S_OK);
    ASSERT_EQ(mensilo->RegisterServer(), S_OK);
    const auto viewer = ClsidFromProgId("KAVARO.KavaroCtrl.1");
    const auto motion = ClsidFromProgId("MENSILO.MensiloCtrl.1");
    ASSERT_TRUE(viewer && motion);
    IClassFactory* factory = nullptr;
    EXPECT_EQ(kavaro->GetClassObject(*motion, &factory), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(mensilo->GetClassObject(*viewer, &factory), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(kavaro->GetClassObject(*viewer, &factory), S_OK);
    EXPECT_NE(factory, nullptr);

    // The property pages come from the same factories' modules.
    const auto page = ClsidFromProgId("KAVARO.KavaroPropPage.1");
    ASSERT_TRUE(page);
    ASSERT_EQ(kavaro->GetClassObject(*page, &factory), S_OK);
    QWidget* pageWidget = factory->CreateInstance(nullptr);
    ASSERT_NE(pageWidget, nullptr);
    EXPECT_EQ(pageWidget->windowTitle(), QStringLiteral("General"));
    EXPECT_EQ(kavaro->CanUnloadNow(), S_FALSE);
    delete pageWidget;
    EXPECT_EQ(kavaro->CanUnloadNow(), S_OK);
}

TEST_F(EntryPoints, BothControlsWorkSideBySideInOneProcess)
{
    camsim::CamsimProcess camera({"--audio", "on"});
    std::string error;
    for (const char* path : {KV_KAVARO_MODULE, KV_MENSILO_MODULE}) {
        auto server = Load(path);
        ASSERT_TRUE(server);
        ASSERT_EQ(server->RegisterServer(), S_OK);
    }
    QWidget page;  // the camera page, holding both controls
    page.resize(1700, 700);
    auto viewer = CreateControlByProgId("KAVARO.KavaroCtrl.1", &page, error);
    ASSERT_TRUE(viewer) << error;
    auto motion = CreateControlByProgId("MENSILO.MensiloCtrl.1", &page, error);
    ASSERT_TRUE(motion) << error;
    viewer->Widget()->setGeometry(0, 0, 870, 650);
    motion->Widget()->setGeometry(880, 0, 810, 530);
    page.show();

    bool accepted = false;
    ASSERT_TRUE(QMetaObject::invokeMethod(
        viewer->Widget(), "SetSource", Q_RETURN_ARG(bool, accepted),
        Q_ARG(QString, QString::fromStdString(camera.Url("img/mjpeg.cgi"))), Q_ARG(QString, QStringLiteral("jpeg")),
        Q_ARG(QString, QStringLiteral("off")), Q_ARG(QString, QStringLiteral("15")), Q_ARG(int, 1), Q_ARG(int, 1)));
    EXPECT_TRUE(accepted);
    QMetaObject::invokeMethod(viewer->Widget(), "StartPlay", Q_ARG(int, 0), Q_ARG(QString, QString()));
    std::string base = camera.BaseUrl();
    base.pop_back();  // the motion control appends "/img/mjpeg.cgi" and the like itself
    accepted = false;
    ASSERT_TRUE(QMetaObject::invokeMethod(motion->Widget(), "SetSource", Q_RETURN_ARG(bool, accepted),
                                          Q_ARG(QString, QString::fromStdString(base)),
                                          Q_ARG(QString, QStringLiteral("jpeg")), Q_ARG(short, 1)));
    EXPECT_TRUE(accepted);

    // Each runs its own stream on its own module's players: the viewer keeps drawing while
    // the setup reads its settings and shows its own live picture.
    auto pictures = [&] {
        QVariantMap stats;
        QMetaObject::invokeMethod(viewer->Widget(), "Statistics", Q_RETURN_ARG(QVariantMap, stats));
        return stats.value(QStringLiteral("picturesPresented")).toInt();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return pictures() >= 3; }, 15000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return camera.RequestsTo("/img/mjpeg.cgi").size() >= 2; }, 15000));
    ASSERT_FALSE(camera.RequestsTo("/ocxparser.cgi").empty());
    EXPECT_NE(camera.RequestsTo("/ocxparser.cgi").front().body.find("MOT_READ_AREA"), std::string::npos);
    const int before = pictures();
    EXPECT_TRUE(QTest::qWaitFor([&] { return pictures() >= before + 3; }, 15000));

    QMetaObject::invokeMethod(motion->Widget(), "StopPlay");
    QMetaObject::invokeMethod(viewer->Widget(), "StopPlay");
    motion.reset();
    viewer.reset();
    EXPECT_FALSE(IsLoaded(KV_KAVARO_MODULE));
    EXPECT_FALSE(IsLoaded(KV_MENSILO_MODULE));
}

} // namespace
