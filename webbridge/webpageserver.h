#ifndef WEBPAGESERVER_H
#define WEBPAGESERVER_H

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace httplib {
class Server;
}

// Serves the local control page (the web/ folder beside the program) over
// plain HTTP on the loopback address, next to the bridge's port. Every
// browser can then open the page from an http://127.0.0.1 origin, which the
// bridge accepts, instead of from a file, for which some browsers send the
// opaque origin "null" that any web site's sandboxed frame sends too.
// Static files only: no request body is read and nothing outside the folder
// is served. The server runs on a thread of its own; the page's requests
// never wait for the event loop, and it touches no Qt object.
class WebPageServer
{
public:
    static constexpr quint16 DefaultPort = 15249;

    explicit WebPageServer(QString folder);
    ~WebPageServer();
    WebPageServer(const WebPageServer &) = delete;
    WebPageServer &operator=(const WebPageServer &) = delete;

    // Binds 127.0.0.1:port (0 picks a free one) and starts serving. False
    // when the folder has no index.html or the port is taken.
    bool start(quint16 port = DefaultPort);
    void stop();

    bool isRunning() const;
    quint16 port() const { return boundPort; }
    QString pageUrl() const;   // "http://127.0.0.1:<port>/index.html"
    QString errorText() const { return error; }

private:
    QString folder;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> threadDone { false };
    quint16 boundPort = 0;
    QString error;
};

#endif // WEBPAGESERVER_H
