#include "loopback_server.h"

#include "core/timings.h"
#include "platform/net/connection_limit.h"
#include "platform/net/http_transfer.h"
#include "platform/registry/registry.h"
#include "stream/http_poster.h"
#include "stream/stream_opener.h"
#include "ximage.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace kv::test {

int RefusingPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);  // nobody listens there now
    return ntohs(address.sin_port);
}

namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

std::string Pattern(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>('a' + (i * 7 + i / 26) % 26);
    return text;
}

bool WaitUntil(const std::function<bool()>& condition)
{
    for (int i = 0; i < 1000 && !condition(); ++i)
        std::this_thread::sleep_for(2ms);
    return condition();
}

class PosterLoopback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ModuleTimings().getSettleMs = 20;
        ModuleTimings().getWatchdogMs = 400;
        ModuleTimings().bodyStallMs = 400;
        auto& http = server.Http();
        http.Get("/text", [](const httplib::Request&, httplib::Response& r) { r.set_content("hello", "text/plain"); });
        http.Get("/empty", [](const httplib::Request&, httplib::Response& r) { r.set_content("", "image/jpeg"); });
        http.Get("/nul", [](const httplib::Request&, httplib::Response& r) { r.set_content(std::string("ab\0cd", 5), "text/plain"); });
        http.Get("/big", [](const httplib::Request&, httplib::Response& r) { r.set_content(Pattern(700000), "text/plain"); });
        http.Get("/denied", [](const httplib::Request&, httplib::Response& r) {
            r.status = 401;
            r.set_content("<HTML><HEAD><TITLE>401 Unauthorized</TITLE></HEAD></HTML>", "text/html");
        });
        http.Post("/echo", [](const httplib::Request& q, httplib::Response& r) { r.set_content(q.body, "text/plain"); });
        http.Get("/silent", [this](const httplib::Request&, httplib::Response&) {
            while (!server.release)
                std::this_thread::sleep_for(5ms);
        });
        http.Post("/silent", [this](const httplib::Request&, httplib::Response&) {
            while (!server.release)
                std::this_thread::sleep_for(5ms);
        });
        http.Get("/halfway", [this](const httplib::Request&, httplib::Response& r) {
            r.set_chunked_content_provider("text/plain", [this](std::size_t offset, httplib::DataSink& sink) {
                if (offset == 0)
                    return sink.write("first part", 10);
                while (!server.release)
                    std::this_thread::sleep_for(5ms);
                return false;
            });
        });
        http.Get("/moved", [this](const httplib::Request& q, httplib::Response& r) {
            r.set_redirect(server.Url("/text", q.get_param_value("host")));
        });
        server.Start();
    }
    void TearDown() override
    {
        server.Stop();
        ModuleTimings().ResetToDefaults();
    }

    LoopbackServer server;
};

TEST_F(PosterLoopback, RequestFailsCleanlyWithoutAUsableUrl)
{
    std::string text = "unchanged";
    CHttpPoster noUrl;
    EXPECT_FALSE(noUrl.Request(text, nullptr, false, "", ""));
    EXPECT_EQ(noUrl.LastError(), -1);
    for (const char* bad : {"", "not a url", "ftp://127.0.0.1/x", "http://", "file:///etc/passwd", "//127.0.0.1/x",
                            "http://127.0.0.1/a\r\nX-Injected: 1", "http://127.0.0.1:99999/"}) {
        CHttpPoster poster;
        EXPECT_FALSE(poster.Request(text, bad, false, "u", "p")) << bad;
        EXPECT_NE(poster.LastError(), 0) << bad;
    }
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(server.Seen().empty());
}

TEST_F(PosterLoopback, OneObjectServesOneRequest)
{
    CHttpPoster poster;
    std::string text;
    ASSERT_TRUE(poster.Request(text, server.Url("/text").c_str(), false, "", ""));
    EXPECT_EQ(text, "hello");
    EXPECT_FALSE(poster.Request(text, server.Url("/text").c_str(), false, "", ""));
    EXPECT_EQ(poster.LastError(), CHttpPoster::kErrorUsedTwice);
    EXPECT_EQ(server.Seen(1).size(), 1u);
}

TEST_F(PosterLoopback, BodyIsTextUpToTheFirstNulAndBigBodiesArriveWhole)
{
    std::string text;
    ASSERT_TRUE(CHttpPoster().Request(text, server.Url("/nul").c_str(), false, "", ""));
    EXPECT_EQ(text, "ab");
    for (const ModuleProfile* profile : {&kKavaroProfile, &kMensiloProfile}) {
        CHttpPoster poster(*profile);
        ASSERT_TRUE(poster.Request(text, server.Url("/big").c_str(), false, "", ""));
        EXPECT_TRUE(text == Pattern(700000)) << profile->name;
    }
}

TEST_F(PosterLoopback, ErrorPagesAreTextNotFailures)
{
    std::string text;
    CHttpPoster poster;
    ASSERT_TRUE(poster.Request(text, server.Url("/denied").c_str(), false, "user", "wrong"));
    EXPECT_EQ(text.rfind("<HTML><HEAD><TITLE>401 Unautho", 0), 0u);
}

TEST_F(PosterLoopback, NoAnswerAtAllIsAFailure)
{
    std::string text;
    CHttpPoster get;
    EXPECT_FALSE(get.Request(text, ("http://127.0.0.1:" + std::to_string(RefusingPort()) + "/x").c_str(), false, "", ""));
    EXPECT_NE(get.LastError(), 0);
    CHttpPoster post;
    EXPECT_FALSE(post.Request(text, ("http://127.0.0.1:" + std::to_string(RefusingPort()) + "/x").c_str(), true, "", "", "a=1"));
    EXPECT_NE(post.LastError(), 0);
    CHttpPoster unknownHost;
    EXPECT_FALSE(unknownHost.Request(text, "http://no-such-host.invalid/x", false, "", ""));
}

TEST_F(PosterLoopback, UnansweredGetEndsAfterSettleAndWatchdog)
{
    std::string text;
    CHttpPoster poster;
    const auto start = steady_clock::now();
    EXPECT_FALSE(poster.Request(text, server.Url("/silent").c_str(), false, "", ""));
    const auto took = steady_clock::now() - start;
    EXPECT_GE(took, 420ms);
    EXPECT_LT(took, 2000ms);
}

TEST_F(PosterLoopback, StalledPostAndStalledBodyEndAfterTheStallLimit)
{
    std::string text;
    auto start = steady_clock::now();
    EXPECT_FALSE(CHttpPoster().Request(text, server.Url("/silent").c_str(), true, "", "", "x=1"));
    EXPECT_GE(steady_clock::now() - start, 390ms);  // the limit, give or take the clock's rounding
    EXPECT_LT(steady_clock::now() - start, 2000ms);
    start = steady_clock::now();
    EXPECT_FALSE(CHttpPoster().Request(text, server.Url("/halfway").c_str(), false, "", ""));
    EXPECT_LT(steady_clock::now() - start, 2500ms);
}

TEST_F(PosterLoopback, PostSendsExactlyTheGivenBytesWithOneContentType)
{
    const char body[] = "a=1&b=2\0hidden";
    std::string text;
    ASSERT_TRUE(CHttpPoster().Request(text, server.Url("/echo").c_str(), true, "", "", body, -1));
    EXPECT_EQ(text, "a=1&b=2");
    ASSERT_TRUE(CHttpPoster().Request(text, server.Url("/echo").c_str(), true, "", "", body, 3));
    EXPECT_EQ(text, "a=1");
    const auto seen = server.Seen(2);
    ASSERT_EQ(seen.size(), 2u);
    // the server may log the two in either order
    std::vector<std::string> bodies{seen[0].body, seen[1].body};
    std::sort(bodies.begin(), bodies.end());
    EXPECT_EQ(bodies, (std::vector<std::string>{"a=1", "a=1&b=2"}));
    for (const auto& request : seen) {
        EXPECT_EQ(request.HeaderCount("Content-Type"), 1u);
        EXPECT_EQ(request.Header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(request.Header("User-Agent"), "Pelorix HTTP Poster 1.0");
        EXPECT_EQ(request.HeaderCount("Expect"), 0u);
    }
}

TEST_F(PosterLoopback, CredentialsFollowRedirectsOnlyToTheSameHost)
{
    std::string text;
    ASSERT_TRUE(CHttpPoster().Request(text, server.Url("/moved?host=127.0.0.1").c_str(), false, "admin", "secret"));
    EXPECT_EQ(text, "hello");
    ASSERT_TRUE(CHttpPoster().Request(text, server.Url("/moved?host=localhost").c_str(), false, "admin", "secret"));
    EXPECT_EQ(text, "hello");
    const auto seen = server.Seen(4);
    ASSERT_EQ(seen.size(), 4u);
    // Only the request that arrived under the other host name lacks the credentials.
    int withCredentials = 0;
    for (const auto& request : seen) {
        const bool other = request.Header("Host").rfind("localhost", 0) == 0;
        EXPECT_EQ(request.Header("Authorization").empty(), other) << request.target;
        withCredentials += other ? 0 : 1;
    }
    EXPECT_EQ(withCredentials, 3);
}

TEST_F(PosterLoopback, AnsweredGetStillWaitsItsSettleTime)
{
    ModuleTimings().getSettleMs = 250;
    std::string text;
    const auto start = steady_clock::now();
    ASSERT_TRUE(CHttpPoster().Request(text, server.Url("/text").c_str(), false, "", ""));
    EXPECT_GE(steady_clock::now() - start, 250ms);  // a sleep, never shorter
    EXPECT_EQ(text, "hello");
}

TEST_F(PosterLoopback, PictureRepliesKeepTheCallersTextUnlessTheyDecode)
{
    // An empty reply has nothing to decode: the request succeeds and the picture is as it was.
    std::string text = "before";
    CxImage picture;
    CHttpPoster empty(kMensiloProfile);
    EXPECT_TRUE(empty.Request(text, server.Url("/empty").c_str(), false, "", "", nullptr, -1, &picture));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(picture.IsValid());

    // A reply that does not decode fails the request and leaves the caller's text alone.
    text = "before";
    CHttpPoster notAPicture(kMensiloProfile);
    EXPECT_FALSE(notAPicture.Request(text, server.Url("/text").c_str(), false, "", "", nullptr, -1, &picture));
    EXPECT_EQ(notAPicture.LastError(), CHttpPoster::kErrorPicture);
    EXPECT_EQ(text, "before");
}

// The per-server limit from the registry holds across single requests and streams: each
// takes a slot for as long as it talks to the camera and gives it back afterwards.
class ConnectionLimit : public PosterLoopback {
protected:
    void SetUp() override
    {
        m_store = std::filesystem::temp_directory_path() / ("kv-limit-" + std::to_string(::getpid()) + ".reg");
        std::filesystem::remove(m_store);
        registry::SetStorePathForTesting(m_store.string());
        ASSERT_TRUE(registry::SetDword(registry::kInternetSettingsKey, registry::kMaxConnectionsPerServer, 1));
        PosterLoopback::SetUp();
        ModuleTimings().openSettleMs = 10;
        ModuleTimings().openLimitMs = 400;
        ModuleTimings().readLimitMs = 400;
        key = "http://127.0.0.1:" + std::to_string(server.Port());
    }
    void TearDown() override
    {
        PosterLoopback::TearDown();
        registry::SetStorePathForTesting({});
        std::filesystem::remove(m_store);
    }
    std::filesystem::path m_store;
    std::string key;
};

TEST_F(ConnectionLimit, AStreamHoldsTheOnlySlotUntilItCloses)
{
    CStreamConnection stream(kKavaroProfile, [] { return false; });
    ASSERT_TRUE(stream.Open(server.Url("/halfway"), "", "", 2048));
    EXPECT_EQ(net::ConnectionsInUse(key), 1);
    std::string text;
    CHttpPoster waiting;
    EXPECT_FALSE(waiting.Request(text, server.Url("/text").c_str(), false, "", ""));  // no slot in time
    EXPECT_EQ(net::ConnectionsInUse(key), 1);
    stream.Close();
    EXPECT_EQ(net::ConnectionsInUse(key), 0);
    ASSERT_TRUE(CHttpPoster().Request(text, server.Url("/text").c_str(), false, "", ""));
    EXPECT_EQ(text, "hello");
    EXPECT_EQ(net::ConnectionsInUse(key), 0);
}

TEST_F(ConnectionLimit, ASingleRequestHoldsTheSlotWhileItWaits)
{
    std::atomic<bool> answered{true};
    std::thread request([&] {
        std::string text;
        answered = CHttpPoster().Request(text, server.Url("/silent").c_str(), false, "", "");
    });
    ASSERT_TRUE(WaitUntil([&] { return net::ConnectionsInUse(key) == 1; }));
    CStreamConnection stream(kKavaroProfile, [] { return false; });
    EXPECT_FALSE(stream.Open(server.Url("/text"), "", "", 2048));  // the request has the slot
    request.join();  // the watchdog gives up on the silent camera
    EXPECT_FALSE(answered);
    EXPECT_EQ(net::ConnectionsInUse(key), 0);
    ASSERT_TRUE(stream.Open(server.Url("/text"), "", "", 2048));
    EXPECT_EQ(net::ConnectionsInUse(key), 1);
    stream.Close();
    EXPECT_EQ(net::ConnectionsInUse(key), 0);
}

TEST_F(PosterLoopback, AbortWakesABlockedRead)
{
    net::RequestOptions options;
    options.url = server.Url("/halfway");
    net::CHttpTransfer transfer(options);
    ASSERT_EQ(transfer.Open(2000), net::NetStatus::Ok);
    char buffer[64];
    const auto first = transfer.Read(buffer, sizeof buffer, 60000, false);
    EXPECT_EQ(first.bytes, 10u);
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        transfer.Abort();
    });
    const auto start = steady_clock::now();
    const auto blocked = transfer.Read(buffer, sizeof buffer, 60000, true);
    EXPECT_EQ(blocked.status, net::NetStatus::Aborted);
    EXPECT_LT(steady_clock::now() - start, 1000ms);
    stopper.join();
}

} // namespace
} // namespace kv::test
