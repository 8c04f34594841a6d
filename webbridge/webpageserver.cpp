#include "webpageserver.h"

#include <QFileInfo>

#include <chrono>

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
    server->set_default_headers({{"X-Content-Type-Options", "nosniff"}, {"Cache-Control", "no-cache"}});
    // The mount point serves files below the folder only; "..", absolute and
    // encoded escapes are refused by the library's path check.
    if (!server->set_mount_point("/", QFileInfo(folder).absoluteFilePath().toStdString())) {
        error = QStringLiteral("cannot serve ") + folder;
        server.reset();
        return false;
    }
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

QString WebPageServer::pageUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/index.html").arg(boundPort);
}
