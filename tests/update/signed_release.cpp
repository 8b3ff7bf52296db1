#include "update/signed_release.h"

#include <sodium.h>
#include <stdexcept>

namespace update_test {

SignedRelease::SignedRelease()
{
    if (sodium_init() < 0 || crypto_sign_keypair(m_public.data(), m_secret.data()) != 0) {
        throw std::runtime_error("libsodium could not make a key pair");
    }
}

QByteArray SignedRelease::sign(const QByteArray &bytes) const
{
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
        reinterpret_cast<const unsigned char *>(bytes.constData()),
        static_cast<unsigned long long>(bytes.size()), m_secret.data());
    return signature;
}

QByteArray SignedRelease::versionFile(
    const QByteArray &version, const QByteArray &program, const QString &exe)
{
    const std::string sha = update::sha256Hex(
        std::string_view(program.constData(), static_cast<std::size_t>(program.size())));
    return version + "\r\n" + QByteArray::fromStdString(sha) + "  " + exe.toUtf8() + "\r\n";
}

void SignedRelease::publish(LoopbackHttpServer &server, const QString &exe,
    const QByteArray &program, const QByteArray &version) const
{
    const QString folder = QStringLiteral("/upgrade/") + exe + QLatin1Char('/') + exe;
    server.serve(
        folder + QLatin1String(".txt"), HttpResponse { 200, versionFile(version, program, exe) });
    server.serve(folder, HttpResponse { 200, program });
    server.serve(folder + QLatin1String(".sig"), HttpResponse { 200, sign(program) });
}

} // namespace update_test
