#include "updateserver.h"

#include <QTcpSocket>

UpdateServer::UpdateServer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
                socket->setProperty("request", request);
                if (request.contains("\r\n\r\n"))
                    answer(socket, request);
            });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool UpdateServer::listen()
{
    return server.listen(QHostAddress::LocalHost, 0);
}

QString UpdateServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void UpdateServer::serve(const QString &path, const QByteArray &body, Mode mode, int status)
{
    routes.insert(path, Route{body, mode, status});
}

void UpdateServer::answer(QTcpSocket *socket, const QByteArray &request)
{
    socket->setProperty("request", QByteArray());
    const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
    const QString path = line.size() >= 2 ? QString::fromLatin1(line.at(1)) : QString();
    counts[path] += 1;
    const auto it = routes.constFind(path);
    const Route route = it == routes.constEnd() ? Route{QByteArrayLiteral("not here"), Whole, 404} : *it;
    const QByteArray reason = route.status == 200 ? QByteArrayLiteral("OK") : QByteArrayLiteral("Not Found");
    socket->write("HTTP/1.1 " + QByteArray::number(route.status) + ' ' + reason + "\r\nContent-Length: "
                  + QByteArray::number(route.body.size()) + "\r\nConnection: close\r\n\r\n");
    switch (route.mode) {
    case Whole:
        socket->write(route.body);
        socket->disconnectFromHost();
        break;
    case CutShort:
        socket->write(route.body.left(route.body.size() / 2));
        socket->disconnectFromHost();
        break;
    case Stall:
        // Half the body, then nothing more until the client gives up.
        socket->write(route.body.left(route.body.size() / 2));
        break;
    }
}
