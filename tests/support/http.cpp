#include "support/http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>

static double secondsNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string httpRequest(const std::string& method, const std::string& target, int port, const std::string& headers,
                        const std::string& body)
{
    std::string text = method + " " + target + " HTTP/1.1\r\n";
    std::string lower = headers;
    for (char& c : lower) {
        c = (char)tolower((unsigned char)c);
    }
    if (lower.compare(0, 5, "host:") != 0 && lower.find("\nhost:") == std::string::npos) {
        text += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    }
    text += headers;
    if (!body.empty()) {
        text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    return text + "Connection: close\r\n\r\n" + body;
}

int httpConnect(int port, const std::string& address)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons((uint16_t)port);
    if (fd >= 0 &&
        (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1 || connect(fd, (const sockaddr*)&to, sizeof to) != 0)) {
        close(fd);
        fd = -1;
    }
    return fd;
}

bool readUntil(int fd, std::string* text, const std::string& until, double seconds)
{
    const double end = secondsNow() + seconds;
    while (text->find(until) == std::string::npos) {
        double left = end - secondsNow();
        struct pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, (int)(left * 1000) + 1) <= 0) {
            return false;
        }
        char buffer[65536];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return text->find(until) != std::string::npos;
        }
        text->append(buffer, (size_t)n);
    }
    return true;
}

HttpAnswer httpExchange(int port, const std::string& raw, double seconds, const std::string& address)
{
    HttpAnswer answer;
    int fd = httpConnect(port, address);
    if (fd < 0) {
        return answer;
    }
    size_t sent = 0;
    while (sent < raw.size()) {
        ssize_t n = send(fd, raw.data() + sent, raw.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;   // the server may refuse before it read everything: its answer still counts
        }
        sent += (size_t)n;
    }
    std::string text;
    readUntil(fd, &text, "\r\n\r\n", seconds);
    size_t headEnd = text.find("\r\n\r\n");
    if (headEnd != std::string::npos) {
        answer.status = (int)strtol(text.c_str() + text.find(' ') + 1, nullptr, 10);
        size_t at = text.find("\r\n") + 2;
        while (at < headEnd) {
            size_t end = text.find("\r\n", at);
            std::string line = text.substr(at, end - at);
            size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            for (char& c : name) {
                c = (char)tolower((unsigned char)c);
            }
            answer.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
            at = end + 2;
        }
        size_t length = answer.headers.count("content-length") != 0 ? std::stoul(answer.headers["content-length"]) : 0;
        std::string rest = text.substr(headEnd + 4);
        const double end = secondsNow() + seconds;
        while (rest.size() < length && secondsNow() < end) {
            struct pollfd p = {fd, POLLIN, 0};
            char buffer[65536];
            ssize_t n = poll(&p, 1, (int)((end - secondsNow()) * 1000) + 1) > 0 ? read(fd, buffer, sizeof buffer) : 0;
            if (n <= 0) {
                break;
            }
            rest.append(buffer, (size_t)n);
        }
        answer.body = rest;
    }
    close(fd);
    return answer;
}
