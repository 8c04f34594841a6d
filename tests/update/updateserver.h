#ifndef UPDATESERVER_H
#define UPDATESERVER_H

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTcpServer>

// A small HTTP/1.1 server on loopback for the update suites: it serves the
// description and the packages, and can cut a reply short, stall in the
// middle of one, or answer 404 for what it does not know.
class UpdateServer : public QObject
{
    Q_OBJECT

public:
    enum Mode { Whole, CutShort, Stall };

    explicit UpdateServer(QObject *parent = nullptr);
    bool listen();
    // Stops listening: the next request finds nobody there.
    void close() { server.close(); }
    quint16 port() const { return server.serverPort(); }
    QString url(const QString &path) const;

    void serve(const QString &path, const QByteArray &body, Mode mode = Whole, int status = 200);
    void remove(const QString &path) { routes.remove(path); }
    int requests(const QString &path) const { return counts.value(path); }

private:
    struct Route
    {
        QByteArray body;
        Mode mode = Whole;
        int status = 200;
    };

    void answer(class QTcpSocket *socket, const QByteArray &request);

    QTcpServer server;
    QHash<QString, Route> routes;
    QHash<QString, int> counts;
};

#endif // UPDATESERVER_H
