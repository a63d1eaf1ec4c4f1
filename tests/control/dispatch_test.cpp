// Calling automation methods by dispatch id: argument conversion and the caller's errors.
#include "control_test_support.h"

#include "platform/com/dispatch_table.h"

#include <gtest/gtest.h>

#include <QObject>

#include <array>

namespace {

using namespace kv::com;

class Scripted : public QObject {
    Q_OBJECT
public:
    QStringList calls;

    Q_INVOKABLE bool SetSource(const QString& url, const QString& kind, short mode)
    {
        calls << QStringLiteral("SetSource %1 %2 %3").arg(url, kind).arg(mode);
        return mode == 1;
    }
    Q_INVOKABLE void StopPlay() { calls << QStringLiteral("StopPlay"); }
    Q_INVOKABLE void Zoom(int percent) { calls << QStringLiteral("Zoom %1").arg(percent); }
};

constexpr std::array<DispatchEntry, 4> kTable{{{1, "StopPlay"}, {2, "SetSource"}, {3, "Zoom"}, {9, "Missing"}}};

TEST(Dispatch, CallsByIdWithTheArgumentsConvertedAsAnAutomationCallerWould)
{
    const CDispatchTable table(kTable);
    Scripted object;
    QVariant result;
    EXPECT_EQ(table.Invoke(object, 2, {QStringLiteral("http://cam"), QStringLiteral("jpeg"), 1}, &result), S_OK);
    EXPECT_EQ(result, QVariant(true));
    EXPECT_EQ(table.Invoke(object, 2, {QStringLiteral("http://cam"), 42, QStringLiteral("2")}, &result), S_OK);
    EXPECT_EQ(result, QVariant(false));
    EXPECT_EQ(table.Invoke(object, 3, {QStringLiteral("150")}, &result), S_OK);
    EXPECT_FALSE(result.isValid());  // no result for a method without one
    EXPECT_EQ(table.Invoke(object, 1, {}), S_OK);
    EXPECT_EQ(object.calls,
              (QStringList{"SetSource http://cam jpeg 1", "SetSource http://cam 42 2", "Zoom 150", "StopPlay"}));
}

TEST(Dispatch, ReportsWhatAnAutomationCallerExpectsAndCallsNothing)
{
    const CDispatchTable table(kTable);
    Scripted object;
    QVariant result = 5;
    EXPECT_EQ(table.Invoke(object, 7, {}, &result), DISP_E_MEMBERNOTFOUND);  // not in the table
    EXPECT_FALSE(result.isValid());
    EXPECT_EQ(table.Invoke(object, 9, {}), DISP_E_MEMBERNOTFOUND);           // in the table, not on the object
    EXPECT_EQ(table.Invoke(object, 1, {1}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(table.Invoke(object, 2, {QStringLiteral("u"), QStringLiteral("k")}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(table.Invoke(object, 3, {QStringLiteral("large")}), DISP_E_TYPEMISMATCH);
    EXPECT_TRUE(object.calls.isEmpty());
}

TEST(Dispatch, NamesMapToIdsWithoutRegardToCase)
{
    const CDispatchTable table(kTable);
    EXPECT_EQ(table.IdOfName("setsource"), 2);
    EXPECT_EQ(table.IdOfName("STOPPLAY"), 1);
    EXPECT_FALSE(table.IdOfName("Start"));
    EXPECT_STREQ(table.NameOfId(3), "Zoom");
    EXPECT_EQ(table.NameOfId(4), nullptr);
}

} // namespace

#include "dispatch_test.moc"
