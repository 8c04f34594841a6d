#include "webpageserver.h"

#include "applog.h"
#include "localpeerserver.h"
#include "webpagerequest.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

namespace {

// A browser asks for a page and its scripts; none of it needs a body, and a
// request that is slow to arrive is dropped rather than holding a thread.
constexpr size_t MaxRequestBody = 0;
constexpr time_t ReadTimeoutSeconds = 5;
constexpr int StartWaitMs = 5000;

} // namespace

WebPageServer::WebPageServer(QString folder)
    : folder(std::move(folder))
{
}

WebPageServer::~WebPageServer()
{
    stop();
}

bool WebPageServer::start(quint16 port)
{
    stop();
    error.clear();
    if (!QFileInfo(folder + QStringLiteral("/index.html")).isFile()) {
        error = QStringLiteral("no index.html in ") + folder;
        return false;
    }
    server = std::make_unique<httplib::Server>();
    server->set_payload_max_length(MaxRequestBody);
    server->set_read_timeout(ReadTimeoutSeconds, 0);
    server->set_keep_alive_max_count(10);
    // The library's default, SO_REUSEPORT, would let a second program bind
    // the same port and take half of the page's requests; SO_REUSEADDR only
    // spares a restart the wait for old connections.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // No other page may show this one in a frame (and so trick clicks).
    server->set_default_headers({{"X-Content-Type-Options", "nosniff"},
                                 {"Cache-Control", "no-cache"},
                                 {"Content-Security-Policy", "frame-ancestors 'none'"},
                                 {"X-Frame-Options", "DENY"}});
    folderPath = QFile::encodeName(QFileInfo(folder).absoluteFilePath()).toStdString();
    startTime = std::chrono::steady_clock::now();
    // Every request is answered here, before the library's own routing and
    // file handling (which would follow links and serve "a.html%00.js").
    server->set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        answer(request, response);
        return httplib::Server::HandlerResponse::Handled;
    });
    int bound = 0;
    if (port == 0) {
        bound = server->bind_to_any_port("127.0.0.1");
    } else if (server->bind_to_port("127.0.0.1", port)) {
        bound = port;
    }
    if (bound <= 0) {
        error = QStringLiteral("127.0.0.1:%1 is in use").arg(port);
        server.reset();
        return false;
    }
    boundPort = quint16(bound);
    // The socket listens from here on: a browser's connection waits in the
    // backlog until the thread accepts it, so start() does not wait for the
    // thread (the window's start-up would).
    httplib::Server *running = server.get();
    threadDone = false;
    thread = std::thread([this, running] {
        running->listen_after_bind();
        threadDone = true;
    });
    return true;
}

void WebPageServer::stop()
{
    if (server) {
        // A stop before the thread reached its accept loop would be lost and
        // leave join() waiting for ever.
        for (int waited = 0; thread.joinable() && !server->is_running() && !threadDone && waited < StartWaitMs;
             ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        server->stop();
    }
    if (thread.joinable())
        thread.join();
    server.reset();
    boundPort = 0;
}

bool WebPageServer::isRunning() const
{
    return server && thread.joinable();
}

void WebPageServer::answer(const httplib::Request &request, httplib::Response &response)
{
    const QHostAddress peer(QString::fromStdString(request.remote_addr));
    const QHostAddress local(QString::fromStdString(request.local_addr));
    if (!LocalPeerServer::isPeerOfUser(peer, quint16(request.remote_port), local, quint16(request.local_port),
                                       uint(getuid()))) {
        logRefusal("not a process of this user", request);
        response.status = 403;
        response.set_header("Connection", "close");
        return;
    }
    if (!WebPageRequest::isAllowedHost(request.get_header_value("Host"), boundPort)) {
        logRefusal("Host is not the page's", request);
        response.status = 403;
        return;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        response.status = 405;
        return;
    }
    std::vector<std::string> components;
    std::string body;
    if (request.target.find('\0') != std::string::npos || request.path.find('\0') != std::string::npos
        || !WebPageRequest::fileComponents(request.target, &components) || !readFile(components, &body)) {
        response.status = 404;
        return;
    }
    // The library leaves the body out of an answer to HEAD itself.
    response.status = 200;
    response.set_content(std::move(body), WebPageRequest::contentType(components.back()));
}

bool WebPageServer::readFile(const std::vector<std::string> &components, std::string *body) const
{
    // Component by component with O_NOFOLLOW: a link anywhere below the
    // folder ends the walk, and nothing is looked up twice.
    int directory = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0)
        return false;
    for (size_t i = 0; i + 1 < components.size(); ++i) {
        const int next = ::openat(directory, components[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(directory);
        if (next < 0)
            return false;
        directory = next;
    }
    const int fd = ::openat(directory, components.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    ::close(directory);
    if (fd < 0)
        return false;
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= MaxFileBytes;
    if (ok) {
        body->resize(size_t(info.st_size));
        size_t done = 0;
        while (ok && done < body->size()) {
            const ssize_t got = ::read(fd, &(*body)[done], body->size() - done);
            if (got > 0)
                done += size_t(got);
            else if (got == 0)
                body->resize(done);
            else
                ok = errno == EINTR;
        }
    }
    ::close(fd);
    return ok;
}

void WebPageServer::logRefusal(const char *why, const httplib::Request &request)
{
    // Requests come from several threads and without end: one line a second.
    const std::lock_guard<std::mutex> locker(logLock);
    const qint64 nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now()
                                                                                 - startTime).count();
    if (!refusalLog.admitLine(nowMs, "Web page request refused"))
        return;
    appLog(LogSystem::LogMajorMsg, "Web page request refused from %s:%d: %s.", request.remote_addr.c_str(),
           request.remote_port, why);
}

QString WebPageServer::pageUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/index.html").arg(boundPort);
}
