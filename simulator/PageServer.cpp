#include <DazoZazIdoRezeraro/host/Endpoint.h>
#include <DazoZazIdoRezeraro/host/Listener.h>
#include <DazoZazIdoRezeraro/simulator/PageServer.h>

#include <algorithm>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <cctype>
#include <deque>
#include <set>

#include "LiveViewJson.h"
#include "PageFiles.h"

namespace Core::GEOCOM::simulator {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using boost::system::error_code;
using tcp = asio::ip::tcp;
using Strand = asio::strand<asio::io_context::executor_type>;
using Stream = beast::tcp_stream;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

namespace {

// What a browser may send on its WebSocket: nothing is expected but a
// close, so little is read.
constexpr std::size_t kMaxBrowserMessage = 1024;
constexpr std::size_t kMaxHeaderBytes = 8 * 1024;

std::string_view ContentType(std::string_view name) {
  const auto ends = [&](std::string_view suffix) {
    return name.size() >= suffix.size() &&
           name.substr(name.size() - suffix.size()) == suffix;
  };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  return "application/octet-stream";
}

Response Reply(const Request& request, http::status status,
               std::string_view type, std::string body) {
  Response response(status, request.version());
  response.set(http::field::content_type, type);
  response.set(http::field::cache_control, "no-store");
  response.set("X-Content-Type-Options", "nosniff");
  response.keep_alive(request.keep_alive());
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

Response Json(const Request& request, http::status status, std::string body) {
  return Reply(request, status, "application/json", std::move(body));
}

Response Refuse(const Request& request, http::status status,
                const std::string& message) {
  return Json(request, status, ErrorJson(message));
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A form or text/plain body is what a page of any site may send without
// asking; a JSON body needs the browser's permission, never given here.
bool JsonBody(const Request& request) {
  std::string_view type = request[http::field::content_type];
  type = type.substr(0, type.find(';'));
  while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
  return SameIgnoringCase(type, "application/json");
}

// Whether the page that sent the request is the view's own: its Origin,
// or without one its Referer, names the host it was sent to. A program
// sends neither.
bool FromOwnPage(const Request& request) {
  const std::string own = "http://" + std::string(request[http::field::host]);
  const auto origin = request.find(http::field::origin);
  if (origin != request.end()) return origin->value() == own;
  const auto referer = request.find(http::field::referer);
  if (referer == request.end()) return true;
  const std::string_view from = referer->value();
  return from == own || from.substr(0, own.size() + 1) == own + "/";
}

bool ChangesState(const Request& request) {
  return request.method() != http::verb::get &&
         request.method() != http::verb::head;
}

}  // namespace

class Browser;
class HttpClient;

class PageServerState : public std::enable_shared_from_this<PageServerState> {
 public:
  PageServerState(asio::io_context& io, PageServerOptions given,
                  PageHandlers givenHandlers)
      : strand(asio::make_strand(io)),
        options(std::move(given)),
        handlers(std::move(givenHandlers)) {}

  void Accept(tcp::socket peer);
  std::optional<Response> Guard(const Request& request) const;
  Response Handle(const Request& request);
  void Broadcast(const std::shared_ptr<const std::string>& message);
  void StopNow();

  Strand strand;
  const PageServerOptions options;
  const PageHandlers handlers;
  std::optional<host::Listener> listener;
  // The Host headers the server answers: its own names only, so that a page
  // of another site whose name was pointed here cannot reach it.
  std::vector<std::string> hosts;
  std::set<std::shared_ptr<HttpClient>> clients;
  std::set<std::shared_ptr<Browser>> browsers;
  bool stopped = false;
};

// One browser's feed: messages are queued and written one at a time; a
// browser whose queue overflows is dropped.
class Browser : public std::enable_shared_from_this<Browser> {
 public:
  Browser(std::shared_ptr<PageServerState> view, Stream stream)
      : view_(std::move(view)), socket_(std::move(stream)) {}

  void Start(const Request& upgrade) {
    beast::get_lowest_layer(socket_).expires_never();
    socket_.set_option(
        websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.read_message_max(kMaxBrowserMessage);
    socket_.async_accept(upgrade,
                         [self = shared_from_this()](const error_code& error) {
                           if (error) {
                             self->Close();
                             return;
                           }
                           // Greeted while not yet open, so that what
                           // the greeting broadcasts waits behind it.
                           self->Greet();
                           self->open_ = true;
                           self->Read();
                           self->WriteNext();
                         });
  }

  // The page's first messages go before any broadcast queued meanwhile.
  void Greet() {
    if (!view_->handlers.greeting) return;
    std::vector<std::string> greeting = view_->handlers.greeting();
    auto at = queue_.begin();
    for (std::string& message : greeting) {
      at = std::next(queue_.insert(
          at, std::make_shared<const std::string>(std::move(message))));
    }
  }

  void Send(std::shared_ptr<const std::string> message) {
    if (closed_) return;
    if (queue_.size() >= view_->options.maxQueuedMessages) {
      Close();
      return;
    }
    queue_.push_back(std::move(message));
    WriteNext();
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    queue_.clear();
    error_code ignored;
    beast::get_lowest_layer(socket_).socket().shutdown(
        tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(socket_).close();
    view_->browsers.erase(shared_from_this());
  }

 private:
  void Read() {
    socket_.async_read(buffer_, [self = shared_from_this()](
                                    const error_code& error, std::size_t) {
      if (error) {
        self->Close();
        return;
      }
      self->buffer_.clear();
      self->Read();
    });
  }

  void WriteNext() {
    if (!open_ || writing_ || closed_ || queue_.empty()) return;
    writing_ = true;
    socket_.text(true);
    socket_.async_write(
        asio::buffer(*queue_.front()),
        [self = shared_from_this()](const error_code& error, std::size_t) {
          self->writing_ = false;
          if (error) {
            self->Close();
            return;
          }
          if (!self->queue_.empty()) self->queue_.pop_front();
          self->WriteNext();
        });
  }

  std::shared_ptr<PageServerState> view_;
  websocket::stream<Stream> socket_;
  beast::flat_buffer buffer_;
  std::deque<std::shared_ptr<const std::string>> queue_;
  bool open_ = false;
  bool writing_ = false;
  bool closed_ = false;
};

// One HTTP connection: reads requests with bounded headers and bodies and
// answers each, or hands the connection to a Browser on an upgrade.
class HttpClient : public std::enable_shared_from_this<HttpClient> {
 public:
  HttpClient(std::shared_ptr<PageServerState> view, tcp::socket socket)
      : view_(std::move(view)), stream_(std::move(socket)) {}

  void Read() {
    parser_.emplace();
    parser_->header_limit(kMaxHeaderBytes);
    parser_->body_limit(view_->options.maxBodyBytes);
    stream_.expires_after(view_->options.idleTimeout);
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](const error_code& error, std::size_t) {
          self->OnRead(error);
        });
  }

  void Close() {
    error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
    view_->clients.erase(shared_from_this());
  }

 private:
  void OnRead(const error_code& error) {
    if (error == http::error::body_limit) {
      Request head = parser_->release();
      head.keep_alive(false);
      Write(Refuse(head, http::status::payload_too_large,
                   "the body is larger than " +
                       std::to_string(view_->options.maxBodyBytes) + " bytes"));
      return;
    }
    if (error) {
      Close();
      return;
    }
    Request request = parser_->release();
    if (std::optional<Response> refused = view_->Guard(request)) {
      Write(std::move(*refused));
      return;
    }
    if (websocket::is_upgrade(request)) {
      Upgrade(std::move(request));
      return;
    }
    Write(view_->Handle(request));
  }

  // A page of another origin must not watch or steer the instrument: a
  // browser always says where the page came from.
  void Upgrade(Request request) {
    if (request.target() != "/feed" || !FromOwnPage(request)) {
      request.keep_alive(false);
      Write(Refuse(request, http::status::forbidden,
                   "a WebSocket is served at /feed to this origin only"));
      return;
    }
    auto browser = std::make_shared<Browser>(view_, std::move(stream_));
    view_->browsers.insert(browser);
    view_->clients.erase(shared_from_this());
    browser->Start(request);
  }

  void Write(Response response) {
    auto kept = std::make_shared<Response>(std::move(response));
    stream_.expires_after(view_->options.idleTimeout);
    http::async_write(stream_, *kept,
                      [self = shared_from_this(), kept](const error_code& error,
                                                        std::size_t) {
                        if (error || !kept->keep_alive()) {
                          self->Close();
                          return;
                        }
                        self->Read();
                      });
  }

  std::shared_ptr<PageServerState> view_;
  Stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

std::optional<Response> PageServerState::Guard(const Request& request) const {
  const std::string_view host = request[http::field::host];
  const bool known = std::any_of(
      hosts.begin(), hosts.end(),
      [&](const std::string& name) { return SameIgnoringCase(host, name); });
  const auto refuse = [&](const std::string& why) {
    Response response = Refuse(request, http::status::forbidden, why);
    response.keep_alive(false);
    return response;
  };
  if (!known) {
    return refuse("this " + options.name + " is not served as '" +
                  std::string(host) + "'; ask for " + hosts.front());
  }
  if (!ChangesState(request)) return std::nullopt;
  if (!FromOwnPage(request)) {
    return refuse(options.steers + " is steered from its own page only");
  }
  if (!JsonBody(request)) {
    return refuse("a request that changes " + options.steers +
                  " must be sent as application/json");
  }
  return std::nullopt;
}

Response PageServerState::Handle(const Request& request) {
  const std::string target(request.target());
  const std::string path = target.substr(0, target.find('?'));
  const bool get = request.method() == http::verb::get;
  // Only the page's own files: no path reaches the file system.
  const std::string_view name = path == "/" ? std::string_view(options.index)
                                            : std::string_view(path).substr(1);
  const PageFile* file = std::find(options.files.begin(), options.files.end(),
                                   name) == options.files.end()
                             ? nullptr
                             : FindPageFile(name);
  if (file != nullptr) {
    if (!get && request.method() != http::verb::head) {
      Response response =
          Refuse(request, http::status::method_not_allowed, "use GET");
      response.set(http::field::allow, "GET");
      return response;
    }
    return Reply(request, http::status::ok, ContentType(file->name),
                 std::string(file->bytes));
  }
  std::optional<PageAnswer> answer;
  if (handlers.api) {
    answer = handlers.api(
        {std::string(request.method_string()), path, request.body()});
  }
  if (!answer) {
    return Refuse(request, http::status::not_found, "no such page: " + path);
  }
  Response response = Json(request, static_cast<http::status>(answer->status),
                           std::move(answer->json));
  if (!answer->allow.empty()) response.set(http::field::allow, answer->allow);
  return response;
}

void PageServerState::Broadcast(
    const std::shared_ptr<const std::string>& message) {
  // Sending may drop a browser, which leaves the set.
  const std::set<std::shared_ptr<Browser>> open = browsers;
  for (const auto& browser : open) browser->Send(message);
}

void PageServerState::Accept(tcp::socket peer) {
  auto client =
      std::make_shared<HttpClient>(shared_from_this(), std::move(peer));
  clients.insert(client);
  client->Read();
}

void PageServerState::StopNow() {
  stopped = true;
  if (listener) listener->Close();
  const std::set<std::shared_ptr<HttpClient>> http = clients;
  for (const auto& client : http) client->Close();
  const std::set<std::shared_ptr<Browser>> open = browsers;
  for (const auto& browser : open) browser->Close();
}

PageServer::PageServer(asio::io_context& io, PageServerOptions options,
                       PageHandlers handlers)
    : impl_(std::make_shared<PageServerState>(io, std::move(options),
                                              std::move(handlers))) {}

PageServer::~PageServer() { Close(); }

void PageServer::Close() { impl_->StopNow(); }

host::Result<std::string> PageServer::Listen(std::string_view address) {
  const host::Result<host::Endpoint> endpoint =
      host::ParseEndpoint(address, true);
  if (!endpoint) return endpoint.error();
  host::ListenOptions listenOptions;
  listenOptions.allowRemote = impl_->options.allowRemote;
  host::Result<host::Listener> listener =
      host::Listen(impl_->strand, *endpoint, listenOptions);
  if (!listener) {
    return host::Error(
        listener.error().kind,
        "the " + impl_->options.name + " " + listener.error().message);
  }
  const host::Endpoint& bound = listener->Local();
  const std::string port = std::to_string(bound.port);
  impl_->hosts = {bound.ToString(), "localhost:" + port};
  for (const std::string& name : impl_->options.remoteNames) {
    impl_->hosts.push_back(name + ":" + port);
  }
  impl_->listener.emplace(std::move(*listener));
  impl_->listener->AcceptEach([impl = impl_](tcp::socket peer) {
    if (!impl->stopped) impl->Accept(std::move(peer));
  });
  return bound.ToString();
}

void PageServer::Broadcast(std::shared_ptr<const std::string> message) {
  impl_->Broadcast(message);
}

bool PageServer::Watched() const { return !impl_->browsers.empty(); }

asio::any_io_executor PageServer::Executor() const { return impl_->strand; }

void PageServer::Stop() {
  asio::dispatch(impl_->strand, [impl = impl_] { impl->StopNow(); });
}

}  // namespace Core::GEOCOM::simulator
