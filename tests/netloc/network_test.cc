// Downloads from real servers on 127.0.0.1 (Python's HTTP server and
// pyftpdlib) started by each test: whole files, progress, every way a
// download can fail, and what is left on disk afterwards.
#include <sys/socket.h>
#include <netinet/in.h>

#include <cstring>
#include <random>

#include "platform/internet_wrapper.h"
#include "tests/netloc/netloc_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A port on which nothing listens.
int ClosedPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(s);
  return ntohs(a.sin_port);
}

// Counts the connections the location makes.
class CountingInternet : public InternetWrapper {
 public:
  using InternetWrapper::InternetWrapper;
  WinResult<InternetHandle> Connect(InternetHandle session, std::string_view server, std::uint16_t port,
                                    const std::optional<std::string>& user,
                                    const std::optional<std::string>& password, std::uint32_t service,
                                    std::uint32_t flags) override {
    ++connects;
    return InternetWrapper::Connect(session, server, port, user, password, service, flags);
  }
  int connects = 0;
};

class NetworkTest : public NetlocTest {
 protected:
  // Fetches `name` and checks the blocks reported on the way: full blocks
  // but the last, running totals, the size the server gave.
  void FetchWithProgress(const std::string& name, const std::string& expected) {
    std::int64_t total = 0;
    int blocks = 0;
    bool in_order = true;
    location_->OnDataReceived = [&](TComponent* sender, const std::string& file, std::int32_t bytes,
                                     std::int32_t so_far, std::int32_t size, const std::uint8_t* buffer) {
      in_order = in_order && sender == location_ && file == name && size == std::int32_t(expected.size()) &&
                 so_far == total + bytes &&
                 std::memcmp(buffer, expected.data() + total, static_cast<std::size_t>(bytes)) == 0 &&
                 (bytes == 8192 || so_far == std::int32_t(expected.size()));
      total = so_far;
      ++blocks;
    };
    location_->GetFile(name, Local(name));
    EXPECT_TRUE(in_order);
    EXPECT_EQ(blocks, static_cast<int>((expected.size() + 8191) / 8192));
    EXPECT_TRUE(LocalBytes(name) == expected) << "the fetched file differs";
    EXPECT_THAT(LocalFiles(), ElementsAre(name));  // no temporary file is left
  }
};

TEST_F(NetworkTest, TwentyMegabytesArriveWholeOverHttpAndFtpWithProgressInOrder) {
  const std::string big = RandomBytes(20 << 20, 1);
  Serve("big.1", big);
  {
    LoopbackServer http({"http", served_});
    Point(location_, ipHTTP, http.Address());
    FetchWithProgress("big.1", big);
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_THAT(log_[0], StartsWith("http://" + http.Address() + "/big.1 bytes=20971520 time="));
    EXPECT_THAT(log_[0], HasSubstr(" ok"));
  }
  std::filesystem::remove(local_ / "big.1");
  LoopbackServer ftp({"ftp", served_});
  auto* over_ftp = MakeLocation("OverFtp");
  Point(over_ftp, ipFTP, ftp.Address());
  std::swap(location_, over_ftp);
  FetchWithProgress("big.1", big);
  EXPECT_THAT(log_.back(), StartsWith("ftp://" + ftp.Address() + "/big.1 bytes=20971520 "));
}

TEST_F(NetworkTest, DownloadsFromOneLocationShareTheConnection) {
  // The wrapper forwards to a service this test keeps alive.
  auto original = MakeCurlInternet({std::chrono::seconds(5), {}});
  auto counting = std::make_unique<CountingInternet>(*original);
  CountingInternet* counter = counting.get();
  machine().Attach<Internet>(std::move(counting));

  Serve("sub/one.1", "first");
  Serve("sub/two.1", "second");
  LoopbackServer ftp({"ftp", served_, "installer", "secret"});
  Point(location_, ipFTP, ftp.Address(), "sub");  // relative to the login directory
  location_->LoginInformation().SetAnonymous(false);
  location_->LoginInformation().SetUsername("installer");
  location_->LoginInformation().SetPassword("secret");
  int logins = 0;
  location_->OnBeforeLogin = [&](TComponent*) { ++logins; };
  location_->GetFile("one.1", Local("one.1"));
  location_->GetFile("two.1", Local("two.1"));
  EXPECT_EQ(LocalBytes("one.1"), "first");
  EXPECT_EQ(LocalBytes("two.1"), "second");
  EXPECT_EQ(logins, 1);
  EXPECT_EQ(counter->connects, 1);

  // Another directory on the same location still works.
  Serve("other/three.1", "third");
  location_->LoginInformation().SetDirectory("\\other");
  location_->GetFile("three.1", Local("three.1"));
  EXPECT_EQ(LocalBytes("three.1"), "third");
  location_->Disconnect();
  EXPECT_FALSE(location_->Connected());
  delete location_;  // while `original` lives
  location_ = nullptr;
}

TEST_F(NetworkTest, MissingFilesAreReportedWithTheServersAnswer) {
  Serve("empty.1", "");
  LoopbackServer http({"http", served_});
  Point(location_, ipHTTP, http.Address());
  EXPECT_THAT(ErrorOf("absent.1"),
              StartsWith("Could not find the file absent.1 on the server. Error message Unregistered error code. "
                         "Server " + http.Address() + ". Response from server HTTP/1.0 404 File not found"));
  EXPECT_THAT(ErrorOf("empty.1"), StartsWith("Could not find the file empty.1 on the server."));

  LoopbackServer ftp({"ftp", served_});
  auto* over_ftp = MakeLocation("OverFtp");
  Point(over_ftp, ipFTP, ftp.Address());
  EXPECT_THAT(ErrorOf("absent.1", over_ftp),
              StartsWith("Cannot open file absent.1 on server. Error message ERROR_INTERNET_EXTENDED_ERROR. Server " +
                         ftp.Address() + ". Response from server 550 /absent.1 is not retrievable."));
  EXPECT_THAT(ErrorOf("empty.1", over_ftp), StartsWith("Could not find the file empty.1 on the server."));
  Point(over_ftp, ipFTP, ftp.Address(), "/nowhere");
  EXPECT_THAT(ErrorOf("empty.1", over_ftp),
              StartsWith("Cannot set directory on server to /nowhere. Error message ERROR_INTERNET_EXTENDED_ERROR. "
                         "Server " + ftp.Address() + ". Response from server 550 "));
  EXPECT_TRUE(LocalFiles().empty());
  EXPECT_EQ(log_.size(), 4u);  // one line per download that began, failures included
  EXPECT_THAT(log_[0], HasSubstr("failed: Could not find the file absent.1"));
}

TEST_F(NetworkTest, UnreachableServersNameTheReason) {
  UseCurl(std::chrono::seconds(2));
  const std::string closed = "127.0.0.1:" + std::to_string(ClosedPort());
  Point(location_, ipHTTP, closed);
  EXPECT_EQ(ErrorOf("a.1"), "Cannot send request for file a.1 to the server. Error message "
                            "ERROR_INTERNET_CANNOT_CONNECT. Server " + closed + ". Response from server No server response");
  auto* over_ftp = MakeLocation("OverFtp");
  Point(over_ftp, ipFTP, closed);
  EXPECT_EQ(ErrorOf("a.1", over_ftp), "Cannot connect to host " + closed + ". Error message "
                                      "ERROR_INTERNET_CANNOT_CONNECT. Server " + closed + ". Response from server No server response");

  Point(location_, ipHTTP, "nowhere.invalid");
  EXPECT_THAT(ErrorOf("a.1"), StartsWith("Cannot send request for file a.1 to the server. Error message "
                                         "ERROR_INTERNET_NAME_NOT_RESOLVED. Server nowhere.invalid."));
  auto* unnamed = MakeLocation("Unnamed");
  Point(unnamed, ipFTP, "nowhere.invalid:2121");
  EXPECT_THAT(ErrorOf("a.1", unnamed), StartsWith("Cannot connect to host nowhere.invalid:2121. Error message "
                                                  "ERROR_INTERNET_NAME_NOT_RESOLVED."));
  auto* wrong_scheme = MakeLocation("WrongScheme");
  Point(wrong_scheme, ipFTP, "https://127.0.0.1");
  EXPECT_THAT(ErrorOf("a.1", wrong_scheme),
              StartsWith("Cannot connect to host https://127.0.0.1. Error message ERROR_INTERNET_UNRECOGNIZED_SCHEME."));
  EXPECT_TRUE(LocalFiles().empty());
}

TEST_F(NetworkTest, ARefusedLoginNamesTheServersAnswer) {
  LoopbackServer ftp({"ftp", served_, "installer", "secret"});
  Point(location_, ipFTP, ftp.Address());
  location_->LoginInformation().SetAnonymous(false);
  location_->LoginInformation().SetUsername("installer");
  location_->LoginInformation().SetPassword("wrong");
  EXPECT_EQ(ErrorOf("a.1"), "Cannot connect to host " + ftp.Address() +
                                ". Error message ERROR_INTERNET_LOGIN_FAILURE. Server " + ftp.Address() +
                                ". Response from server 530 Authentication failed.");
}

TEST_F(NetworkTest, AServerThatNeverAnswersTimesOut) {
  UseCurl(std::chrono::seconds(1));
  LoopbackServer silent({"silent"});
  Point(location_, ipHTTP, silent.Address());
  EXPECT_THAT(ErrorOf("a.1"), StartsWith("Cannot send request for file a.1 to the server. Error message "
                                         "ERROR_INTERNET_TIMEOUT."));
  auto* over_ftp = MakeLocation("OverFtp");
  Point(over_ftp, ipFTP, silent.Address());
  EXPECT_THAT(ErrorOf("a.1", over_ftp),
              StartsWith("Cannot connect to host " + silent.Address() + ". Error message ERROR_INTERNET_TIMEOUT."));
}

TEST_F(NetworkTest, ACutTransferLeavesNoFileAndKeepsTheOldOne) {
  LoopbackServer http({"http", served_});
  Point(location_, ipHTTP, http.Address());
  WriteHostFile(local_ / "cut.1", "the copy of an earlier run");
  std::int32_t received = 0;
  location_->OnDataReceived = [&](TComponent*, const std::string&, std::int32_t, std::int32_t total, std::int32_t,
                                  const std::uint8_t*) { received = total; };
  EXPECT_THAT(ErrorOf("cut.1"), StartsWith("Could not read from file cut.1 on the server. Error message "
                                           "ERROR_INTERNET_CONNECTION_ABORTED. Server " + http.Address()));
  EXPECT_EQ(received, 30000);
  EXPECT_EQ(LocalBytes("cut.1"), "the copy of an earlier run");
  EXPECT_THAT(LocalFiles(), ElementsAre("cut.1"));

  // An FTP server that dies while it sends.
  Serve("big.1", RandomBytes(16 << 20, 2));
  auto ftp = std::make_unique<LoopbackServer>(std::vector<std::string>{"ftp", served_});
  auto* over_ftp = MakeLocation("OverFtp");
  Point(over_ftp, ipFTP, ftp->Address());
  over_ftp->OnDataReceived = [&](TComponent*, const std::string&, std::int32_t, std::int32_t, std::int32_t,
                                 const std::uint8_t*) { ftp->Stop(); };
  EXPECT_THAT(ErrorOf("big.1", over_ftp), StartsWith("Could not read from file big.1 on the server. Error message "
                                                     "ERROR_INTERNET_"));
  EXPECT_THAT(LocalFiles(), ElementsAre("cut.1"));
}

TEST_F(NetworkTest, OnlyAnErrorStatusOrAPageSaying404MeansMissing) {
  LoopbackServer http({"http", served_});
  Point(location_, ipHTTP, http.Address());
  EXPECT_THAT(ErrorOf("soft404.1"), StartsWith("Could not find the file soft404.1 on the server."));
  EXPECT_EQ(ErrorOf("late404.1"), "(no error)");
  EXPECT_EQ(LocalBytes("late404.1"), "This page is long enough; then 404 appears.");
  // An archive may begin with those digits.
  EXPECT_EQ(ErrorOf("binary404.1"), "(no error)");
  EXPECT_EQ(LocalBytes("binary404.1").substr(0, 3), "404");
  Serve("sub/moved.1", "moved here");
  EXPECT_EQ(ErrorOf("moved.1"), "(no error)");
  EXPECT_EQ(LocalBytes("moved.1"), "moved here");
}

TEST_F(NetworkTest, DirectoriesAreFoundOverBothProtocols) {
  Serve("setup/a.1", "in setup");
  Serve("a.1", "at the root");
  LoopbackServer http({"http", served_});
  Point(location_, ipHTTP, "http://" + http.Address() + "/", "setup");
  location_->GetFile("a.1", Local("a.1"));
  EXPECT_EQ(LocalBytes("a.1"), "in setup");
  EXPECT_THAT(log_.back(), StartsWith("http://" + http.Address() + "/setup/a.1 "));

  LoopbackServer ftp({"ftp", served_});
  auto* over_ftp = MakeLocation("OverFtp");
  Point(over_ftp, ipFTP, ftp.Address());
  over_ftp->GetFile("a.1", Local("root.1"));
  EXPECT_EQ(LocalBytes("root.1"), "at the root");
  over_ftp->LoginInformation().SetDirectory("\\setup");
  over_ftp->GetFile("a.1", Local("a.1"));
  EXPECT_EQ(LocalBytes("a.1"), "in setup");
}

TEST_F(NetworkTest, CancellingStopsThisAndEveryLaterDownload) {
  Serve("a.1", RandomBytes(100000, 3));
  Serve("b.1", "small");
  LoopbackServer http({"http", served_});
  Point(location_, ipHTTP, http.Address());
  std::vector<bool> after;
  int blocks = 0;
  location_->OnAfterDownload = [&](TComponent*, bool aborted) { after.push_back(aborted); };
  location_->OnDataReceived = [&](TComponent*, const std::string&, std::int32_t, std::int32_t, std::int32_t,
                                  const std::uint8_t*) {
    if (++blocks == 2) state_->CancelDownloads();
  };
  location_->GetFile("a.1", Local("a.1"));
  location_->GetFile("b.1", Local("b.1"));
  EXPECT_EQ(blocks, 3);  // two of a.1, the first of b.1
  EXPECT_THAT(after, ElementsAre(true, true));
  EXPECT_TRUE(LocalFiles().empty());
  EXPECT_THAT(log_, ElementsAre(HasSubstr("a.1 bytes=16384 "), HasSubstr("b.1 bytes=5 ")));
  EXPECT_THAT(log_[0], ::testing::EndsWith(" cancelled"));
}

TEST_F(NetworkTest, HttpsChecksTheCertificate) {
  const std::filesystem::path cert = dir_.path() / "cert.pem";
  const std::filesystem::path key = dir_.path() / "key.pem";
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                              "-addext subjectAltName=IP:127.0.0.1 -keyout '" + key.string() + "' -out '" +
                              cert.string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  Serve("a.1", "secret archive");
  LoopbackServer https({"http", served_, cert, key});
  Point(location_, ipHTTP, "https://" + https.Address());
  EXPECT_THAT(ErrorOf("a.1"), StartsWith("Cannot send request for file a.1 to the server. Error message "
                                         "ERROR_INTERNET_INVALID_CA."));
  delete location_;  // it holds the service replaced next
  location_ = nullptr;
  UseCurl(std::chrono::seconds(5), cert);
  auto* trusting = MakeLocation("Trusting");
  Point(trusting, ipHTTP, "https://" + https.Address());
  EXPECT_EQ(ErrorOf("a.1", trusting), "(no error)");
  EXPECT_EQ(LocalBytes("a.1"), "secret archive");
  // The certificate names 127.0.0.1, not localhost.
  Point(trusting, ipHTTP, "https://localhost:" + std::to_string(https.Port()));
  trusting->Disconnect();
  EXPECT_THAT(ErrorOf("a.1", trusting), HasSubstr("Error message ERROR_INTERNET_SEC_CERT_CN_INVALID."));
}

}  // namespace
}  // namespace brimwell::testing
