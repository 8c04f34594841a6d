#ifndef WEBPAGESERVER_H
#define WEBPAGESERVER_H

#include "logrepeatlimiter.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}

// Serves the local control page (the web/ folder beside the program) over
// plain HTTP on the loopback address, next to the bridge's port. Every
// browser can then open the page from an http://127.0.0.1 origin, which the
// bridge accepts, instead of from a file, for which some browsers send the
// opaque origin "null" that any web site's sandboxed frame sends too.
// Static files only: no request body is read and nothing outside the folder
// is served. Only processes of this user are answered (see LocalPeerServer),
// only with the Host header of the page's own URL, and no symbolic link is
// followed below the folder (see WebPageRequest for the rest). Every answer
// forbids framing the page. The server runs on a thread of its own; the
// page's requests never wait for the event loop, and it touches no Qt
// object of the program.
class WebPageServer
{
public:
    static constexpr quint16 DefaultPort = 15249;
    // The page's files are a few tens of kilobytes.
    static constexpr qint64 MaxFileBytes = 8 * 1024 * 1024;

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
    // Answers every request itself, before the library's routing.
    void answer(const httplib::Request &request, httplib::Response &response);
    // The file's bytes, read without following a symbolic link on the way.
    bool readFile(const std::vector<std::string> &components, std::string *body) const;
    void logRefusal(const char *why, const httplib::Request &request);

    QString folder;
    std::string folderPath;   // absolute, for the server thread
    std::mutex logLock;
    LogRepeatLimiter refusalLog;
    std::chrono::steady_clock::time_point startTime;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<bool> threadDone { false };
    quint16 boundPort = 0;
    QString error;
};

#endif // WEBPAGESERVER_H
