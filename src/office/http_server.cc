// The transport of the office view: Boost.Beast over Asio, in one thread.
// Beast and Asio stay in this one file; nothing thrown inside it leaves it.
#include "office/http_server.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <ctime>
#include <optional>
#include <thread>

namespace kavelin2::office {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using ErrorCode = boost::system::error_code;
#ifdef _WIN32
using ExclusiveAddressUse = asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
#endif

// What every session shares with the server; outlives them all.
struct Shared {
  std::shared_ptr<SnapshotStore> store;
  ServerOptions options;
  int sessions = 0;  // touched in the server's thread only
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, Shared& shared) : stream_(std::move(socket)), shared_(shared) {
    ++shared_.sessions;
  }
  ~Session() { --shared_.sessions; }

  void Start() { Read(); }

 private:
  void Read() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(shared_.options.header_limit));
    parser_->body_limit(0);
    // The whole request must come within the idle time: a client that
    // trickles its header in byte by byte is cut off all the same.
    stream_.expires_after(std::chrono::milliseconds(shared_.options.idle_timeout_ms));
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](ErrorCode ec, std::size_t) { self->OnRead(ec); });
  }

  void OnRead(ErrorCode ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == asio::error::operation_aborted || ec == asio::error::connection_reset) {
      return Close();
    }
    if (ec == http::error::header_limit) return Refuse(431, "431 request header too large\n");
    if (ec == http::error::body_limit || ec == http::error::unexpected_body)
      return Refuse(413, "413 no request body is taken\n");
    if (ec) return Refuse(400, "400 bad request\n");

    const auto& req = parser_->get();
    // A request that announces a body it has not sent yet is refused too.
    const auto length = parser_->content_length();
    if (req.chunked() || (length && *length > 0))
      return Refuse(413, "413 no request body is taken\n");
    auto auth = req.find(http::field::authorization);
    const std::string authorization =
        auth == req.end() ? std::string() : std::string(auth->value());
    Answer a = AnswerRequest(*shared_.store, shared_.options, std::string(req.method_string()),
                             std::string(req.target()), authorization,
                             static_cast<int64_t>(std::time(nullptr)));
    const bool head = req.method() == http::verb::head;
    Send(a, req.version(), req.keep_alive() && a.status < 400, head);
  }

  void Refuse(int status, const char* text) {
    Answer a;
    a.status = status;
    a.content_type = "text/plain; charset=utf-8";
    a.body = text;
    Send(a, 11, false, false);
  }

  void Send(const Answer& a, unsigned version, bool keep_alive, bool head) {
    auto res = std::make_shared<http::response<http::string_body>>(
        static_cast<http::status>(a.status), version);
    res->set(http::field::server, "kavelin2");
    res->set(http::field::content_type, a.content_type);
    res->set(http::field::cache_control, "no-store");
    res->set("X-Content-Type-Options", "nosniff");
    // The page is self-contained: nothing may be loaded from anywhere.
    res->set("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    if (a.challenge) {
      res->insert(http::field::www_authenticate, "Basic realm=\"kavelin2\", charset=\"UTF-8\"");
      res->insert(http::field::www_authenticate, "Bearer realm=\"kavelin2\"");
    }
    if (a.allow) res->set(http::field::allow, "GET, HEAD");
    res->keep_alive(keep_alive);
    if (head) {
      res->content_length(a.body.size());
    } else {
      res->body() = a.body;
      res->prepare_payload();
    }
    stream_.expires_after(std::chrono::milliseconds(shared_.options.idle_timeout_ms));
    http::async_write(stream_, *res,
                      [self = shared_from_this(), res, keep_alive](ErrorCode ec, std::size_t) {
                        if (ec || !keep_alive) return self->Close();
                        self->Read();
                      });
  }

  void Close() {
    ErrorCode ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.socket().close(ignored);
  }

  beast::tcp_stream stream_;
  Shared& shared_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
};

class BeastServer : public OfficeServer {
 public:
  BeastServer(std::shared_ptr<SnapshotStore> store, const ServerOptions& options)
      : shared_{std::move(store), options, 0}, acceptor_(io_), retry_(io_) {}

  ~BeastServer() override {
    asio::post(io_, [this] {
      ErrorCode ignored;
      acceptor_.close(ignored);
    });
    io_.stop();
    if (thread_.joinable()) thread_.join();
  }

  bool Listen(std::string* error) {
    ErrorCode ec;
    auto address = asio::ip::make_address(shared_.options.address, ec);
    tcp::endpoint endpoint(address, shared_.options.port);
    if (!ec) acceptor_.open(endpoint.protocol(), ec);
#ifdef _WIN32
    // Windows's SO_REUSEADDR would let another program take the port from
    // under the station; it has no wait after a close to skip anyway.
    if (!ec) acceptor_.set_option(ExclusiveAddressUse(true), ec);
#else
    if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
#endif
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
      *error = "cannot listen on " + shared_.options.address + ":" +
               std::to_string(shared_.options.port) + ": " + ec.message();
      return false;
    }
    port_ = acceptor_.local_endpoint(ec).port();
    Accept();
    thread_ = std::thread([this] { Run(); });
    return true;
  }

  uint16_t port() const override { return port_; }

 private:
  void Run() {
    // On a busy machine the lines' thread comes first: the office can wait
    // for a core, an exchange under way should not.
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
#else
    // Linux keeps a nice value per thread: this one alone is lowered.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
    for (;;) {
      try {
        io_.run();
        return;
      } catch (const std::exception&) {
        // One request's failure (memory) ends that request, not the server.
      }
    }
  }

  void Accept() {
    acceptor_.async_accept([this](ErrorCode ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted) return;
      if (ec) {
        // Out of descriptors, say: try again a little later rather than at once.
        retry_.expires_after(std::chrono::milliseconds(100));
        retry_.async_wait([this](ErrorCode wait_ec) {
          if (!wait_ec) Accept();
        });
        return;
      }
      {
        if (shared_.sessions >= shared_.options.max_connections) {
          // Full: the newcomer is let go at once rather than queued.
          ErrorCode ignored;
          socket.close(ignored);
        } else {
          std::make_shared<Session>(std::move(socket), shared_)->Start();
        }
      }
      Accept();
    });
  }

  Shared shared_;
  asio::io_context io_{1};
  tcp::acceptor acceptor_;
  asio::steady_timer retry_;
  std::thread thread_;
  uint16_t port_ = 0;
};

}  // namespace

std::unique_ptr<OfficeServer> StartOfficeServer(std::shared_ptr<SnapshotStore> store,
                                                const ServerOptions& options, std::string* error) {
  try {
    auto server = std::make_unique<BeastServer>(std::move(store), options);
    if (!server->Listen(error)) return nullptr;
    return server;
  } catch (const std::exception& e) {
    *error = std::string("cannot start the HTTP server: ") + e.what();
    return nullptr;
  }
}

}  // namespace kavelin2::office
