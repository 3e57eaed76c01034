// Everything of Boost.Beast and Boost.Asio is in this file, for build time. Asio comes first: on
// Windows it needs Winsock 2, whose header must precede the Winsock 1.1 one of the rest.
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "web/server.h"

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <set>

#include "platform/host.h"
#include "web/routes.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

typedef http::request<http::string_body> Request;
typedef http::response<http::string_body> Response;

const int STOP_CHECK_MS = 250;
const int KEEP_ALIVE_S = 15;                          // a comment on the event streams this often
const size_t STREAM_BACKLOG = 4096;                   // events queued for one slow stream before it is dropped
const size_t DRAIN_LIMIT = (size_t)4 * 1024 * 1024;   // bytes read and dropped after a refused request

class EventStream;

struct Shared {
    asio::io_context& io;
    Session& session;
    GateConfig gate;
    std::set<std::shared_ptr<EventStream>> streams;
};

void addSecurityHeaders(Response& r)
{
    r.set("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    r.set("X-Content-Type-Options", "nosniff");
    r.set("Referrer-Policy", "no-referrer");
    r.set(http::field::cache_control, "no-store");
}

// One open /api/events: the events queued for it, written one at a time.
class EventStream : public std::enable_shared_from_this<EventStream> {
public:
    EventStream(beast::tcp_stream&& stream, Shared& shared) : stream_(std::move(stream)), shared_(shared) {}

    void start(const std::string& head)
    {
        queue_.push_back(head);
        write();
        watch();
    }

    void push(const std::string& text)
    {
        if (queue_.size() >= STREAM_BACKLOG) {
            close();
            return;
        }
        queue_.push_back(text);
        if (queue_.size() == 1) {
            write();
        }
    }

private:
    void write()
    {
        stream_.expires_after(std::chrono::seconds(IDLE_SECONDS));
        asio::async_write(stream_, asio::buffer(queue_.front()),
                          [self = shared_from_this()](beast::error_code ec, size_t) { self->written(ec); });
    }

    void written(beast::error_code ec)
    {
        if (ec) {
            close();
            return;
        }
        queue_.pop_front();
        if (!queue_.empty()) {
            write();
        }
    }

    // The browser sends nothing more: a read ends only when it goes away.
    void watch()
    {
        stream_.socket().async_read_some(asio::buffer(scratch_),
                                         [self = shared_from_this()](beast::error_code ec, size_t) {
                                             if (ec) {
                                                 self->close();
                                             } else {
                                                 self->watch();
                                             }
                                         });
    }

    void close()
    {
        beast::error_code ignored;
        stream_.socket().close(ignored);
        shared_.streams.erase(shared_from_this());
    }

    beast::tcp_stream stream_;
    Shared& shared_;
    std::deque<std::string> queue_;
    char scratch_[512] = {};
};

std::string eventText(const std::string& event, const std::string& data)
{
    return "event: " + event + "\ndata: " + data + "\n\n";
}

// One connection: requests one after another, each through the gate.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket&& socket, Shared& shared) : stream_(std::move(socket)), shared_(shared) {}

    void read()
    {
        parser_.emplace();
        parser_->header_limit(HEADER_LIMIT);
        parser_->body_limit(BODY_LIMIT);
        stream_.expires_after(std::chrono::seconds(IDLE_SECONDS));
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->took(ec); });
    }

private:
    void took(beast::error_code ec)
    {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::eof ||
            ec == asio::error::connection_reset || ec == asio::error::operation_aborted) {
            close();
            return;
        }
        if (ec) {
            int status = ec == http::error::header_limit ? 431 : ec == http::error::body_limit ? 413 : 400;
            Answer a = errorAnswer(status, status == 431   ? "the request's header is larger than 16 KiB"
                                           : status == 413 ? "the request's body is larger than 1 MiB"
                                                           : "malformed request");
            send(a, false, true);
            return;
        }
        handle(parser_->release());
    }

    void handle(Request request)
    {
        std::string target(request.target());
        std::string path = target.substr(0, target.find('?'));
        GateRequest g;
        g.method = std::string(request.method_string());
        g.path = path;
        g.hasQueryToken = false;
        size_t query = target.find('?');
        if (query != std::string::npos) {
            std::string q = "&" + target.substr(query + 1);
            size_t at = q.find("&token=");
            if (at != std::string::npos) {
                g.hasQueryToken = true;
                g.queryToken = q.substr(at + 7, q.find('&', at + 1) - (at + 7));
            }
        }
        g.host = std::string(request[http::field::host]);
        g.cookie = std::string(request[http::field::cookie]);
        g.authorization = std::string(request[http::field::authorization]);
        g.hasOrigin = request.find(http::field::origin) != request.end();
        g.origin = std::string(request[http::field::origin]);
        g.contentType = std::string(request[http::field::content_type]);
        int gate = gateStatus(g, shared_.gate);
        bool keep = request.keep_alive();
        if (gate == GATE_LOGIN) {
            Answer a = {303, "text/plain", "", {}};
            a.headers.push_back({"Location", "/"});
            a.headers.push_back({"Set-Cookie", cookieName(shared_.gate) + "=" + shared_.gate.token +
                                                   "; HttpOnly; SameSite=Strict; Path=/"});
            send(a, keep, false);
            return;
        }
        if (gate != GATE_PASS) {
            static const char* const WHY_401 = "open the address with the token that brevindor-web printed";
            send(errorAnswer(gate, gate == 401   ? WHY_401
                                   : gate == 403 ? "forbidden: not from this page"
                                   : gate == 415 ? "a POST needs Content-Type: application/json"
                                                 : "method not allowed"),
                 keep, false);
            return;
        }
        if (path == "/api/events" && g.method == "GET") {
            openStream();
            return;
        }
        Answer a = route(shared_.session, g.method, path, request.body());
        if (g.method == "HEAD") {
            a.body.clear();
        }
        send(a, keep, false);
    }

    void openStream()
    {
        stream_.expires_never();
        auto events = std::make_shared<EventStream>(std::move(stream_), shared_);
        shared_.streams.insert(events);
        std::string head = "HTTP/1.1 200 OK\r\n"
                           "Content-Type: text/event-stream\r\n"
                           "Cache-Control: no-store\r\n"
                           "Content-Security-Policy: default-src 'self'; frame-ancestors 'none'\r\n"
                           "X-Content-Type-Options: nosniff\r\n"
                           "Referrer-Policy: no-referrer\r\n"
                           "Connection: keep-alive\r\n\r\n";
        head += eventText("reset", "[]");
        head += eventText("rows", shared_.session.controllersText());
        head += eventText("job", shared_.session.jobText());
        events->start(head);
    }

    void send(const Answer& a, bool keep, bool drain)
    {
        auto response = std::make_shared<Response>(static_cast<http::status>(a.status), 11);
        response->set(http::field::server, "brevindor-web");
        response->set(http::field::content_type, a.type);
        addSecurityHeaders(*response);
        for (const auto& h : a.headers) {
            response->set(h.first, h.second);
        }
        response->body() = a.body;
        response->keep_alive(keep && !drain);
        response->prepare_payload();
        stream_.expires_after(std::chrono::seconds(IDLE_SECONDS));
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response, drain](beast::error_code ec, size_t) {
                              if (!ec && drain) {
                                  self->drain();
                              } else if (!ec && response->keep_alive()) {
                                  self->read();
                              } else {
                                  self->close();
                              }
                          });
    }

    // After a refused request: no more is sent, what the client still sends is read and dropped
    // for a while, so that closing does not reset the connection before it read the answer.
    void drain()
    {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(2));
        stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, size_t n) {
            self->drained_ += n;
            if (ec || self->drained_ > DRAIN_LIMIT) {
                self->close();
            } else {
                self->drain();
            }
        });
    }

    void close()
    {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    beast::tcp_stream stream_;
    Shared& shared_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    char scratch_[16384] = {};
    size_t drained_ = 0;
};

void accept(tcp::acceptor& acceptor, Shared& shared)
{
    acceptor.async_accept([&acceptor, &shared](beast::error_code ec, tcp::socket socket) {
        if (!ec) {
            std::make_shared<Connection>(std::move(socket), shared)->read();
        }
        if (ec != asio::error::operation_aborted) {
            accept(acceptor, shared);
        }
    });
}

void tick(asio::steady_timer& timer, Shared& shared, const std::function<bool()>& stop,
          std::chrono::steady_clock::time_point nextKeepAlive)
{
    timer.expires_after(std::chrono::milliseconds(STOP_CHECK_MS));
    timer.async_wait([&timer, &shared, &stop, nextKeepAlive](beast::error_code ec) {
        if (ec) {
            return;
        }
        if (stop()) {
            shared.io.stop();
            return;
        }
        auto next = nextKeepAlive;
        if (std::chrono::steady_clock::now() >= nextKeepAlive) {
            auto streams = shared.streams;
            for (const auto& s : streams) {
                s->push(": keep-alive\n\n");
            }
            next = std::chrono::steady_clock::now() + std::chrono::seconds(KEEP_ALIVE_S);
        }
        tick(timer, shared, stop, next);
    });
}

}   // namespace

bool runServer(Session& s, const std::string& address, int port, const std::string& token,
               const std::function<void(int port)>& ready, const std::function<bool()>& stop, std::string* error)
{
    asio::io_context io(1);
    beast::error_code ec;
    tcp::endpoint endpoint(asio::ip::make_address(address, ec), (unsigned short)port);
    tcp::acceptor acceptor(io);
    if (!ec) {
        acceptor.open(endpoint.protocol(), ec);
    }
    if (!ec) {
        allowPortReuse((long long)acceptor.native_handle());
    }
    if (!ec) {
        acceptor.bind(endpoint, ec);
    }
    if (!ec) {
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        *error = "can't listen on " + address + ":" + std::to_string(port) + ": " + ec.message();
        return false;
    }
    int taken = acceptor.local_endpoint().port();
    Shared shared{io, s, {token, taken, address == "127.0.0.1" ? "" : address}, {}};
    s.setPublish([&io, &shared](const std::string& event, const std::string& data) {
        asio::post(io, [&shared, text = eventText(event, data)]() {
            auto streams = shared.streams;
            for (const auto& stream : streams) {
                stream->push(text);
            }
        });
    });
    accept(acceptor, shared);
    asio::steady_timer timer(io);
    tick(timer, shared, stop, std::chrono::steady_clock::now() + std::chrono::seconds(KEEP_ALIVE_S));
    ready(taken);
    io.run();
    s.join();   // the job sees the stop too; its last events go nowhere
    s.setPublish(nullptr);
    return true;
}
