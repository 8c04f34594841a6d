// pathmere-update-sign keygen SECRET-KEY-FILE
//     writes a new secret key (mode 0600) and prints the public key, the
//     value of the CMake cache variable PATHMERE_UPDATE_PUBLIC_KEY.
// pathmere-update-sign sign SECRET-KEY-FILE PACKAGE
//     prints the Base64 signature of PACKAGE, the value of "Signature" in
//     the "OTA" section of the update description.

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <sodium.h>

#include <cstdio>

namespace {
constexpr qint64 maxPackageSize = 512LL * 1024 * 1024;

int usage()
{
    std::fputs("usage: pathmere-update-sign keygen SECRET-KEY-FILE\n"
               "       pathmere-update-sign sign SECRET-KEY-FILE PACKAGE\n", stderr);
    return 2;
}

int fail(const char *what)
{
    std::fprintf(stderr, "pathmere-update-sign: %s\n", what);
    return 1;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (sodium_init() < 0)
        return fail("libsodium cannot start");
    QTextStream out(stdout);

    if (args.size() == 2 && args.at(0) == QLatin1String("keygen")) {
        QByteArray pk(crypto_sign_PUBLICKEYBYTES, '\0');
        QByteArray sk(crypto_sign_SECRETKEYBYTES, '\0');
        crypto_sign_keypair(reinterpret_cast<unsigned char *>(pk.data()), reinterpret_cast<unsigned char *>(sk.data()));
        QFile file(args.at(1));
        if (file.exists())
            return fail("the secret key file exists already");
        if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner)
            || file.write(sk.toBase64() + '\n') <= 0)
            return fail("the secret key file cannot be written");
        sodium_memzero(sk.data(), size_t(sk.size()));
        out << pk.toBase64() << '\n';
        return 0;
    }
    if (args.size() == 3 && args.at(0) == QLatin1String("sign")) {
        QFile keyFile(args.at(1));
        if (!keyFile.open(QIODevice::ReadOnly))
            return fail("the secret key file cannot be read");
        QByteArray sk = QByteArray::fromBase64(keyFile.read(1024).trimmed());
        if (sk.size() != int(crypto_sign_SECRETKEYBYTES))
            return fail("the secret key file holds no secret key");
        QFile package(args.at(2));
        if (!package.open(QIODevice::ReadOnly) || package.size() <= 0 || package.size() > maxPackageSize)
            return fail("the package cannot be read, is empty or is too large");
        const QByteArray data = package.readAll();
        QByteArray signature(crypto_sign_BYTES, '\0');
        crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char *>(data.constData()), quint64(data.size()),
                             reinterpret_cast<const unsigned char *>(sk.constData()));
        sodium_memzero(sk.data(), size_t(sk.size()));
        out << signature.toBase64() << '\n';
        return 0;
    }
    return usage();
}
