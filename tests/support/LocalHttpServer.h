#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

// A tiny HTTP server on the loopback for the update tests: serves fixed bodies by path,
// 404 for anything else, and remembers every path asked for.
class LocalHttpServer : public QTcpServer {
public:
    LocalHttpServer()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }
    void set(const QString &path, const QByteArray &body) { m_bodies.insert(path, body); }
    void drop(const QString &path) { m_bodies.remove(path); }
    // Announces the whole body of `path` but closes the connection after `sent` bytes.
    void cutShort(const QString &path, qsizetype sent) { m_cuts.insert(path, sent); }
    QStringList requests() const { return m_requests; }

private:
    void serve(QTcpSocket *socket)
    {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            socket->setProperty("head", socket->property("head").toByteArray() + socket->readAll());
            const QByteArray head = socket->property("head").toByteArray();
            if (!head.contains("\r\n\r\n"))
                return;
            const QString path = QString::fromLatin1(head.split(' ').value(1));
            m_requests.append(path);
            const auto found = m_bodies.constFind(path);
            const QByteArray body = found == m_bodies.constEnd() ? QByteArray("not here") : *found;
            const QByteArray status = found == m_bodies.constEnd() ? "404 Not Found" : "200 OK";
            socket->write(
                "HTTP/1.1 " + status + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body.left(m_cuts.value(path, body.size())));
            socket->disconnectFromHost();
        });
    }

    QHash<QString, QByteArray> m_bodies;
    QHash<QString, qsizetype> m_cuts;
    QStringList m_requests;
};
