// The control page's loopback HTTP server: the page and its files are
// served, nothing outside the folder and no request body is, and a taken
// port is reported.
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

QByteArray get(quint16 port, const QByteArray &path)
{
    return request(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

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
