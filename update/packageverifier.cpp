#include "packageverifier.h"

#include "updateversion.h"

#include <QCryptographicHash>
#include <QFile>

#include <sodium.h>

namespace {
bool fail(QString *why, const QString &reason)
{
    *why = reason;
    return false;
}
} // namespace

PackageVerifier::PackageVerifier(const QByteArray &publicKey, const QString &floorVersion)
    : key(publicKey)
    , floor(floorVersion)
{
}

bool PackageVerifier::usableKey(const QByteArray &key)
{
    return key.size() == int(crypto_sign_PUBLICKEYBYTES);
}

bool PackageVerifier::verifyManifest(const Offer &offer, UpdateManifest *manifest, QString *why) const
{
    if (sodium_init() < 0)
        return fail(why, QStringLiteral("the signature library could not start"));
    if (!usableKey(key))
        return fail(why, QStringLiteral("this build has no valid update key"));
    if (offer.signature.isEmpty())
        return fail(why, QStringLiteral("the description carries no signature"));
    if (offer.signature.size() > maxSignatureTextLength)
        return fail(why, QStringLiteral("the signature text is too long"));
    const auto signature = QByteArray::fromBase64Encoding(offer.signature, QByteArray::AbortOnBase64DecodingErrors);
    if (!signature || signature.decoded.size() != int(crypto_sign_BYTES))
        return fail(why, QStringLiteral("the signature is not Base64 of %1 bytes").arg(crypto_sign_BYTES));
    if (offer.manifest.isEmpty())
        return fail(why, QStringLiteral("the description carries no signed manifest"));
    if (offer.manifest.size() > maxManifestTextLength)
        return fail(why, QStringLiteral("the manifest text is too long"));
    const auto text = QByteArray::fromBase64Encoding(offer.manifest, QByteArray::AbortOnBase64DecodingErrors);
    if (!text)
        return fail(why, QStringLiteral("the manifest is not Base64"));
    // The key speaks for the manifest, and through its SHA-256 for the package.
    if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char *>(signature.decoded.constData()),
                                    reinterpret_cast<const unsigned char *>(text.decoded.constData()),
                                    static_cast<unsigned long long>(text.decoded.size()),
                                    reinterpret_cast<const unsigned char *>(key.constData()))
        != 0)
        return fail(why, QStringLiteral("the signature does not match the package"));
    UpdateManifest signedManifest;
    if (!UpdateManifest::decode(text.decoded, &signedManifest, why))
        return false;
    if (signedManifest.version != offer.version)
        return fail(why, QStringLiteral("the signed version %1 is not the offered %2").arg(signedManifest.version, offer.version));
    if (signedManifest.fileName != offer.fileName)
        return fail(why, QStringLiteral("the signed file name %1 is not the offered %2").arg(signedManifest.fileName, offer.fileName));
    if (!UpdateVersion::isNewer(signedManifest.version, floor))
        return fail(why, QStringLiteral("the signed version %1 is not newer than %2").arg(signedManifest.version, floor));
    *manifest = signedManifest;
    return true;
}

bool PackageVerifier::verify(const QString &packagePath, const Offer &offer, QString *why) const
{
    UpdateManifest manifest;
    if (!verifyManifest(offer, &manifest, why))
        return false;
    QFile file(packagePath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(why, QStringLiteral("the package cannot be read"));
    if (file.size() != manifest.size)
        return fail(why, QStringLiteral("the package has %1 bytes, the signed manifest %2").arg(file.size()).arg(manifest.size));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || file.pos() != manifest.size)
        return fail(why, QStringLiteral("the package cannot be read"));
    if (hash.result() != manifest.sha256)
        return fail(why, QStringLiteral("the package does not match its signed manifest"));
    return true;
}
