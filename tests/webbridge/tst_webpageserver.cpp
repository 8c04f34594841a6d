// The control page's loopback HTTP server: the page and its files are
// served, nothing outside the folder and no request body is, a taken port is
// reported, only the page's own Host and this user's processes are answered,
// no link is followed and no other page may frame it.
#include "otheruser.h"
#include "webpageserver.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// One raw request, so that the path reaches the server exactly as written.
QByteArray request(quint16 port, const QByteArray &text)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(3000))
        return QByteArray();
    socket.write(text);
    QByteArray answer;
    while (socket.waitForReadyRead(3000))
        answer += socket.readAll();
    return answer;
}

// With the Host a browser sends for the page's own URL.
QByteArray get(quint16 port, const QByteArray &path)
{
    return request(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                             + "\r\nConnection: close\r\n\r\n");
}

QByteArray getWithHost(quint16 port, const QByteArray &path, const QByteArray &hostLine)
{
    return request(port, "GET " + path + " HTTP/1.1\r\n" + hostLine + "Connection: close\r\n\r\n");
}

QByteArray statusLine(const QByteArray &answer)
{
    return answer.left(answer.indexOf("\r\n"));
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// A served copy of a small page folder, with a secret beside it.
struct ServedPage
{
    QTemporaryDir root;
    QString page = root.filePath(QStringLiteral("web"));
    WebPageServer server{page};

    bool start()
    {
        if (!QDir().mkpath(page + QStringLiteral("/img")))
            return false;
        write(page + QStringLiteral("/index.html"), "<html>page</html>");
        write(page + QStringLiteral("/pathmere.js"), "var x = 1;");
        write(page + QStringLiteral("/img/logo.png"), "PNG");
        write(root.filePath(QStringLiteral("secret.txt")), "outside");
        return server.start(0);
    }
    quint16 port() const { return server.port(); }
};

} // namespace

class TestWebPageServer : public QObject
{
    Q_OBJECT

private slots:
    void servesThePageAndNothingElse()
    {
        QTemporaryDir root;
        const QString page = root.filePath(QStringLiteral("web"));
        QVERIFY(QDir().mkpath(page));
        write(page + QStringLiteral("/index.html"), "<html>page</html>");
        write(page + QStringLiteral("/pathmere.js"), "var x = 1;");
        write(root.filePath(QStringLiteral("secret.txt")), "outside");

        WebPageServer server(page);
        QVERIFY2(server.start(0), qPrintable(server.errorText()));
        const quint16 port = server.port();
        QCOMPARE(server.pageUrl(), QStringLiteral("http://127.0.0.1:%1/index.html").arg(port));

        const QByteArray index = get(port, "/index.html");
        QVERIFY2(index.startsWith("HTTP/1.1 200"), index.constData());
        QVERIFY(index.endsWith("<html>page</html>"));
        QVERIFY(get(port, "/pathmere.js").contains("var x = 1;"));
        for (const QByteArray &path : {QByteArray("/../secret.txt"), QByteArray("/%2e%2e/secret.txt"),
                                       QByteArray("//etc/passwd"), QByteArray("/missing.html")}) {
            const QByteArray answer = get(port, path);
            QVERIFY2(!answer.startsWith("HTTP/1.1 200") && !answer.contains("outside"), answer.constData());
        }
        const QByteArray post = request(port, "POST /index.html HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
        QVERIFY2(!post.startsWith("HTTP/1.1 200"), post.constData());

        // The port is held until stop(), then free again.
        WebPageServer second(page);
        QVERIFY(!second.start(port));
        QVERIFY(!second.errorText().isEmpty());
        server.stop();
        QVERIFY(!server.isRunning());
        QVERIFY2(second.start(port), qPrintable(second.errorText()));
    }

    // DNS rebinding: a web site whose name points at 127.0.0.1 reaches the
    // port, but its browser names the site in Host.
    void hostMustNameThePage()
    {
        ServedPage served;
        QVERIFY2(served.start(), qPrintable(served.server.errorText()));
        const QByteArray port = QByteArray::number(served.port());
        for (const QByteArray &host : {"127.0.0.1:" + port, "localhost:" + port, "LocalHost:" + port}) {
            const QByteArray answer = getWithHost(served.port(), "/index.html", "Host: " + host + "\r\n");
            QVERIFY2(answer.startsWith("HTTP/1.1 200"), host.constData());
        }
        const QList<QByteArray> refused = {"Host: evil.example\r\n",
                                           "Host: evil.example:" + port + "\r\n",
                                           "Host: 127.0.0.1\r\n",
                                           "Host: localhost\r\n",
                                           "Host: 127.0.0.1:1" + port + "\r\n",
                                           "Host: 127.0.0.2:" + port + "\r\n",
                                           "Host: [::1]:" + port + "\r\n",
                                           "Host: 127.0.0.1.nip.io:" + port + "\r\n",
                                           "Host: x@127.0.0.1:" + port + "\r\n",
                                           ""};
        for (const QByteArray &hostLine : refused) {
            const QByteArray answer = getWithHost(served.port(), "/index.html", hostLine);
            QVERIFY2(statusLine(answer) == "HTTP/1.1 403 Forbidden" && !answer.contains("page"), hostLine.constData());
        }
    }

    // A NUL, raw or encoded, once ended the name the file system saw, while
    // the type came from the whole path: "index.html%00.js" was the page
    // served as a script.
    void nulIsRefused()
    {
        ServedPage served;
        QVERIFY2(served.start(), qPrintable(served.server.errorText()));
        for (const QByteArray &path : {QByteArray("/index.html%00.js"), QByteArray("/index.html%00"),
                                       QByteArray("/pathmere.js%00.html"), QByteArray("/%00index.html"),
                                       QByteArray("/index.html\0.js", 15)}) {
            const QByteArray answer = get(served.port(), path);
            QVERIFY2(!answer.startsWith("HTTP/1.1 200") && !answer.contains("<html>page"), path.toPercentEncoding().constData());
        }
        QVERIFY(get(served.port(), "/index.html").startsWith("HTTP/1.1 200"));
    }

    void symbolicLinksAreNotFollowed()
    {
        ServedPage served;
        QVERIFY2(served.start(), qPrintable(served.server.errorText()));
        QVERIFY(QFile::link(served.root.filePath(QStringLiteral("secret.txt")), served.page + QStringLiteral("/notes.txt")));
        QVERIFY(QFile::link(served.root.path(), served.page + QStringLiteral("/up")));
        QVERIFY(QFile::link(served.page + QStringLiteral("/index.html"), served.page + QStringLiteral("/start.html")));
        for (const QByteArray &path : {QByteArray("/notes.txt"), QByteArray("/up/secret.txt"), QByteArray("/start.html")}) {
            const QByteArray answer = get(served.port(), path);
            QVERIFY2(statusLine(answer) == "HTTP/1.1 404 Not Found" && !answer.contains("outside"), path.constData());
        }
        QVERIFY(get(served.port(), "/img/logo.png").endsWith("PNG"));
    }

    // No other page may show this one in a frame, for any answer.
    void framingIsForbidden()
    {
        ServedPage served;
        QVERIFY2(served.start(), qPrintable(served.server.errorText()));
        for (const QByteArray &path : {QByteArray("/index.html"), QByteArray("/"), QByteArray("/missing.html")}) {
            const QByteArray answer = get(served.port(), path);
            QVERIFY2(answer.contains("\r\nContent-Security-Policy: frame-ancestors 'none'\r\n"), answer.constData());
        }
        const QByteArray page = get(served.port(), "/");
        QVERIFY(page.contains("Content-Type: text/html; charset=utf-8\r\n"));
        QVERIFY(page.endsWith("<html>page</html>"));
        QVERIFY(get(served.port(), "/pathmere.js").contains("Content-Type: text/javascript; charset=utf-8\r\n"));
    }

    // Ways out of the folder, every one a 404.
    void traversalVariantsGet404()
    {
        ServedPage served;
        QVERIFY2(served.start(), qPrintable(served.server.errorText()));
        const QList<QByteArray> paths = {
            "/../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E/secret.txt", "/.%2e/secret.txt", "/%2e./secret.txt",
            "/..%2fsecret.txt", "/..%2Fsecret.txt", "/%2e%2e%2fsecret.txt", "/img/../../secret.txt",
            "/img/%2e%2e/%2e%2e/secret.txt", "/..\\secret.txt", "/..%5csecret.txt", "//secret.txt",
            "/./index.html/../../secret.txt", "/%252e%252e/secret.txt", "/..;/secret.txt", "/.../secret.txt",
            "/img/..%00/secret.txt", "/index.html/..", "/%c0%ae%c0%ae/secret.txt", "/.hidden"};
        QCOMPARE(paths.size(), 21);
        for (const QByteArray &path : paths) {
            const QByteArray answer = get(served.port(), path);
            QVERIFY2(statusLine(answer) == "HTTP/1.1 404 Not Found" && !answer.contains("outside"), path.constData());
        }
    }

    // Another local user's process gets nothing, whatever it asks.
    void anotherUserIsNotAnswered()
    {
        OTHERUSER_REQUIRE();
        ServedPage served;
        QVERIFY2(served.start(), qPrintable(served.server.errorText()));
        const QByteArray port = QByteArray::number(served.port());
        OtherUser attacker(OtherUser::Attacker);
        const QByteArray answer = attacker.exchange(served.port(), "GET /index.html HTTP/1.1\r\nHost: 127.0.0.1:" + port
                                                                       + "\r\nConnection: close\r\n\r\n");
        QVERIFY2(statusLine(answer) == "HTTP/1.1 403 Forbidden" && !answer.contains("page"), answer.constData());
        QVERIFY(get(served.port(), "/index.html").startsWith("HTTP/1.1 200"));
    }

    void folderWithoutPageIsRefused()
    {
        QTemporaryDir empty;
        WebPageServer server(empty.path());
        QVERIFY(!server.start(0));
        QVERIFY(server.errorText().contains(QLatin1String("index.html")));
    }
};

QTEST_GUILESS_MAIN(TestWebPageServer)
#include "tst_webpageserver.moc"
