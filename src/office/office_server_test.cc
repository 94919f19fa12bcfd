// The office view's listener over real sockets on 127.0.0.1, beside
// exchanges of a test station: the token rules on every path, the methods,
// hostile clients, and real consumers of its output (promtool, Prometheus,
// headless Chromium).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "exchange/download_fixture.h"
#include "journal/exchange_log.h"
#include "office/http_server.h"
#include "office/office_view.h"
#include "office/render.h"

extern char** environ;

namespace kavelin2::office {
namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A connected socket to 127.0.0.1:|port|, -1 on failure.
int Connect(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads until the peer closes or |timeout_ms| passed; |closed| tells which.
std::string ReadUntilClosed(int fd, int timeout_ms, bool* closed) {
  std::string out;
  auto start = Clock::now();
  *closed = false;
  for (;;) {
    int left = timeout_ms - static_cast<int>(MsSince(start));
    if (left <= 0) return out;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, left) <= 0) continue;
    char buf[4096];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      *closed = true;
      return out;
    }
    out.append(buf, static_cast<size_t>(n));
  }
}

struct Reply {
  int status = 0;
  std::string head;
  std::string body;
  bool Has(const std::string& header_line) const {
    return head.find(header_line) != std::string::npos;
  }
};

// One request with "Connection: close"; the whole reply, bounded in time.
Reply Request(uint16_t port, const std::string& method, const std::string& path,
              const std::string& authorization = "") {
  Reply r;
  int fd = Connect(port);
  if (fd < 0) return r;
  std::string req = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  if (!authorization.empty()) req += "Authorization: " + authorization + "\r\n";
  SendAll(fd, req + "\r\n");
  bool closed = false;
  std::string all = ReadUntilClosed(fd, 10000, &closed);
  ::close(fd);
  size_t end = all.find("\r\n\r\n");
  if (all.compare(0, 9, "HTTP/1.1 ") != 0 || end == std::string::npos) return r;
  r.status = std::atoi(all.c_str() + 9);
  r.head = all.substr(0, end + 2);
  r.body = all.substr(end + 4);
  return r;
}

std::string Base64(const std::string& in) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
    if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
    out += k[(v >> 18) & 63];
    out += k[(v >> 12) & 63];
    out += i + 1 < in.size() ? k[(v >> 6) & 63] : '=';
    out += i + 2 < in.size() ? k[v & 63] : '=';
  }
  return out;
}

// The full path of |program| on PATH, "" when absent.
std::string FindProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

// A child process with its output in |out_path|; killed and reaped when
// the object goes.
class Process {
 public:
  Process(const std::vector<std::string>& args, const std::string& out_path) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (pid_ > 0 && !done_) {
      ::kill(pid_, SIGKILL);
      Wait(10000);
    }
  }
  // The exit status, or -1 when it did not end within |timeout_ms|.
  int Wait(int timeout_ms) {
    auto start = Clock::now();
    while (!done_) {
      int status = 0;
      pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        done_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (MsSince(start) > timeout_ms) return -1;
      ::usleep(20000);  // reaping a child: nothing to wait on but the child itself
    }
    return status_;
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
};

// A TCP port free on 127.0.0.1 at the time of asking.
uint16_t FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

class OfficeServerTest : public DownloadFixture {
 protected:
  OfficeServerTest() {
    ts.st.Ports.line[0].ACTIVE = 'O';
    ts.st.Ports.line[1].ACTIVE = 'O';
    SetPortName(ts.st.Ports.line[0], "COM1");
    SetPortName(ts.st.Ports.line[1], "COM2");
    std::strcpy(ts.st.CurrentLanguage, "Anglais");
    // Table files of three handhelds, one of which (009) never calls.
    for (const char* id : {"001", "007", "009"})
      WriteFile(std::string("tables/TABLE.") + id, "ARTICLES.DAT 64\r\n");
    std::string text;
    for (char c : {'a', 'b', 'c'}) text += std::string(64, c) + "\r\n";
    WriteFile("trans/ARTICLES.DAT", text);
    // The exchanges happen now, on the real calendar: the overdue period is
    // counted from the server's clock.
    ts.clock.SetCalendar(static_cast<int64_t>(std::time(nullptr)));
    ts.st.consumers.push_back(NewResultLog(ts.st));
    ts.st.consumers.push_back(NewExchangeJournal(ts.st));
    ViewOptions view;
    view.publish_interval_ms = 0;
    ts.st.consumers.push_back(std::make_unique<OfficeView>(ts.st, store, view));
  }

  void Serve(const std::string& token = "", int idle_timeout_ms = 10000, int max_connections = 32) {
    ServerOptions o;
    o.address = "127.0.0.1";
    o.port = 0;
    o.token = token;
    o.idle_timeout_ms = idle_timeout_ms;
    o.max_connections = max_connections;
    std::string error;
    server = StartOfficeServer(store, o, &error);
    ASSERT_NE(nullptr, server) << error;
    port = server->port();
  }

  std::string Handheld(const std::string& bytes) {
    line.ArriveNow(bytes);
    uint8_t b;
    while (PollByte(L(), &b)) {
      L().LineDeadline = Deadline::After(ts.clock.NowMs(), kSilenceMs);
      DispatchControlByte(ts.st, L(), b);
    }
    return Sent();
  }
  static std::string Id(const std::string& id) {
    return Byte(RS) + id + static_cast<char>(id[0] ^ id[1] ^ id[2]);
  }

  // Handheld 001: one upload, then its table. True when it ended OK.
  bool CompleteExchange() {
    Handheld(Byte(ENQ));
    Handheld(Frame(SOH, "COMMANDE.00100002021005"));
    Handheld(Frame(STX, "00001" + std::string(15, 'x')));
    Handheld(Frame(STX, "00002" + std::string(15, 'y')));
    Handheld(Byte(EOT));
    Handheld(Id("001"));
    for (int i = 0; i < 20 && L().LinePhase != kPhaseNone; ++i) Handheld(Byte(ACK));
    ts.st.ReportPass();
    return std::string(L().LastResult) == "OK";
  }

  // Handheld 007 names itself and falls silent: TO.
  void SilentExchange() {
    Handheld(Id("007"));
    for (int i = 0; i < 20 && L().LinePhase != kPhaseNone; ++i) {
      ts.clock.Advance(kSilenceMs + 1);
      HandleTimeout(ts.st, L());
    }
    ts.st.ReportPass();
  }

  std::shared_ptr<SnapshotStore> store = std::make_shared<SnapshotStore>();
  std::unique_ptr<OfficeServer> server;
  uint16_t port = 0;
};

TEST_F(OfficeServerTest, EveryPathAsksForTheTokenAndTakesOnlyGetAndHead) {
  const std::string token = "s3cret-T0ken";
  Serve(token);
  ASSERT_TRUE(CompleteExchange());
  for (const char* path : {"/", "/status.json", "/exchanges.csv", "/metrics", "/nowhere"}) {
    SCOPED_TRACE(path);
    Reply none = Request(port, "GET", path);
    EXPECT_EQ(401, none.status);
    EXPECT_TRUE(none.Has("WWW-Authenticate: Basic realm=\"kavelin2\""));
    EXPECT_TRUE(none.Has("WWW-Authenticate: Bearer"));
    EXPECT_EQ(std::string::npos, none.body.find("001"));
    EXPECT_EQ(401, Request(port, "GET", path, "Bearer " + token + "x").status);
    EXPECT_EQ(401, Request(port, "GET", path, "Bearer " + token.substr(1)).status);
    EXPECT_EQ(401, Request(port, "GET", path, "Basic " + Base64("office:wrong")).status);
    EXPECT_EQ(401, Request(port, "GET", path, "Basic " + Base64(token)).status);  // no user part
    EXPECT_EQ(401, Request(port, "HEAD", path).status);

    const int expected = std::string(path) == "/nowhere" ? 404 : 200;
    Reply bearer = Request(port, "GET", path, "Bearer " + token);
    EXPECT_EQ(expected, bearer.status);
    Reply basic = Request(port, "GET", path, "Basic " + Base64("anyone:" + token));
    EXPECT_EQ(expected, basic.status);
    EXPECT_EQ(bearer.body.size(), basic.body.size());
    Reply head = Request(port, "HEAD", path, "Bearer " + token);
    EXPECT_EQ(expected, head.status);
    EXPECT_TRUE(head.body.empty());
    EXPECT_TRUE(head.Has("Content-Length: " + std::to_string(bearer.body.size()) + "\r\n"));
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
      Reply refused = Request(port, method, path, "Bearer " + token);
      EXPECT_EQ(405, refused.status) << method;
      EXPECT_TRUE(refused.Has("Allow: GET, HEAD")) << method;
    }
  }
  Reply page = Request(port, "GET", "/", "Bearer " + token);
  EXPECT_NE(std::string::npos, page.body.find("COMMANDE.001"));
  EXPECT_TRUE(page.Has("Content-Type: text/html"));
  Reply csv = Request(port, "GET", "/exchanges.csv", "Bearer " + token);
  EXPECT_EQ(0u, csv.body.find("start,line,handheld,result,duration_s,reason,files_received,"
                              "files_sent,warnings\r\n"));
  EXPECT_NE(std::string::npos, csv.body.find(",1,001,OK,0,,\"COMMANDE.001 (2 records, 30 bytes)\","
                                             "\"ARTICLES.DAT (3 records, 192 bytes)\",\r\n"));
}

TEST_F(OfficeServerTest, WithoutATokenOnLoopbackNoCredentialsAreAsked) {
  Serve();
  ASSERT_TRUE(CompleteExchange());
  Reply status = Request(port, "GET", "/status.json");
  EXPECT_EQ(200, status.status);
  EXPECT_TRUE(status.Has("Content-Type: application/json"));
  EXPECT_NE(std::string::npos, status.body.find("\"handheld\":\"001\""));
  EXPECT_NE(std::string::npos, status.body.find("\"name\":\"ARTICLES.DAT\""));
}

TEST_F(OfficeServerTest, HostileClientsCostTheLinesNothing) {
  Serve("", 1500, 8);
  // A client that sends nothing, one that stops halfway through its header,
  // one that sends garbage and one with a 200 KB header.
  int idle = Connect(port);
  int half = Connect(port);
  int garbage = Connect(port);
  int big = Connect(port);
  ASSERT_TRUE(idle >= 0 && half >= 0 && garbage >= 0 && big >= 0);
  ASSERT_TRUE(SendAll(half, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "));
  std::string noise;
  for (int i = 0; i < 4096; ++i) noise += static_cast<char>((i * 7919) % 256);
  ASSERT_TRUE(SendAll(garbage, noise));
  SendAll(big, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Big: " + std::string(200 * 1024, 'a') +
                   "\r\n\r\n");

  // The exchanges go on meanwhile, each as fast as without any client.
  auto start = Clock::now();
  ASSERT_TRUE(CompleteExchange());
  SilentExchange();
  const int64_t exchange_ms = MsSince(start);
  EXPECT_LT(exchange_ms, 2000);

  bool closed = false;
  std::string answer = ReadUntilClosed(garbage, 5000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(0u, answer.find("HTTP/1.1 400")) << answer;
  answer = ReadUntilClosed(big, 5000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_EQ(0u, answer.find("HTTP/1.1 431")) << answer;

  // A well-behaved client is served beside the idle ones, and sees both
  // exchanges.
  Reply good = Request(port, "GET", "/status.json");
  EXPECT_EQ(200, good.status);
  EXPECT_NE(std::string::npos, good.body.find("\"result\":\"TO\""));

  // The server lets the silent ones go after the idle time, not before.
  auto idle_start = Clock::now();
  answer = ReadUntilClosed(idle, 8000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_TRUE(answer.empty()) << answer;
  answer = ReadUntilClosed(half, 8000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_LT(MsSince(idle_start), 6000);
  for (int fd : {idle, half, garbage, big}) ::close(fd);

  // More clients than the server takes: the newcomers are let go at once.
  std::vector<int> held;
  for (int i = 0; i < 8; ++i) held.push_back(Connect(port));
  Reply during = Request(port, "GET", "/metrics");
  EXPECT_EQ(0, during.status);  // closed without an answer
  for (int fd : held) ::close(fd);
  // Once they are gone the server answers again (bounded wait: the server
  // sees the closes asynchronously).
  int status = 0;
  for (auto t = Clock::now(); MsSince(t) < 5000 && status != 200;)
    status = Request(port, "GET", "/metrics").status;
  EXPECT_EQ(200, status);
}

// The metrics of a station after an OK and a TO, one handheld never seen.
class MetricsTest : public OfficeServerTest {
 protected:
  std::string Metrics() {
    Reply r = Request(port, "GET", "/metrics");
    EXPECT_EQ(200, r.status);
    return r.body;
  }
};

TEST_F(MetricsTest, PromtoolFindsNothingInTheRealOutput) {
  const std::string promtool = FindProgram("promtool");
  if (promtool.empty()) GTEST_SKIP() << "promtool is not installed";
  Serve();
  ASSERT_TRUE(CompleteExchange());
  SilentExchange();
  const std::string m = Metrics();
  EXPECT_NE(std::string::npos, m.find("kavelin2_exchanges_total{line=\"1\",result=\"OK\"} 1\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_exchanges_total{line=\"1\",result=\"TO\"} 1\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_line_connected{line=\"1\"} 1\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_line_connected{line=\"2\"} 0\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_handheld_overdue{handheld=\"001\"} 0\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_handheld_overdue{handheld=\"007\"} 1\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_handheld_overdue{handheld=\"009\"} 1\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_bytes_sent_total 192\n"));
  EXPECT_NE(std::string::npos, m.find("kavelin2_result_log_write_errors_total 0\n"));
  WriteFile("metrics.txt", m);
  Process check({"/bin/sh", "-c", promtool + " check metrics < metrics.txt"}, "promtool.out");
  ASSERT_TRUE(check.started());
  EXPECT_EQ(0, check.Wait(60000));
  EXPECT_EQ("", ReadFile("promtool.out"));
}

TEST_F(MetricsTest, ARealPrometheusScrapesTheExchangeCount) {
  const std::string prometheus = FindProgram("prometheus");
  if (prometheus.empty()) GTEST_SKIP() << "prometheus is not installed";
  const std::string token = "scrape-token-42";
  Serve(token);
  ASSERT_TRUE(CompleteExchange());
  ASSERT_TRUE(CompleteExchange());
  WriteFile("token", token + "\n");
  WriteFile("prometheus.yml",
            "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
            "scrape_configs:\n  - job_name: kavelin2\n    authorization:\n"
            "      credentials_file: " +
                ts.dir.path() +
                "/token\n"
                "    static_configs:\n      - targets: ['127.0.0.1:" +
                std::to_string(port) + "']\n");
  ::mkdir("tsdb", 0777);
  const uint16_t web = FreePort();
  Process prom({prometheus, "--config.file=" + ts.dir.path() + "/prometheus.yml",
                "--storage.tsdb.path=" + ts.dir.path() + "/tsdb",
                "--web.listen-address=127.0.0.1:" + std::to_string(web)},
               "prometheus.out");
  ASSERT_TRUE(prom.started());
  // Bounded: Prometheus starts, scrapes every second and answers its query.
  const std::string query =
      "/api/v1/query?query=sum(kavelin2_exchanges_total%7Bresult%3D%22OK%22%7D)";
  std::string last;
  bool found = false;
  for (auto t = Clock::now(); MsSince(t) < 90000 && !found;) {
    Reply r = Request(web, "GET", query);
    last = r.body;
    found = r.status == 200 && last.find("\"2\"]") != std::string::npos;
    if (!found) {
      pollfd none{-1, 0, 0};
      ::poll(&none, 0, 200);  // the next scrape is a second away at most
    }
  }
  EXPECT_TRUE(found) << last << ReadFile("prometheus.out");
}

TEST_F(OfficeServerTest, HeadlessChromiumShowsLinesAndHandheldsWithAnOverdueOne) {
  std::string chromium = FindProgram("chromium");
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
  std::strcpy(ts.st.CurrentLanguage, "Francais");
  Serve();
  ASSERT_TRUE(CompleteExchange());
  SilentExchange();
  ts.st.LineTable[1].Disconnected = true;
  ts.st.ReportPass();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  const std::string shot = std::string(KAVELIN2_BUILD_DIR) + "/office-view.png";
  std::remove(shot.c_str());
  const std::vector<std::string> common = {chromium,
                                           "--headless",
                                           "--no-sandbox",
                                           "--disable-gpu",
                                           "--user-data-dir=" + ts.dir.path() + "/chromium",
                                           "--window-size=1200,900"};
  std::vector<std::string> dump = common;
  dump.push_back("--dump-dom");
  dump.push_back(url);
  Process dom(dump, "dom.html");
  ASSERT_EQ(0, dom.Wait(120000));
  const std::string html = ReadFile("dom.html");
  EXPECT_NE(std::string::npos, html.find("<html lang=\"fr\">")) << html;
  EXPECT_NE(std::string::npos, html.find("data-line=\"1\" data-state=\"idle\""));
  EXPECT_NE(std::string::npos, html.find("data-line=\"2\" data-state=\"disconnected\""));
  EXPECT_NE(std::string::npos, html.find("deconnectee"));
  EXPECT_NE(std::string::npos, html.find("<tr data-handheld=\"001\"><td>001</td>"));
  EXPECT_NE(std::string::npos, html.find("<tr data-handheld=\"007\" data-overdue=\"1\">"));
  EXPECT_NE(std::string::npos, html.find("<tr data-handheld=\"009\" data-overdue=\"1\">"));
  EXPECT_NE(std::string::npos, html.find("<span class=\"overdue\">en retard</span>"));
  EXPECT_NE(std::string::npos, html.find("<svg"));
  EXPECT_NE(std::string::npos, html.find("COMMANDE.001 (2 enreg., 30 octets)"));

  std::vector<std::string> screenshot = common;
  screenshot.push_back("--screenshot=" + shot);
  screenshot.push_back(url);
  Process png(screenshot, "shot.out");
  ASSERT_EQ(0, png.Wait(120000)) << ReadFile("shot.out");
  const std::string image = ReadFile(shot);
  ASSERT_GT(image.size(), 10000u);
  EXPECT_EQ(0u, image.find("\x89PNG\r\n\x1a\n"));
}

// The station program itself: asked to listen beyond loopback without a
// token, it refuses to start with status 2 and says why in one line.
TEST(OfficeProgramTest, RefusesANonLoopbackAddressWithoutAToken) {
  ScopedTempDir dir;
  Process station({"/usr/bin/env", "KAVELIN2_UI=headless", "KAVELIN2_HTTP=0.0.0.0:8180",
                   std::string(KAVELIN2_BUILD_DIR) + "/kavelin2"},
                  "station.out");
  ASSERT_TRUE(station.started());
  EXPECT_EQ(2, station.Wait(30000));
  const std::string out = ReadFile("station.out");
  EXPECT_EQ(0u, out.find("kavelin2: KAVELIN2_HTTP=0.0.0.0:8180 is not a loopback address")) << out;
  EXPECT_EQ(1, std::count(out.begin(), out.end(), '\n')) << out;
  // Refused before anything was read or created.
  EXPECT_FALSE(FileExists("CONF_COM.CFG"));
  EXPECT_FALSE(FileExists("EXCHANGES.JSONL"));
}

}  // namespace
}  // namespace kavelin2::office
