#include "update/loopback_http_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <stdexcept>

namespace update_test {

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer()
{
    QMutexLocker lock(&m_mutex);
    start();
    while (!m_listening) {
        m_ready.wait(&m_mutex);
    }
    if (m_port == 0) {
        throw std::runtime_error("the loopback HTTP server could not listen");
    }
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    quit();
    wait();
}

void LoopbackHttpServer::serve(const QString &path, HttpResponse response)
{
    QMutexLocker lock(&m_mutex);
    m_routes.insert(path, std::move(response));
}

QString LoopbackHttpServer::baseAddress() const
{
    return QStringLiteral("http://127.0.0.1:%1/upgrade").arg(m_port);
}

int LoopbackHttpServer::requestCount(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    return m_counts.value(path);
}

QByteArray LoopbackHttpServer::lastRequestHead(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    return m_heads.value(path);
}

QString LoopbackHttpServer::unusedAddress()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        throw std::runtime_error("no free loopback port");
    }
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1/upgrade").arg(port);
}

bool LoopbackHttpServer::takeResponse(
    const QString &path, const QByteArray &head, HttpResponse &response)
{
    QMutexLocker lock(&m_mutex);
    m_counts[path] += 1;
    m_heads[path] = head;
    const auto found = m_routes.constFind(path);
    if (found == m_routes.constEnd()) {
        return false;
    }
    response = *found;
    return true;
}

void LoopbackHttpServer::run()
{
    QTcpServer server;
    const bool listening = server.listen(QHostAddress::LocalHost, 0);
    {
        QMutexLocker lock(&m_mutex);
        m_port = listening ? server.serverPort() : 0;
        m_listening = true;
        m_ready.wakeAll();
    }
    if (!listening) {
        return;
    }
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            socket->setParent(&server);
            auto *buffer = new QByteArray;
            QObject::connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0) {
                    return;
                }
                const QByteArray head = buffer->left(end);
                buffer->clear();
                const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
                const QString path
                    = requestLine.size() > 1 ? QString::fromLatin1(requestLine[1]) : QString();
                HttpResponse response;
                if (!takeResponse(path, head, response)) {
                    response.status = 404;
                    response.body = "<html>not here</html>";
                }
                QByteArray reply = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
                    + reasonPhrase(response.status)
                    + "\r\nContent-Type: application/octet-stream\r\n";
                if (response.sendLength) {
                    reply += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
                }
                reply += "Connection: close\r\n\r\n";
                qint64 sent = response.body.size();
                if (response.cutAfter >= 0) {
                    sent = qMin(sent, response.cutAfter);
                }
                if (response.holdAfter >= 0) {
                    sent = qMin(sent, response.holdAfter);
                }
                socket->write(reply + response.body.left(sent));
                if (response.holdAfter < 0) {
                    socket->disconnectFromHost();
                }
            });
        }
    });
    exec();
}

} // namespace update_test
