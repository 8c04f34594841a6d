#include "packageverifier.h"

#include <QFile>

#include <sodium.h>

PackageVerifier::PackageVerifier(const QByteArray &publicKey)
    : key(publicKey)
{
}

bool PackageVerifier::verify(const QString &packagePath, const QByteArray &signatureBase64, QString *why) const
{
    if (sodium_init() < 0) {
        *why = QStringLiteral("the signature library could not start");
        return false;
    }
    if (key.size() != int(crypto_sign_PUBLICKEYBYTES)) {
        *why = QStringLiteral("this build has no valid update key");
        return false;
    }
    if (signatureBase64.isEmpty()) {
        *why = QStringLiteral("the description carries no signature");
        return false;
    }
    if (signatureBase64.size() > maxSignatureTextLength) {
        *why = QStringLiteral("the signature text is too long");
        return false;
    }
    const auto decoded = QByteArray::fromBase64Encoding(signatureBase64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != int(crypto_sign_BYTES)) {
        *why = QStringLiteral("the signature is not Base64 of %1 bytes").arg(crypto_sign_BYTES);
        return false;
    }
    QFile file(packagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("the package cannot be read");
        return false;
    }
    const qint64 size = file.size();
    if (size <= 0 || size > maxPackageSize) {
        *why = QStringLiteral("the package size %1 is out of range").arg(size);
        return false;
    }
    const uchar *data = file.map(0, size);
    if (!data) {
        *why = QStringLiteral("the package cannot be mapped");
        return false;
    }
    const int result = crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(decoded.decoded.constData()),
                                                   data, static_cast<unsigned long long>(size),
                                                   reinterpret_cast<const unsigned char *>(key.constData()));
    file.unmap(const_cast<uchar *>(data));
    if (result != 0) {
        *why = QStringLiteral("the signature does not match the package");
        return false;
    }
    return true;
}
