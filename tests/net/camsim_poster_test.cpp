// The one-shot request against the camera emulator: what the camera receives, and what comes
// back to the caller.
#include "camsim_process.h"
#include "core/timings.h"
#include "stream/http_poster.h"
#include "ximage.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kv {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

class PosterAgainstCamsim : public ::testing::Test {
protected:
    void SetUp() override
    {
        ModuleTimings().getSettleMs = 30;
        ModuleTimings().getWatchdogMs = 500;
        ModuleTimings().bodyStallMs = 500;
        cam = std::make_unique<camsim::CamsimProcess>(
            std::vector<std::string>{"--user", "admin:secret:control", "--user", "viewer:", "--size", "640x480", "--quality", "100"});
    }
    void TearDown() override
    {
        cam.reset();
        ModuleTimings().ResetToDefaults();
    }
    std::unique_ptr<camsim::CamsimProcess> cam;
};

TEST_F(PosterAgainstCamsim, CredentialsAgentAndAnswerAsTheCameraSeesThem)
{
    std::string text;
    ASSERT_TRUE(CHttpPoster().Request(text, cam->Url("command/ptzf.cgi?ptauth").c_str(), false, "admin", "secret"));
    EXPECT_EQ(text.rfind("PT: OK", 0), 0u) << text;
    // An empty password goes as the fixed one-character placeholder, with the user name.
    ASSERT_TRUE(CHttpPoster().Request(text, cam->Url("command/ptzf.cgi?ptauth").c_str(), false, "viewer", ""));
    const auto seen = cam->Requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].user, "admin");
    EXPECT_EQ(seen[0].password, "secret");
    EXPECT_EQ(seen[1].user, "viewer");
    EXPECT_EQ(seen[1].password, CHttpPoster::kPlaceholderPassword);
    EXPECT_EQ(std::string(CHttpPoster::kPlaceholderPassword).size(), 1u);
    EXPECT_TRUE(std::isprint(static_cast<unsigned char>(CHttpPoster::kPlaceholderPassword[0])));
    for (const auto& request : seen) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.Header("User-Agent"), "Pelorix HTTP Poster 1.0");
        EXPECT_EQ(request.Header("Accept"), "*/*");
        EXPECT_FALSE(request.HasHeader("Cookie"));
    }
}

TEST_F(PosterAgainstCamsim, RefusedCredentialsComeBackAsThePageText)
{
    std::string text;
    CHttpPoster poster;
    ASSERT_TRUE(poster.Request(text, cam->Url("command/ptzf.cgi?Inquiry").c_str(), false, "admin", "wrong"));
    EXPECT_EQ(text.rfind("<HTML><HEAD><TITLE>401 Unautho", 0), 0u) << text;
}

TEST_F(PosterAgainstCamsim, PostBodiesGoByteForByteWithTheFormContentType)
{
    const char body[] = "MOT_READ_AREA\0never sent";
    std::string text;
    ASSERT_TRUE(CHttpPoster(kMensiloProfile).Request(text, cam->Url("ocxparser.cgi").c_str(), true, "admin", "secret", body, -1));
    ASSERT_TRUE(CHttpPoster(kMensiloProfile).Request(text, cam->Url("ocxparser.cgi").c_str(), true, "admin", "secret", body, 8));
    const auto seen = cam->RequestsTo("/ocxparser.cgi");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].body, "MOT_READ_AREA");
    EXPECT_EQ(seen[1].body, "MOT_READ");
    for (const auto& request : seen) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(request.Header("Content-Length"), std::to_string(request.body.size()));
        EXPECT_EQ(request.Header("User-Agent"), "Pelorix HTTP Poster 1.0");
        EXPECT_EQ(std::count_if(request.headers.begin(), request.headers.end(),
                                [](const auto& h) { return camsim::EqualsIgnoreCase(h.first, "Content-Type"); }),
                  1);
    }
}

TEST_F(PosterAgainstCamsim, NeverAnsweredGetFailsAfterTheWatchdog)
{
    ASSERT_TRUE(cam->SetFault("never_answer"));
    std::string text;
    CHttpPoster poster;
    const auto start = steady_clock::now();
    EXPECT_FALSE(poster.Request(text, cam->Url("util/util.cgi").c_str(), false, "admin", "secret"));
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, 530ms);
    EXPECT_LT(took, 2500ms);
    cam->Stop();
    CHttpPoster refused;
    EXPECT_FALSE(refused.Request(text, cam->Url("util/util.cgi").c_str(), false, "admin", "secret"));
}

TEST_F(PosterAgainstCamsim, SnapshotArrivesWholeAndDecodesOnceAsAPicture)
{
    // A 640x480 picture at full quality is far larger than one 8191-byte chunk.
    std::string text;
    CHttpPoster viewer(kKavaroProfile);
    ASSERT_TRUE(viewer.Request(text, cam->Url("snap.jpg").c_str(), false, "admin", "secret"));
    EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xFF);  // the text ends at the first NUL
    CxImage picture;
    CHttpPoster motion(kMensiloProfile);
    ASSERT_TRUE(motion.Request(text, cam->Url("snap.jpg").c_str(), true, "admin", "secret", "", -1, &picture));
    EXPECT_TRUE(picture.IsValid());
    EXPECT_EQ(picture.GetWidth(), 640u);
    EXPECT_EQ(picture.GetHeight(), 480u);
    // A reply that is no picture fails the request.
    CxImage untouched;
    CHttpPoster notAPicture(kMensiloProfile);
    EXPECT_FALSE(notAPicture.Request(text, cam->Url("util/util.cgi").c_str(), false, "admin", "secret", nullptr, -1, &untouched));
    EXPECT_EQ(notAPicture.LastError(), CHttpPoster::kErrorPicture);
    // The viewer's profile has no picture flag: the argument is ignored.
    CxImage ignored;
    EXPECT_TRUE(CHttpPoster(kKavaroProfile).Request(text, cam->Url("snap.jpg").c_str(), true, "admin", "secret", "", -1, &ignored));
    EXPECT_FALSE(ignored.IsValid());
}

} // namespace
} // namespace kv
