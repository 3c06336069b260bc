// The location without a network: its mirror path, whether it is filled
// in, how it reads a Hostname, the global list, the error names, the
// library it loads, and the readers of server answers.
#include "netloc/server_address.h"
#include "platform/internet_replies.h"
#include "platform/internet_wrapper.h"
#include "tests/netloc/netloc_fixture.h"

namespace brimwell::testing {
namespace {

using ::testing::StartsWith;

TEST(RelativeMirrorPath, CleansTheHostAndTheDirectory) {
  struct Case {
    TInternetProtocol protocol;
    std::string host;
    std::string directory;
    std::string mirror;
  } cases[] = {
      {ipFTP, "server/a", "", "server-a\\FTP Root directory"},
      {ipHTTP, "www.example.com", "  ", "www.example.com\\HTTP Root directory"},
      {ipHTTP, "https://host:8443", "dist/v2", "https--host8443\\dist-v2"},
      {ipFTP, "h\"*:;<>?|x", "a\\b", "hx\\ab"},
      {ipHTTP, "caf\xc3\xa9", "\x01x", "caf\xc3\xa9\\\x01x"},  // other characters stay
  };
  TNetInstallLocation location(nullptr);
  for (const Case& c : cases) {
    location.LoginInformation().SetProtocol(c.protocol);
    location.LoginInformation().SetHostname(c.host);
    location.LoginInformation().SetDirectory(c.directory);
    EXPECT_EQ(location.RelativeMirrorPath(), c.mirror) << c.host;
  }
}

TEST(LoginInformation, IsFilledInWhenItNamesAServerAndAssignCopiesAll) {
  TNetInstallLocation location(nullptr);
  TLoginInformation& login = location.LoginInformation();
  EXPECT_EQ(login.Location(), &location);
  EXPECT_FALSE(TCustomNetInstallLocation::IsFilledIn(login));
  login.SetHostname("  ");
  EXPECT_FALSE(TCustomNetInstallLocation::IsFilledIn(login));
  login.SetAnonymous(false);
  login.SetUsername("me");
  login.SetPassword("pw");
  // Credentials without a server cannot fetch anything.
  EXPECT_FALSE(TCustomNetInstallLocation::IsFilledIn(login));
  login.SetHostname("server");
  EXPECT_TRUE(TCustomNetInstallLocation::IsFilledIn(login));

  login.SetDirectory("d");
  login.SetProtocol(ipFTP);
  TNetInstallLocation other(nullptr);
  other.SetLoginInformation(login);
  const TLoginInformation& copy = other.LoginInformation();
  EXPECT_EQ(copy.Location(), &other);
  EXPECT_FALSE(copy.Anonymous());
  EXPECT_EQ(copy.Directory(), "d");
  EXPECT_EQ(copy.Hostname(), "server");
  EXPECT_EQ(copy.Password(), "pw");
  EXPECT_EQ(copy.Protocol(), ipFTP);
  EXPECT_EQ(copy.Username(), "me");
}

TEST(ServerAddress, ReadsSchemePortAndBrackets) {
  struct Case {
    std::string hostname;
    TInternetProtocol protocol;
    std::string host;
    int port;
    bool secure;
    WinError error;
  } cases[] = {
      {"example.com", ipHTTP, "example.com", 0, false, 0},
      {" 127.0.0.1:8080 ", ipHTTP, "127.0.0.1", 8080, false, 0},
      {"HTTPS://example.com/", ipHTTP, "example.com", 0, true, 0},
      {"https://example.com:8443", ipHTTP, "example.com", 8443, true, 0},
      {"ftp://files.example.com:2121", ipFTP, "files.example.com", 2121, false, 0},
      {"[::1]:21", ipFTP, "::1", 21, false, 0},
      {"::1", ipHTTP, "::1", 0, false, 0},
      {"host:0", ipHTTP, "", 0, false, kErrorInternetInvalidUrl},
      {"host:65536", ipHTTP, "", 0, false, kErrorInternetInvalidUrl},
      {"host:99999999999999999999", ipHTTP, "", 0, false, kErrorInternetInvalidUrl},
      {"host:", ipHTTP, "", 0, false, kErrorInternetInvalidUrl},
      {"host:8a", ipHTTP, "", 0, false, kErrorInternetInvalidUrl},
      {"[::1", ipHTTP, "", 0, false, kErrorInternetInvalidUrl},
      {"https://host", ipFTP, "", 0, false, kErrorInternetUnrecognizedScheme},
      {"ftp://host", ipHTTP, "", 0, false, kErrorInternetUnrecognizedScheme},
      {"gopher://host", ipHTTP, "", 0, false, kErrorInternetUnrecognizedScheme},
  };
  for (const Case& c : cases) {
    const ServerAddress a = ParseServerAddress(c.hostname, c.protocol);
    EXPECT_EQ(a.error, c.error) << c.hostname;
    if (c.error != 0) continue;
    EXPECT_EQ(a.host, c.host) << c.hostname;
    EXPECT_EQ(a.port, c.port) << c.hostname;
    EXPECT_EQ(a.secure, c.secure) << c.hostname;
  }
}

TEST(InternetErrorName, NamesTheListedCodesOnly) {
  EXPECT_EQ(InternetErrorName(6), "ERROR_INVALID_HANDLE");
  EXPECT_EQ(InternetErrorName(12007), "ERROR_INTERNET_NAME_NOT_RESOLVED");
  EXPECT_EQ(InternetErrorName(12029), "ERROR_INTERNET_CANNOT_CONNECT");
  EXPECT_EQ(InternetErrorName(12150), "ERROR_HTTP_HEADER_NOT_FOUND");
  EXPECT_EQ(InternetErrorName(12155), "ERROR_HTTP_HEADER_ALREADY_EXISTS");
  for (WinError code : {0u, 2u, 12000u, 12033u, 12156u, 99999u}) {
    EXPECT_EQ(InternetErrorName(code), "Unregistered error code") << code;
  }
}

TEST(HttpAnswerHead, KeepsTheLatestAnswersFields) {
  HttpAnswerHead head;
  head.AddLine("garbage before the status\r\n");
  EXPECT_EQ(head.StatusCode(), 0);
  head.AddLine("HTTP/1.1 302 Found\r\n");
  head.AddLine("Location: /elsewhere\r\n");
  head.AddLine("Content-Length: 0\r\n");
  head.AddLine("\r\n");
  EXPECT_TRUE(head.Complete());
  head.AddLine("HTTP/1.0 200 OK\r\n");
  head.AddLine("content-length:   1234  \r\n");
  head.AddLine("Content-Length: 99\r\n");
  head.AddLine("no colon here\r\n");
  EXPECT_FALSE(head.Complete());
  head.AddLine("\r\n");
  head.AddLine("Late: after the head\r\n");
  EXPECT_EQ(head.StatusCode(), 200);
  EXPECT_EQ(head.StatusLine(), "HTTP/1.0 200 OK");
  EXPECT_EQ(head.Field("CONTENT-LENGTH"), "1234");
  EXPECT_EQ(head.Field("Location"), std::nullopt);
  EXPECT_EQ(head.Field("Late"), std::nullopt);
  for (const char* bad : {"HTTP/1.1 20 OK", "HTTP/1.1 2000 OK", "HTTPS/1.1 200 OK", "HTTP/1.1 abc OK"}) {
    HttpAnswerHead h;
    h.AddLine(bad);
    EXPECT_EQ(h.StatusCode(), 0) << bad;
  }
}

TEST(FtpReplyReader, JoinsMultiLineRepliesAndBoundsThem) {
  FtpReplyReader replies;
  replies.AddLine("220 ready\r\n");
  EXPECT_EQ(replies.LastReply(), "220 ready");
  replies.AddLine("230-Welcome\r\n");
  replies.AddLine(" 230 inside, not the end\r\n");
  replies.AddLine("230-still going\r\n");
  EXPECT_EQ(replies.LastReply(), "220 ready");
  replies.AddLine("230 Login successful.\r\n");
  EXPECT_EQ(replies.LastCode(), 230);
  EXPECT_EQ(replies.LastReply(), "230-Welcome\n 230 inside, not the end\n230-still going\n230 Login successful.");
  replies.AddLine("noise outside a reply");
  replies.AddLine("550");
  EXPECT_EQ(replies.LastReply(), "550");
  replies.AddLine("211-many");
  for (int i = 0; i < 1000; ++i) replies.AddLine(std::string(20000, 'x'));
  replies.AddLine("211 end");
  EXPECT_EQ(replies.LastCode(), 211);
  EXPECT_LE(replies.LastReply().size(), (kMaxReplyLines + 1) * (kMaxAnswerLine + 1));
  EXPECT_TRUE(replies.LastReply().ends_with("\n211 end"));
  replies.Clear();
  EXPECT_EQ(replies.LastReply(), "");
}

// An internet library without one entry point, or whose closes fail.
class DamagedInternet : public InternetWrapper {
 public:
  using InternetWrapper::InternetWrapper;
  bool HasEntryPoint(std::string_view name) override { return name != missing && target().HasEntryPoint(name); }
  WinStatus CloseHandle(InternetHandle handle) override {
    WinStatus status = target().CloseHandle(handle);
    return fail_close ? WinStatus::Error(kErrorInvalidHandle) : status;
  }
  std::string missing;
  bool fail_close = false;
};

class LocationTest : public NetlocTest {};

TEST_F(LocationTest, LibraryFailuresArePlainErrors) {
  TNetInstallLocation lone(nullptr);  // no machine to load the library from
  lone.LoginInformation().SetHostname("127.0.0.1");
  try {
    lone.GetFile("a.1", Local("a.1"));
    FAIL();
  } catch (const ENIL_FailLoadWININET& e) {
    EXPECT_STREQ(e.what(),
                 "Failed to load the Wininet.dll. If this is a hybrid installation, you might want to include the "
                 "WININET.DLL file in the PresetupFiles property of the TInstall component");
  }
  auto original = MakeCurlInternet();
  auto damaged = std::make_unique<DamagedInternet>(*original);
  damaged->missing = "InternetConnectA";
  machine().Attach<Internet>(std::move(damaged));
  Point(location_, ipHTTP, "127.0.0.1");
  try {
    location_->Connect();
    FAIL();
  } catch (const ENIL_FailLoadDLLProc& e) {
    EXPECT_STREQ(e.what(), "Failed to load the procedure InternetConnect from WININET.DLL");
  }
  EXPECT_EQ(location_->Library(), nullptr);
  delete location_;
  location_ = nullptr;
}

TEST_F(LocationTest, AFailedCloseIsReportedAfterTheFileIsWritten) {
  auto original = MakeCurlInternet();
  auto damaged = std::make_unique<DamagedInternet>(*original);
  DamagedInternet* library = damaged.get();
  machine().Attach<Internet>(std::move(damaged));
  Serve("a.1", "bytes");
  LoopbackServer http({"http", served_});
  Point(location_, ipHTTP, http.Address());
  library->fail_close = true;
  EXPECT_THAT(ErrorOf("a.1"), StartsWith("Cannot close the file a.1 on the server. Error message "
                                         "ERROR_INVALID_HANDLE. Server " + http.Address() + ". Response from server HTTP/1.0 200 OK"));
  library->fail_close = false;
  delete location_;
  location_ = nullptr;
}

TEST_F(LocationTest, LocationsJoinAndLeaveTheGlobalList) {
  EXPECT_EQ(state_->Locations().Count(), 1);
  TNetInstallLocation* second = MakeLocation("Second");
  EXPECT_EQ(state_->Locations().Items(1), second);
  delete second;
  EXPECT_EQ(state_->Locations().Count(), 1);
  try {
    state_->Locations().Add(nullptr);
    FAIL();
  } catch (const IENetList& e) {
    EXPECT_STREQ(e.what(), "Cannot add a blank location to the global net location list. Error message "
                           "Unregistered error code. Server . Response from server No server response");
  }
  // The current location is forgotten when it goes.
  Point(location_, ipHTTP, "127.0.0.1:1");
  location_->Connect();
  EXPECT_EQ(state_->Current(), location_);
  delete location_;
  location_ = nullptr;
  EXPECT_EQ(state_->Current(), nullptr);
  EXPECT_EQ(state_->Locations().Count(), 0);
}

}  // namespace
}  // namespace brimwell::testing
