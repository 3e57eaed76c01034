// Everything of Boost.Beast and Boost.Asio is in this file, for build time. Asio comes first: on
// Windows it needs Winsock 2, whose header must precede the Winsock 1.1 one of the rest.
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "web/server.h"

#include <chrono>
#include <deque>
#include <list>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "platform/host.h"
#include "web/launch.h"
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
const int DRAIN_SECONDS = 2;                          // after a refused request, what follows is read and
const size_t DRAIN_LIMIT = (size_t)4 * 1024 * 1024;   // dropped for this long, up to this much

class Connection;
class EventStream;

struct Shared {
    Session& session;
    GateConfig gate;
    std::set<std::shared_ptr<EventStream>> streams;
    size_t open = 0;                  // connections open, event streams included
    std::list<Connection*> waiting;   // those waiting for a request or the rest of one, longest first
};

// Every answer's, the event streams' included.
void addSecurityHeaders(http::fields& f)
{
    f.set(http::field::server, "brevindor-web");
    f.set("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    f.set("X-Content-Type-Options", "nosniff");
    f.set("Referrer-Policy", "no-referrer");
    f.set(http::field::cache_control, "no-store");
}

// One open /api/events: the events queued for it, written one at a time. It holds the place of
// the connection it came from among the open ones.
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
        stream_.expires_after(std::chrono::seconds(ANSWER_SECONDS));
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
        if (open_) {
            open_ = false;
            --shared_.open;
        }
        beast::error_code ignored;
        stream_.socket().close(ignored);
        shared_.streams.erase(shared_from_this());
    }

    beast::tcp_stream stream_;
    Shared& shared_;
    bool open_ = true;
    std::deque<std::string> queue_;
    char scratch_[512] = {};
};

std::string eventText(const std::string& event, const std::string& data)
{
    return "event: " + event + "\ndata: " + data + "\n\n";
}

// The value of name in a request target's query ("/?a=1&name=value"); false when it has none.
bool queryValue(const std::string& target, const std::string& name, std::string* value)
{
    size_t query = target.find('?');
    if (query == std::string::npos) {
        return false;
    }
    std::string q = "&" + target.substr(query + 1);
    size_t at = q.find("&" + name + "=");
    if (at == std::string::npos) {
        return false;
    }
    at += name.size() + 2;
    *value = q.substr(at, q.find('&', at) - at);
    return true;
}

// The parts of a request's head that the gate decides on.
GateRequest gateRequest(const http::request_parser<http::string_body>::value_type& request)
{
    std::string target(request.target());
    GateRequest g;
    g.method = std::string(request.method_string());
    g.path = target.substr(0, target.find('?'));
    g.hasQueryToken = queryValue(target, "token", &g.queryToken);
    g.hasQueryOnce = queryValue(target, "once", &g.queryOnce);
    g.host = std::string(request[http::field::host]);
    g.cookie = std::string(request[http::field::cookie]);
    g.authorization = std::string(request[http::field::authorization]);
    g.hasOrigin = request.find(http::field::origin) != request.end();
    g.origin = std::string(request[http::field::origin]);
    g.contentType = std::string(request[http::field::content_type]);
    return g;
}

// One connection: requests one after another, each one's head through the gate before its body
// is read. Counted among the open connections from its start to its close.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket&& socket, Shared& shared) : stream_(std::move(socket)), shared_(shared)
    {
        ++shared_.open;
    }

    ~Connection()
    {
        release();
    }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void read()
    {
        parser_.emplace();
        parser_->header_limit(HEADER_LIMIT);
        parser_->body_limit(BODY_LIMIT);
        wait();
        stream_.expires_after(std::chrono::seconds(HEADER_SECONDS));
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code ec, size_t) { self->tookHead(ec); });
    }

    // Also to make room for a new connection, on one that waits.
    void close()
    {
        if (!open_) {
            return;
        }
        release();
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

private:
    // Among those that may be closed to make room, behind those that have waited longer.
    void wait()
    {
        if (!waiting_) {
            waitingAt_ = shared_.waiting.insert(shared_.waiting.end(), this);
            waiting_ = true;
        }
    }

    void stopWaiting()
    {
        if (waiting_) {
            shared_.waiting.erase(waitingAt_);
            waiting_ = false;
        }
    }

    void release()
    {
        stopWaiting();
        if (open_) {
            open_ = false;
            --shared_.open;
        }
    }

    void tookHead(beast::error_code ec)
    {
        if (ec) {
            failed(ec);
            return;
        }
        const auto& head = parser_->get();
        version_ = head.version();
        GateRequest g = gateRequest(head);
        int gate = gateStatus(g, shared_.gate);
        if (gate != GATE_PASS) {
            stopWaiting();
            refuse(gate, head.keep_alive());
            return;
        }
        method_ = g.method;
        path_ = g.path;
        if (parser_->is_done()) {
            handle();
            return;
        }
        stream_.expires_after(std::chrono::seconds(BODY_SECONDS));
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code e, size_t) {
            if (e) {
                self->failed(e);
            } else {
                self->handle();
            }
        });
    }

    void failed(beast::error_code ec)
    {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::eof ||
            ec == asio::error::connection_reset || ec == asio::error::operation_aborted) {
            close();
            return;
        }
        stopWaiting();
        int status = ec == http::error::header_limit ? 431 : ec == http::error::body_limit ? 413 : 400;
        Answer a = errorAnswer(status, status == 431   ? "the request's header is larger than 16 KiB"
                                       : status == 413 ? "the request's body is larger than 1 MiB"
                                                       : "malformed request");
        send(a, false, true);
    }

    // A request the gate did not pass, its body unread: answered, and the connection kept only when
    // there was no body to skip; else what follows is drained.
    void refuse(int gate, bool keepAlive)
    {
        bool bodyLeft = !parser_->is_done();
        bool keep = keepAlive && !bodyLeft;
        if (gate == GATE_LOGIN || gate == GATE_LAUNCH) {
            Answer a = {303, "text/plain", "", {}};
            if (gate == GATE_LAUNCH) {
                shared_.gate.once.clear();   // spent
                a = {200, "text/html; charset=utf-8", loginPageText(), {}};
            } else {
                a.headers.push_back({"Location", "/"});
            }
            a.headers.push_back({"Set-Cookie", sessionCookie(shared_.gate)});
            send(a, keep, bodyLeft);
            return;
        }
        static const char* const WHY_401 = "open the address with the token that brevindor-web printed";
        send(errorAnswer(gate, gate == 401   ? WHY_401
                               : gate == 403 ? "forbidden: not from this page"
                               : gate == 415 ? "a POST needs Content-Type: application/json"
                                             : "method not allowed"),
             keep, bodyLeft);
    }

    void handle()
    {
        stopWaiting();
        Request request = parser_->release();
        if (path_ == "/api/events" && method_ == "GET") {
            openStream();
            return;
        }
        Answer a = route(shared_.session, method_, path_, request.body());
        if (method_ == "HEAD") {
            a.body.clear();
        }
        send(a, request.keep_alive(), false);
    }

    void openStream()
    {
        stream_.expires_never();
        open_ = false;   // the stream holds this connection's place from now on
        auto events = std::make_shared<EventStream>(std::move(stream_), shared_);
        shared_.streams.insert(events);
        http::response<http::empty_body> response(http::status::ok, version_);
        response.set(http::field::content_type, "text/event-stream");
        addSecurityHeaders(response);
        response.keep_alive(true);
        std::ostringstream head;
        head << response.base();
        std::string text = head.str();
        text += eventText("reset", "[]");
        text += eventText("rows", shared_.session.controllersText());
        text += eventText("job", shared_.session.jobText());
        events->start(text);
    }

    // Writes the answer; then the next request if keep, a drain of what the client still sends if
    // drain (the rest of a request not read), or the end.
    void send(const Answer& a, bool keep, bool drain)
    {
        auto response = std::make_shared<Response>(static_cast<http::status>(a.status), version_);
        response->set(http::field::content_type, a.type);
        addSecurityHeaders(*response);
        for (const auto& h : a.headers) {
            response->set(h.first, h.second);
        }
        response->body() = a.body;
        response->keep_alive(keep && !drain);
        response->prepare_payload();
        stream_.expires_after(std::chrono::seconds(ANSWER_SECONDS));
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
    // for a while, so that closing does not reset the connection before it read the answer. The
    // while is one deadline for the whole drain.
    void drain()
    {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        wait();
        stream_.expires_after(std::chrono::seconds(DRAIN_SECONDS));
        drainSome();
    }

    void drainSome()
    {
        stream_.async_read_some(asio::buffer(scratch_), [self = shared_from_this()](beast::error_code ec, size_t n) {
            self->drained_ += n;
            if (ec || self->drained_ > DRAIN_LIMIT) {
                self->close();
            } else {
                self->drainSome();
            }
        });
    }

    beast::tcp_stream stream_;
    Shared& shared_;
    bool open_ = true;
    bool waiting_ = false;
    std::list<Connection*>::iterator waitingAt_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    unsigned version_ = 11;
    std::string method_, path_;
    char scratch_[16384] = {};
    size_t drained_ = 0;
};

// A new connection takes its place among the open ones: at the cap, those that have waited longest
// make room; when none waits, it is closed.
void admit(tcp::socket&& socket, Shared& shared)
{
    while (shared.open >= MAX_CONNECTIONS && !shared.waiting.empty()) {
        shared.waiting.front()->close();
    }
    if (shared.open >= MAX_CONNECTIONS) {
        beast::error_code ignored;
        socket.close(ignored);
        return;
    }
    std::make_shared<Connection>(std::move(socket), shared)->read();
}

void accept(tcp::acceptor& acceptor, asio::steady_timer& pause, Shared& shared)
{
    acceptor.async_accept([&acceptor, &pause, &shared](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) {
            return;
        }
        if (!ec) {
            admit(std::move(socket), shared);
        }
        if (!ec || ec == asio::error::connection_aborted) {
            accept(acceptor, pause, shared);
            return;
        }
        // Out of descriptors or memory. A connection that waits makes room, as at the cap; with none,
        // the new one stays queued, and trying again at once would spin until something closes.
        if (!shared.waiting.empty()) {
            shared.waiting.front()->close();
            accept(acceptor, pause, shared);
            return;
        }
        pause.expires_after(std::chrono::milliseconds(ACCEPT_PAUSE_MS));
        pause.async_wait([&acceptor, &pause, &shared](beast::error_code e) {
            if (!e) {
                accept(acceptor, pause, shared);
            }
        });
    });
}

void tick(asio::io_context& io, asio::steady_timer& timer, Shared& shared, const std::function<bool()>& stop,
          std::chrono::steady_clock::time_point nextKeepAlive)
{
    timer.expires_after(std::chrono::milliseconds(STOP_CHECK_MS));
    timer.async_wait([&io, &timer, &shared, &stop, nextKeepAlive](beast::error_code ec) {
        if (ec) {
            return;
        }
        if (stop()) {
            io.stop();
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
        tick(io, timer, shared, stop, next);
    });
}

}   // namespace

bool runServer(Session& s, const std::string& address, int port, const std::string& token, const std::string& once,
               const std::function<void(int port)>& ready, const std::function<bool()>& stop, std::string* error)
{
    // Before the io_context: the connections its pending handlers hold, destroyed with it, count
    // themselves out of it.
    Shared shared{s, {}, {}, 0, {}};
    asio::io_context io(1);
    beast::error_code ec;
    tcp::endpoint endpoint(asio::ip::make_address(address, ec), (unsigned short)port);
    tcp::acceptor acceptor(io);
    if (!ec) {
        acceptor.open(endpoint.protocol(), ec);
    }
    if (!ec) {
        allowPortReuse((long long)acceptor.native_handle());
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
    shared.gate = {token, taken, address == "127.0.0.1" ? "" : address, once};
    s.setPublish([&io, &shared](const std::string& event, const std::string& data) {
        asio::post(io, [&shared, text = eventText(event, data)]() {
            auto streams = shared.streams;
            for (const auto& stream : streams) {
                stream->push(text);
            }
        });
    });
    asio::steady_timer pause(io);
    accept(acceptor, pause, shared);
    asio::steady_timer timer(io);
    tick(io, timer, shared, stop, std::chrono::steady_clock::now() + std::chrono::seconds(KEEP_ALIVE_S));
    ready(taken);
    io.run();
    shared.streams.clear();   // what still holds them goes with the io_context
    s.join();                 // the job sees the stop too; its last events go nowhere
    s.setPublish(nullptr);
    return true;
}
