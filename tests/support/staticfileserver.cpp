#include "staticfileserver.h"

namespace {

// The server reports the bound address as the Host it answers to, so the
// redirects and listings it writes never name another interface.
const char *const ServeScript = R"(
import http.server, socketserver, sys
class S(http.server.ThreadingHTTPServer):
    def server_bind(self):
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = "127.0.0.1", self.server_address[1]
class H(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *a): pass
s = S(("127.0.0.1", 0), lambda *a: H(*a, directory=sys.argv[1]))
print(s.server_address[1], flush=True)
s.serve_forever()
)";

} // namespace

StaticFileServer::~StaticFileServer()
{
    stop();
}

bool StaticFileServer::start(const QString &folder, int timeoutMs)
{
    stop();
    process.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromLatin1(ServeScript), folder});
    if (!process.waitForReadyRead(timeoutMs)) {
        stop();
        return false;
    }
    bool ok = false;
    const int port = process.readLine().trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        stop();
        return false;
    }
    base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    return true;
}

void StaticFileServer::stop()
{
    base.clear();
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}
