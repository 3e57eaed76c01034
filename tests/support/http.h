// A small HTTP/1.1 client for the web program's tests: one request a connection, written as raw
// bytes (so that tests can send malformed ones), the answer read until the server closes or the
// body is complete.
#pragma once

#include <map>
#include <string>

struct HttpAnswer {
    int status = 0;                               // 0: no answer (refused, reset, timed out)
    std::map<std::string, std::string> headers;   // names in lower case
    std::string body;
};

// A request's bytes: the request line, Host (unless headers name one), the headers (each
// "Name: value\\r\\n"), Content-Length when there is a body, and the body.
std::string httpRequest(const std::string& method, const std::string& target, int port, const std::string& headers,
                        const std::string& body = "");

// Sends raw to address:port and reads the answer, for at most seconds in all.
HttpAnswer httpExchange(int port, const std::string& raw, double seconds = 10,
                        const std::string& address = "127.0.0.1");

// A connected socket to address:port, or -1.
int httpConnect(int port, const std::string& address = "127.0.0.1");

// Reads from fd until text holds until (or seconds pass, or the peer closes); true when it does.
bool readUntil(int fd, std::string* text, const std::string& until, double seconds);
