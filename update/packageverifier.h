#ifndef PACKAGEVERIFIER_H
#define PACKAGEVERIFIER_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Checks the detached Ed25519 signature of a package file against one public
// key. The program passes the key it was built with; tests pass their own.
class PackageVerifier
{
public:
    explicit PackageVerifier(const QByteArray &publicKey);

    // True when signatureBase64 is a valid signature of the file's bytes by
    // the key; otherwise false with the reason in why (for the log).
    bool verify(const QString &packagePath, const QByteArray &signatureBase64, QString *why) const;

    // Largest package accepted anywhere (download, check, unpack).
    static constexpr qint64 maxPackageSize = 512LL * 1024 * 1024;
    static constexpr int maxSignatureTextLength = 1024;

private:
    const QByteArray key;
};

#endif // PACKAGEVERIFIER_H
