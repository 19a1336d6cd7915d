// A small HTTP server for end-to-end tests, bound to 127.0.0.1 on a port the system picks. It
// answers every request with one prepared reply, which it can send slowly, without a length, and
// in stages that wait for the test to release them (holding back the rest of the bytes). As a
// proxy it can also open the tunnels that clients ask for https links (CONNECT), speak TLS in
// them with a certificate the test provides, and so see the whole link.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

struct HttpReply {
    enum class Framing {
        ContentLength,  // a Content-Length header; the client knows the total
        NoLength,       // no length: the end of the body is the closed connection
    };

    int status = 200;
    std::string body;
    Framing framing = Framing::ContentLength;
    // Body offsets at which the server stops until the test calls Release(), once for each
    // offset in ascending order. 0 holds back the whole reply, headers included; body.size()
    // holds back the close of the connection.
    std::vector<std::size_t> holds;
    // Sending slowly: the body goes out in blocks of this many bytes with a pause after each.
    std::size_t blockSize = 16 * 1024;
    int pauseMilliseconds = 0;
    // PEM files of a certificate and its key: a CONNECT request is then answered with a tunnel in
    // which the server speaks TLS with this certificate and gives the reply (no holds, no pauses)
    // to the request that comes through it. Empty: CONNECT gets the reply itself.
    std::string tunnelCertificate;
    std::string tunnelKey;
};

class LoopbackServer {
public:
    explicit LoopbackServer(HttpReply reply);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    // A link to this server with a path no other server instance has used, so that nothing a
    // client cached from an earlier server on the same port can answer for it.
    std::string Url() const;
    // Lets the reply go on past its next hold.
    void Release();
    // Lets the reply run to its end without further holds (also done on destruction).
    void ReleaseAll();
    // Requests received so far.
    int Requests() const;
    // The first line of each request received ("GET /path HTTP/1.1", "CONNECT host:443 ..."),
    // in order.
    std::vector<std::string> RequestLines() const;
    // The links of the requests that came through a tunnel: "https://" + the Host header + the
    // path of the request line.
    std::vector<std::string> TunnelledLinks() const;
    // True once the whole reply has been written to a client.
    bool Finished() const;

private:
    void Serve();
    void Answer(int client);
    // Waits (bounded) until hold number `index` has been released; false when the server stops.
    bool WaitForRelease(std::size_t index);
    bool SendAll(int client, const std::string& bytes);
    void AnswerInTunnel(int client);
    std::string Head() const;

    HttpReply reply_;
    std::string path_;
    int listener_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t released_ = 0;
    bool releaseAll_ = false;
    bool stopping_ = false;
    int requests_ = 0;
    std::vector<std::string> requestLines_;
    std::vector<std::string> tunnelledLinks_;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace e2e
