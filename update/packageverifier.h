#ifndef PACKAGEVERIFIER_H
#define PACKAGEVERIFIER_H

#include "updatemanifest.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Decides whether a downloaded package is the one its publisher signed and
// the one the user agreed to. The Ed25519 signature covers the package's
// manifest (version, file name, size, SHA-256); the package must then match
// the manifest, and the manifest the offer. The program passes the key it
// was built with; tests pass their own.
class PackageVerifier
{
public:
    // What the description offered (and the user said Yes to).
    struct Offer
    {
        QString version;
        // The last part of the package URL.
        QString fileName;
        // Base64 of the manifest text and of its detached signature.
        QByteArray manifest;
        QByteArray signature;
    };

    // floorVersion: an offered version must be newer than this (the running
    // program's, or the last installed one).
    PackageVerifier(const QByteArray &publicKey, const QString &floorVersion);

    // True when packagePath is what offer promises, signed by the key;
    // otherwise false with the reason in why (for the log).
    bool verify(const QString &packagePath, const Offer &offer, QString *why) const;

    // Whether key can be an Ed25519 public key at all (a build without a
    // release key has none).
    static bool usableKey(const QByteArray &key);

    // The manifest of offer when its signature is good (no package needed).
    bool verifyManifest(const Offer &offer, UpdateManifest *manifest, QString *why) const;

    // Largest package accepted anywhere (download, check, unpack).
    static constexpr qint64 maxPackageSize = UpdateManifest::maxPackageSize;
    static constexpr int maxSignatureTextLength = 1024;
    static constexpr int maxManifestTextLength = (UpdateManifest::maxTextSize + 2) / 3 * 4;

private:
    const QByteArray key;
    const QString floor;
};

#endif // PACKAGEVERIFIER_H
