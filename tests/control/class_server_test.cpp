// The module side of the entry points: identifiers, class objects, instance counting, and
// where a module's code came from.
#include "control_test_support.h"

#include "platform/com/class_factory.h"
#include "platform/com/control_server.h"
#include "platform/com/guid.h"
#include "platform/com/module_path.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <filesystem>
#include <stdexcept>

namespace {

using namespace kv::com;

constexpr Guid kControlId = MakeGuid("11111111-2222-3333-4455-66778899AABB");
constexpr Guid kPageId = MakeGuid("{11111111-2222-3333-4455-66778899AABC}");

TEST(Guids, FormatAndParseTheRegistrySpelling)
{
    EXPECT_EQ(ToString(kControlId), "{11111111-2222-3333-4455-66778899AABB}");
    EXPECT_EQ(ParseGuid("{11111111-2222-3333-4455-66778899aabb}"), kControlId);
    EXPECT_EQ(ParseGuid("11111111-2222-3333-4455-66778899AABB"), kControlId);
    for (const char* bad : {"", "{11111111-2222-3333-4455-66778899AABB", "11111111-2222-3333-4455-66778899AAB",
                            "11111111-2222-3333-4455-66778899AABG", "1111111-12222-3333-4455-66778899AABB",
                            "(11111111-2222-3333-4455-66778899AABB)"})
        EXPECT_FALSE(ParseGuid(bad)) << bad;
}

TEST(ModulePath, NamesTheFileTheCodeWasLoadedFrom)
{
    const auto self = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(ModulePathOf(reinterpret_cast<const void*>(&ModulePathOf)), self);
    EXPECT_EQ(ModulePathOf(nullptr), "");
}

// An object of the test server: counts as a live instance while it exists.
class CountedWidget : public QWidget {
public:
    CountedWidget(CModuleUsage& usage, QWidget* parent) : QWidget(parent), m_token(usage) {}

private:
    CInstanceToken m_token;
};

class ClassObjects : public ::testing::Test {
protected:
    ClassObjects()
        : m_server(ControlIdentity{.libid = MakeGuid("11111111-2222-3333-4455-000000000001"),
                                   .dispatchIid = MakeGuid("11111111-2222-3333-4455-000000000002"),
                                   .dispatchName = "_DTest",
                                   .eventIid = MakeGuid("11111111-2222-3333-4455-000000000003"),
                                   .eventName = "_DTestEvents",
                                   .clsid = kControlId,
                                   .progId = "TEST.TestCtrl.1",
                                   .typeName = "Test Control",
                                   .pageClsid = kPageId,
                                   .pageProgId = "TEST.TestPropPage.1",
                                   .pageTypeName = "Test Property Page",
                                   .typeLibHelp = "Test module",
                                   .helpFile = "Test.hlp"},
                   [this](QWidget* parent) -> QWidget* { return new CountedWidget(m_server.Usage(), parent); },
                   [](QWidget*) -> QWidget* { throw std::runtime_error("no page today"); })
    {
        kvtest::App();
    }

    IClassFactory* Factory(const Guid& clsid)
    {
        void* object = nullptr;
        EXPECT_EQ(m_server.GetClassObject(&clsid, &IID_IClassFactory, &object), S_OK);
        return static_cast<IClassFactory*>(object);
    }

    CControlServer m_server;
};

TEST_F(ClassObjects, HandOutAFactoryOnlyForTheirClassesAndInterface)
{
    void* object = reinterpret_cast<void*>(0x1);
    const Guid other = MakeGuid("99999999-2222-3333-4455-66778899AABB");
    EXPECT_EQ(m_server.GetClassObject(&other, &IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(m_server.GetClassObject(&kControlId, &other, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(m_server.GetClassObject(&kControlId, &IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(m_server.GetClassObject(nullptr, &IID_IClassFactory, &object), E_POINTER);
    EXPECT_NE(Factory(kControlId), nullptr);
    EXPECT_NE(Factory(kPageId), Factory(kControlId));
}

TEST_F(ClassObjects, TheModuleMayUnloadOnlyWithoutLiveInstancesOrLocks)
{
    IClassFactory* factory = Factory(kControlId);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);

    QWidget parent;
    QWidget* first = factory->CreateInstance(&parent);
    QWidget* second = factory->CreateInstance(nullptr);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->parentWidget(), &parent);
    EXPECT_EQ(m_server.Usage().Instances(), 2);
    EXPECT_EQ(m_server.CanUnloadNow(), S_FALSE);
    delete second;
    delete first;
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);

    EXPECT_EQ(factory->LockServer(true), S_OK);
    EXPECT_EQ(m_server.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(false), S_OK);
    EXPECT_EQ(factory->LockServer(false), E_FAIL);  // more unlocks than locks change nothing
    EXPECT_EQ(m_server.Usage().Locks(), 0);
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);
}

TEST_F(ClassObjects, AFailingCreationGivesNothingAndThrowsNothingAtTheHost)
{
    IClassFactory* page = Factory(kPageId);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->CreateInstance(nullptr), nullptr);
    EXPECT_EQ(m_server.CanUnloadNow(), S_OK);
}

} // namespace
