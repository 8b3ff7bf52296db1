// LoopbackHttpServer: a small HTTP server on 127.0.0.1 that a test starts and stops itself.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

namespace update_test {

struct HttpResponse
{
    int status = 200;
    QByteArray body;
    bool sendLength = true; // Content-Length header; without it the body ends with the connection
    qint64 cutAfter = -1; // close the connection after this many body bytes
    qint64 holdAfter = -1; // send this many body bytes, then keep the connection open, silent
};

// Serves fixed responses by path on its own thread, so that a client blocking the test's thread
// is still answered. Unknown paths get 404.
class LoopbackHttpServer : public QThread
{
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer() override;

    void serve(const QString &path, HttpResponse response);
    // "http://127.0.0.1:<port>/upgrade", the base address of the upgrade folder.
    QString baseAddress() const;
    int requestCount(const QString &path) const;
    // The raw head of the last request for `path`.
    QByteArray lastRequestHead(const QString &path) const;

    // A loopback address with a port that nothing listens on.
    static QString unusedAddress();

protected:
    void run() override;

private:
    bool takeResponse(const QString &path, const QByteArray &head, HttpResponse &response);

    mutable QMutex m_mutex;
    QWaitCondition m_ready;
    quint16 m_port = 0;
    bool m_listening = false;
    QHash<QString, HttpResponse> m_routes;
    QHash<QString, int> m_counts;
    QHash<QString, QByteArray> m_heads;
};

} // namespace update_test
