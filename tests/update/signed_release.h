// SignedRelease: a key pair made for one test, and a release published with it on a loopback
// server the way the update server publishes one: version file with the SHA-256, program, .sig.
#pragma once

#include "update/download_signature.h"
#include "update/loopback_http_server.h"

#include <QByteArray>
#include <QString>
#include <array>

namespace update_test {

class SignedRelease
{
public:
    SignedRelease(); // a fresh key pair
    const update::PublicKey &publicKey() const { return m_public; }
    QByteArray sign(const QByteArray &bytes) const;

    // Serves `<exe>.txt` naming `version` and the SHA-256 of `program`, the program itself and
    // its signature, under the server's upgrade folder.
    void publish(LoopbackHttpServer &server, const QString &exe, const QByteArray &program,
        const QByteArray &version = "1.0.0.2") const;

    static QByteArray versionFile(
        const QByteArray &version, const QByteArray &program, const QString &exe);

private:
    update::PublicKey m_public {};
    std::array<unsigned char, 64> m_secret {};
};

} // namespace update_test
