#include "loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>

namespace e2e {

namespace {

// No hold waits longer than this: a test that forgets a release still ends.
constexpr auto kHoldLimit = std::chrono::seconds(120);
constexpr int kRequestLimitMilliseconds = 10000;

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

// Reads up to the blank line that ends the request head; false on a timeout or a closed socket.
bool ReadRequestHead(int client, std::string& head) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestLimitMilliseconds);
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 64 * 1024) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{client, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) return false;
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// Like ReadRequestHead, through a TLS connection.
bool ReadRequestHead(SSL* tls, std::string& head) {
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 64 * 1024) {
        const int n = SSL_read(tls, buffer, sizeof buffer);
        if (n <= 0) return false;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// The value of a header in a request head (names compared without regard to case), or "".
std::string HeaderValue(const std::string& head, const std::string& name) {
    std::size_t start = head.find("\r\n");
    while (start != std::string::npos) {
        start += 2;
        const std::size_t end = head.find("\r\n", start);
        const std::string line = head.substr(start, end - start);
        const std::size_t colon = line.find(':');
        if (colon == name.size() &&
            std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            return value == std::string::npos ? "" : line.substr(value);
        }
        start = end;
    }
    return "";
}

struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
    void operator()(SSL* tls) const { SSL_free(tls); }
};

}  // namespace

LoopbackServer::LoopbackServer(HttpReply reply) : reply_(std::move(reply)) {
    std::sort(reply_.holds.begin(), reply_.holds.end());
    if (reply_.blockSize == 0) reply_.blockSize = 1;
    static std::atomic<int> instances{0};
    path_ = "/r" + std::to_string(getpid()) + "-" + std::to_string(++instances) + "-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
            "/MicrosoftEdgeWebview2Setup.exe";

    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener_);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        releaseAll_ = true;
    }
    changed_.notify_all();
    thread_.join();
    close(listener_);
}

std::string LoopbackServer::Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + path_;
}

void LoopbackServer::Release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++released_;
    }
    changed_.notify_all();
}

void LoopbackServer::ReleaseAll() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        releaseAll_ = true;
    }
    changed_.notify_all();
}

int LoopbackServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::string> LoopbackServer::RequestLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requestLines_;
}

std::vector<std::string> LoopbackServer::TunnelledLinks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tunnelledLinks_;
}

bool LoopbackServer::Finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

void LoopbackServer::Serve() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        pollfd fd{listener_, POLLIN, 0};
        if (poll(&fd, 1, 100) <= 0) continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Answer(client);
        shutdown(client, SHUT_RDWR);
        close(client);
    }
}

bool LoopbackServer::WaitForRelease(std::size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, kHoldLimit, [&] { return released_ > index || releaseAll_; });
    return !stopping_;
}

bool LoopbackServer::SendAll(int client, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void LoopbackServer::Answer(int client) {
    std::string head;
    if (!ReadRequestHead(client, head)) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++requests_;
        requestLines_.push_back(head.substr(0, head.find("\r\n")));
    }
    if (!reply_.tunnelCertificate.empty() && head.compare(0, 8, "CONNECT ") == 0) {
        AnswerInTunnel(client);
        return;
    }
    const std::string& body = reply_.body;
    std::size_t nextHold = 0;
    // Passes every hold placed at `offset`.
    auto passHolds = [&](std::size_t offset) {
        while (nextHold < reply_.holds.size() && reply_.holds[nextHold] <= offset) {
            if (!WaitForRelease(nextHold)) return false;
            ++nextHold;
        }
        return true;
    };

    if (!passHolds(0)) return;
    if (!SendAll(client, Head())) return;

    std::size_t offset = 0;
    while (offset < body.size()) {
        std::size_t end = std::min(body.size(), offset + reply_.blockSize);
        if (nextHold < reply_.holds.size()) end = std::min(end, reply_.holds[nextHold]);
        if (!SendAll(client, body.substr(offset, end - offset))) return;
        offset = end;
        if (reply_.pauseMilliseconds > 0 && offset < body.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(reply_.pauseMilliseconds));
        }
        if (!passHolds(offset)) return;
    }
    if (!passHolds(body.size())) return;
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
}

std::string LoopbackServer::Head() const {
    std::string headers = "HTTP/1.1 " + std::to_string(reply_.status) + " " +
                          Reason(reply_.status) +
                          "\r\nContent-Type: application/octet-stream\r\n"
                          "Cache-Control: no-store\r\nConnection: close\r\n";
    if (reply_.framing == HttpReply::Framing::ContentLength) {
        headers += "Content-Length: " + std::to_string(reply_.body.size()) + "\r\n";
    }
    return headers + "\r\n";
}

void LoopbackServer::AnswerInTunnel(int client) {
    if (!SendAll(client, "HTTP/1.1 200 Connection established\r\n\r\n")) return;
    const std::unique_ptr<SSL_CTX, SslContextFree> context(SSL_CTX_new(TLS_server_method()));
    if (!context ||
        SSL_CTX_use_certificate_chain_file(context.get(), reply_.tunnelCertificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), reply_.tunnelKey.c_str(), SSL_FILETYPE_PEM) !=
            1) {
        ERR_clear_error();
        return;
    }
    const std::unique_ptr<SSL, SslFree> tls(SSL_new(context.get()));
    // A client that does not trust the certificate gives up here.
    timeval limit{kRequestLimitMilliseconds / 1000, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string head;
    if (!tls || SSL_set_fd(tls.get(), client) != 1 || SSL_accept(tls.get()) != 1 ||
        !ReadRequestHead(tls.get(), head)) {
        ERR_clear_error();
        return;
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    const std::size_t pathStart = line.find(' ');
    const std::size_t pathEnd = line.find(' ', pathStart + 1);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requestLines_.push_back(line);
        if (pathStart != std::string::npos && pathEnd != std::string::npos) {
            tunnelledLinks_.push_back("https://" + HeaderValue(head, "Host") +
                                      line.substr(pathStart + 1, pathEnd - pathStart - 1));
        }
    }
    const std::string answer = Head() + reply_.body;
    if (SSL_write(tls.get(), answer.data(), static_cast<int>(answer.size())) > 0) {
        SSL_shutdown(tls.get());
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    ERR_clear_error();
}

}  // namespace e2e
