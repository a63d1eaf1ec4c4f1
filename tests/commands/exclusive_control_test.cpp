// Exclusive control: the Control exchange, the refusals, the password retry, and both
// countdowns tick by tick, on a panel stand-in that records what it was told.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <set>

#include "camsim_process.h"
#include "core/timings.h"
#include "ui/ui_test_support.h"
#include "viewer/commands/exclusive_control.h"
#include "viewer/resources/string_table.h"

using namespace kv::viewer;

namespace {

class FakePanel : public IExclusiveControlPanel {
public:
    std::map<int, bool> visible;
    QString message;
    std::vector<QString> messages;  // every text set, in order
    QRect messageRect;
    QStringList presetItems;
    std::set<int> timers;
    int cursorLoads = 0;
    bool mpeg = false;
    std::deque<PasswordAnswer> passwordAnswers;
    std::vector<std::pair<std::string, int>> passwordAsked;

    bool Visible(int id) const { return visible.count(id) && visible.at(id); }

    void ShowItem(int controlId, bool show) override { visible[controlId] = show; }
    void SetMessageText(const QString& text) override
    {
        message = text;
        messages.push_back(text);
    }
    void SetMessageGeometry(const QRect& rect) override { messageRect = rect; }
    void ClearPresetList() override { presetItems.clear(); }
    void AddPresetItem(const QString& text) override { presetItems.push_back(text); }
    void SetTimer(int id, int intervalMs) override
    {
        EXPECT_EQ(intervalMs, 1000);
        timers.insert(id);
    }
    void KillTimer(int id) override { timers.erase(id); }
    void LoadControlCursor() override { ++cursorLoads; }
    bool IsMpeg() const override { return mpeg; }
    PasswordAnswer AskPassword(const std::string& testUrl, int language) override
    {
        passwordAsked.emplace_back(testUrl, language);
        if (passwordAnswers.empty())
            return {};
        PasswordAnswer answer = passwordAnswers.front();
        passwordAnswers.pop_front();
        return answer;
    }
};

struct SentGet {
    std::string url, user, password;
};

// A camera stand-in: answers the GETs in order from a script (nothing: no answer).
class ScriptedCamera {
public:
    std::deque<std::optional<std::string>> answers;
    std::vector<SentGet> sent;

    CameraGet Get()
    {
        return [this](std::string& body, const std::string& url, const std::string& user, const std::string& password) {
            sent.push_back({url, user, password});
            if (answers.empty() || !answers.front()) {
                if (!answers.empty())
                    answers.pop_front();
                return false;
            }
            body = *answers.front();
            answers.pop_front();
            return true;
        };
    }
};

const std::string kPtzf = "http://cam/command/ptzf.cgi";
const char kUnauthorized[] = "<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD><BODY></BODY></HTML>\r\n";

class ExclusiveControlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kvtest::App(); }

    void Click(std::optional<std::string> answer)
    {
        camera.answers.push_back(std::move(answer));
        control.OnControl(kPtzf, user, password, 1);
    }
    // A Control click answered with 401 first and then, after the password dialog, retry.
    void ClickThroughPassword(std::optional<std::string> retry)
    {
        camera.answers.push_back(std::string(kUnauthorized));
        Click(std::move(retry));
    }
    void Tick(int id) { control.OnTimer(id); }

    void ExpectIdle()
    {
        EXPECT_FALSE(control.m_bControl);
        EXPECT_TRUE(panel.Visible(IDC_CONTROL));
        EXPECT_FALSE(panel.Visible(IDC_PAN_TILT));
        EXPECT_FALSE(panel.Visible(IDC_PRESET_LIST));
        EXPECT_FALSE(panel.Visible(IDC_PRESET_LABEL));
        EXPECT_FALSE(panel.Visible(IDC_CONTROL_ICON));
        EXPECT_TRUE(panel.timers.empty());
    }

    FakePanel panel;
    ScriptedCamera camera;
    CExclusiveControl control{panel, camera.Get()};
    std::string user = "viewer";
    std::string password = "pw";
};

QString Text(int id) { return QString::fromUtf8(LoadString(id)); }

} // namespace

TEST_F(ExclusiveControlTest, OpenEndedControlWithoutPresets)
{
    panel.visible[IDC_CONTROL] = true;
    Click("Exclusive Mode: Off\r\n");
    ASSERT_EQ(camera.sent.size(), 1u);
    EXPECT_EQ(camera.sent[0].url, kPtzf + "?Inquiry");
    EXPECT_EQ(camera.sent[0].user, "viewer");
    EXPECT_EQ(camera.sent[0].password, "pw");
    EXPECT_EQ(panel.cursorLoads, 1);
    EXPECT_TRUE(control.m_bControl);
    EXPECT_TRUE(panel.Visible(IDC_CONTROL_ICON));
    EXPECT_TRUE(panel.Visible(IDC_PAN_TILT));
    EXPECT_FALSE(panel.Visible(IDC_CONTROL));
    EXPECT_FALSE(panel.Visible(IDC_PRESET_LIST));
    EXPECT_FALSE(panel.Visible(IDC_PRESET_LABEL));
    EXPECT_TRUE(panel.timers.empty());
    EXPECT_EQ(control.m_sExclusiveMode, "Off");
}

TEST_F(ExclusiveControlTest, OpenEndedControlShowsItsPresetsIncludingEmptyOnes)
{
    Click("Exclusive Mode: Off\r\nPreset Description2:\r\nPreset Description5: Door\r\n");
    EXPECT_TRUE(panel.Visible(IDC_PRESET_LIST));
    EXPECT_TRUE(panel.Visible(IDC_PRESET_LABEL));
    EXPECT_EQ(panel.presetItems, (QStringList{QString(), QStringLiteral("Door")}));
    EXPECT_EQ(control.m_presetNumbers, (std::vector<std::string>{"2", "5"}));
}

TEST_F(ExclusiveControlTest, TimedControlCountsDownAndEnds)
{
    Click("Exclusive Mode: On\r\nRemain Time: 30\r\nWaiting Time: 0\r\n"
          "Preset Description1: Gate\r\nPreset Description3: Hall\r\n");
    EXPECT_TRUE(control.m_bControl);
    EXPECT_TRUE(panel.Visible(IDC_PAN_TILT));
    EXPECT_FALSE(panel.Visible(IDC_CONTROL));
    EXPECT_TRUE(panel.Visible(IDC_PRESET_LIST));
    EXPECT_EQ(panel.presetItems, (QStringList{QStringLiteral("Gate"), QStringLiteral("Hall")}));
    EXPECT_EQ(control.m_presetNumbers, (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(panel.timers, (std::set<int>{CExclusiveControl::TIMER_REMAIN}));

    for (int shown = 30; shown >= 1; --shown) {
        panel.messages.clear();
        Tick(CExclusiveControl::TIMER_REMAIN);
        EXPECT_EQ(panel.messages, (std::vector<QString>{QString::number(shown)}));
        EXPECT_EQ(panel.messageRect, QRect(140, 237, 75, 33));
        EXPECT_TRUE(control.m_bControl);
    }
    // The 31st tick shows 0, clears it at once and ends control.
    panel.messages.clear();
    Tick(CExclusiveControl::TIMER_REMAIN);
    EXPECT_EQ(panel.messages, (std::vector<QString>{QStringLiteral("0"), QString()}));
    ExpectIdle();
    EXPECT_EQ(panel.messageRect, QRect(15, 329, 120, 36));
}

TEST_F(ExclusiveControlTest, WaitThenTimedControlTickByTick)
{
    panel.mpeg = true;
    Click("Exclusive Mode: On\r\nRemain Time: 20\r\nWaiting Time: 5\r\nPreset Description4: Lobby\r\n");
    // Waiting: no control yet, Control hidden, presets filled but still hidden.
    EXPECT_FALSE(control.m_bControl);
    EXPECT_FALSE(panel.Visible(IDC_CONTROL_ICON));
    EXPECT_FALSE(panel.Visible(IDC_CONTROL));
    EXPECT_FALSE(panel.Visible(IDC_PAN_TILT));
    EXPECT_FALSE(panel.Visible(IDC_PRESET_LIST));
    EXPECT_EQ(panel.presetItems, (QStringList{QStringLiteral("Lobby")}));
    EXPECT_EQ(panel.timers, (std::set<int>{CExclusiveControl::TIMER_WAIT}));

    for (int shown = 5; shown >= 1; --shown) {
        panel.messages.clear();
        Tick(CExclusiveControl::TIMER_WAIT);
        EXPECT_EQ(panel.messages, (std::vector<QString>{QStringLiteral("Please wait for %1 sec").arg(shown)}));
        EXPECT_EQ(panel.messageRect, QRect(15, 184, 120, 36));
        EXPECT_FALSE(control.m_bControl);
    }
    // Sixth tick: "0" set and cleared, control granted, the remaining time starts.
    panel.messages.clear();
    Tick(CExclusiveControl::TIMER_WAIT);
    EXPECT_EQ(panel.messages, (std::vector<QString>{QStringLiteral("Please wait for 0 sec"), QString()}));
    EXPECT_TRUE(control.m_bControl);
    EXPECT_TRUE(panel.Visible(IDC_CONTROL_ICON));
    EXPECT_TRUE(panel.Visible(IDC_PAN_TILT));
    EXPECT_TRUE(panel.Visible(IDC_PRESET_LIST));
    EXPECT_TRUE(panel.Visible(IDC_PRESET_LABEL));
    EXPECT_FALSE(panel.Visible(IDC_CONTROL));
    EXPECT_EQ(panel.timers, (std::set<int>{CExclusiveControl::TIMER_REMAIN}));

    for (int shown = 20; shown >= 0; --shown) {
        Tick(CExclusiveControl::TIMER_REMAIN);
        EXPECT_EQ(panel.messageRect, shown == 0 ? QRect(15, 276, 120, 36) : QRect(140, 184, 75, 33));
    }
    ExpectIdle();
    EXPECT_EQ(panel.message, QString());
}

TEST_F(ExclusiveControlTest, OnWithoutRemainingTimeGrantsButKeepsTheControlButton)
{
    for (const char* answer : {"Exclusive Mode: On\r\nRemain Time: 0\r\nWaiting Time: 0\r\n",
                               "Exclusive Mode: On\r\nRemain Time: 0\r\nWaiting Time: 9\r\n"}) {
        panel.visible.clear();
        panel.visible[IDC_CONTROL] = true;
        Click(answer);
        EXPECT_TRUE(control.m_bControl) << answer;
        EXPECT_TRUE(panel.Visible(IDC_CONTROL_ICON));
        EXPECT_TRUE(panel.Visible(IDC_CONTROL));
        EXPECT_FALSE(panel.Visible(IDC_PAN_TILT));
        EXPECT_TRUE(panel.timers.empty());
    }
}

TEST_F(ExclusiveControlTest, RefusalsShowTheirTextAndLeaveControlAsItWas)
{
    Click("Exclusive Mode: Off\r\n");
    ASSERT_TRUE(control.m_bControl);
    Click("PT: Access Deny\r\n");
    EXPECT_EQ(panel.message, Text(IDS_NO_CONTROL_RIGHT));
    EXPECT_TRUE(control.m_bControl);
    Click("PT: Max User\r\nPT: Max User\r\n");
    EXPECT_EQ(panel.message, QStringLiteral("After a while,\nplease access again."));
    EXPECT_TRUE(control.m_bControl);
    EXPECT_TRUE(panel.passwordAsked.empty());
}

TEST_F(ExclusiveControlTest, UnansweredEmptyOrUnknownAnswersChangeNothing)
{
    panel.visible[IDC_CONTROL] = true;
    for (std::optional<std::string> answer : {std::optional<std::string>(), std::optional<std::string>(""),
                                              std::optional<std::string>("Welcome\r\n")}) {
        Click(answer);
        EXPECT_FALSE(control.m_bControl);
        EXPECT_TRUE(panel.Visible(IDC_CONTROL));
        EXPECT_TRUE(panel.message.isEmpty());
        EXPECT_TRUE(panel.timers.empty());
    }
}

TEST_F(ExclusiveControlTest, EveryClickStartsFromEmptyTimesAndPresets)
{
    Click("Exclusive Mode: On\r\nRemain Time: 0\r\nWaiting Time: 0\r\nPreset Description1: A\r\n");
    control.m_nRemainTime = 7;
    control.m_nWaitingTime = 3;
    Click("Exclusive Mode: Off\r\nPreset Description2: B\r\n");
    EXPECT_EQ(control.m_nRemainTime, 0);
    EXPECT_EQ(control.m_nWaitingTime, 0);
    EXPECT_EQ(control.m_presetDescriptions, (std::vector<std::string>{"B"}));
    EXPECT_EQ(panel.presetItems, (QStringList{QStringLiteral("B")}));
}

TEST_F(ExclusiveControlTest, PasswordRetryAdoptsAcceptedCredentials)
{
    panel.passwordAnswers.push_back({true, "admin", "secret", 1});
    ClickThroughPassword("Exclusive Mode: Off\r\n");
    ASSERT_EQ(panel.passwordAsked.size(), 1u);
    EXPECT_EQ(panel.passwordAsked[0].first, kPtzf + "?ptauth");
    EXPECT_EQ(panel.passwordAsked[0].second, 1);
    ASSERT_EQ(camera.sent.size(), 2u);
    EXPECT_EQ(camera.sent[1].url, kPtzf + "?Inquiry");
    EXPECT_EQ(camera.sent[1].user, "admin");
    EXPECT_EQ(camera.sent[1].password, "secret");
    EXPECT_EQ(user, "admin");
    EXPECT_EQ(password, "secret");
    EXPECT_TRUE(control.m_bControl);
}

TEST_F(ExclusiveControlTest, CancelledPasswordStopsTheExchange)
{
    panel.passwordAnswers.push_back({false, "x", "y", 0});
    Click(std::string(kUnauthorized));
    EXPECT_EQ(camera.sent.size(), 1u);
    EXPECT_EQ(user, "viewer");
    EXPECT_FALSE(control.m_bControl);
    EXPECT_TRUE(panel.message.isEmpty());
}

TEST_F(ExclusiveControlTest, SecondRefusalShowsProtectedAndKeepsRefusedCredentialsOut)
{
    // Third wrong entry: the dialog ends with OK, the Inquiry is tried with what was typed,
    // refused again, and the panel keeps the credentials it had.
    panel.passwordAnswers.push_back({true, "admin", "wrong3", 3});
    ClickThroughPassword(std::string(kUnauthorized));
    ASSERT_EQ(camera.sent.size(), 2u);
    EXPECT_EQ(camera.sent[1].password, "wrong3");
    EXPECT_EQ(panel.message, Text(IDS_PROTECTED));
    EXPECT_EQ(user, "viewer");
    EXPECT_EQ(password, "pw");
    EXPECT_FALSE(control.m_bControl);

    // Credentials the dialog accepted are the panel's even when the Inquiry refuses them.
    panel.passwordAnswers.push_back({true, "admin", "secret", 0});
    ClickThroughPassword(std::string(kUnauthorized));
    EXPECT_EQ(panel.message, Text(IDS_PROTECTED));
    EXPECT_EQ(password, "secret");

    // Refused by the dialog three times but taken by the Inquiry: then they are kept.
    panel.passwordAnswers.push_back({true, "admin", "other", 3});
    ClickThroughPassword("Exclusive Mode: Off\r\n");
    EXPECT_EQ(password, "other");
    EXPECT_TRUE(control.m_bControl);
}

TEST_F(ExclusiveControlTest, RetryWithoutAnswerStops)
{
    panel.passwordAnswers.push_back({true, "admin", "secret", 0});
    ClickThroughPassword(std::nullopt);
    EXPECT_EQ(camera.sent.size(), 2u);
    EXPECT_FALSE(control.m_bControl);
    EXPECT_TRUE(panel.message.isEmpty());
}

// The exchange over HTTP against the camera emulator: its log shows what was sent.
TEST(ExclusiveControlCamera, InquiryWithPasswordRetryAgainstCamsim)
{
    kvtest::App();
    kv::ModuleTimings().getSettleMs = 10;
    camsim::CamsimProcess cam({"--user", "admin:secret:control", "--exclusive", "on", "--remain", "30",
                               "--waiting", "0", "--preset", "1:Gate", "--preset", "3:Hall"});
    FakePanel panel;
    panel.passwordAnswers.push_back({true, "admin", "secret", 0});
    CExclusiveControl control(panel);
    std::string user, password;
    const std::string ptzf = cam.Url("command/ptzf.cgi");
    control.OnControl(ptzf, user, password, 1);

    const auto requests = cam.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests) {
        EXPECT_EQ(r.method, "GET");
        EXPECT_EQ(r.target, "/command/ptzf.cgi?Inquiry");
    }
    EXPECT_EQ(requests[0].user, "");
    EXPECT_EQ(requests[1].user, "admin");
    EXPECT_EQ(requests[1].password, "secret");
    EXPECT_EQ(panel.passwordAsked.at(0).first, ptzf + "?ptauth");
    EXPECT_TRUE(control.m_bControl);
    EXPECT_EQ(control.m_nRemainTime, 30);
    EXPECT_EQ(panel.presetItems, (QStringList{QStringLiteral("Gate"), QStringLiteral("Hall")}));
    EXPECT_EQ(panel.timers, (std::set<int>{CExclusiveControl::TIMER_REMAIN}));
    kv::ModuleTimings().ResetToDefaults();
}
