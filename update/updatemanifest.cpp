#include "updatemanifest.h"

#include "updateversion.h"

#include <QList>

namespace {
const QByteArray magicLine = QByteArrayLiteral("Pathmere-Update-Manifest: 1");
const QByteArray versionKey = QByteArrayLiteral("Version: ");
const QByteArray fileKey = QByteArrayLiteral("File: ");
const QByteArray sizeKey = QByteArrayLiteral("Size: ");
const QByteArray hashKey = QByteArrayLiteral("SHA-256: ");
constexpr int fieldCount = 5;

bool isLowerHex(const QByteArray &text)
{
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// A decimal without sign or leading zeros, 1 .. max.
bool readSize(const QByteArray &text, qint64 max, qint64 *size)
{
    if (text.isEmpty() || text.size() > 18 || text.startsWith('0'))
        return false;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return false;
    *size = value;
    return true;
}

// All of text, NUL bytes included (the QByteArray overload stops at a NUL,
// which would let "1.2\0junk" pass for "1.2").
QString wholeLatin1(const QByteArray &text)
{
    return QString::fromLatin1(text.constData(), text.size());
}

bool fail(QString *why, const QString &reason)
{
    *why = reason;
    return false;
}
} // namespace

QByteArray UpdateManifest::encode() const
{
    return magicLine + '\n' + versionKey + version.toLatin1() + '\n' + fileKey + fileName.toLatin1() + '\n' + sizeKey
        + QByteArray::number(size) + '\n' + hashKey + sha256.toHex() + '\n';
}

bool UpdateManifest::usableFileName(const QString &name)
{
    if (name.isEmpty() || name.size() > maxFileNameLength || name.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar c : name) {
        const ushort u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.'
            || u == '_' || u == '-';
        if (!ok)
            return false;
    }
    return true;
}

bool UpdateManifest::decode(const QByteArray &text, UpdateManifest *manifest, QString *why)
{
    if (text.size() > maxTextSize)
        return fail(why, QStringLiteral("the manifest is larger than %1 bytes").arg(maxTextSize));
    if (!text.endsWith('\n'))
        return fail(why, QStringLiteral("the manifest does not end with a line end"));
    const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    if (lines.size() != fieldCount)
        return fail(why, QStringLiteral("the manifest has %1 lines, not %2").arg(lines.size()).arg(fieldCount));
    if (lines.at(0) != magicLine)
        return fail(why, QStringLiteral("the manifest does not start with its kind and format"));
    const QByteArray keys[] = {versionKey, fileKey, sizeKey, hashKey};
    for (int i = 0; i < 4; ++i) {
        if (!lines.at(i + 1).startsWith(keys[i]))
            return fail(why, QStringLiteral("manifest line %1 is not \"%2\"").arg(i + 2).arg(QString::fromLatin1(keys[i].trimmed())));
    }

    UpdateManifest read;
    const QByteArray version = lines.at(1).mid(versionKey.size());
    QVector<quint32> parts;
    if (!UpdateVersion::parse(wholeLatin1(version), &parts))
        return fail(why, QStringLiteral("the manifest's version is not dotted numbers"));
    read.version = wholeLatin1(version);

    const QByteArray name = lines.at(2).mid(fileKey.size());
    read.fileName = wholeLatin1(name);
    if (!usableFileName(read.fileName))
        return fail(why, QStringLiteral("the manifest's file name is not a plain file name"));

    if (!readSize(lines.at(3).mid(sizeKey.size()), maxPackageSize, &read.size))
        return fail(why, QStringLiteral("the manifest's size is not a number from 1 to %1").arg(maxPackageSize));

    const QByteArray hex = lines.at(4).mid(hashKey.size());
    if (hex.size() != 2 * sha256Size || !isLowerHex(hex))
        return fail(why, QStringLiteral("the manifest's SHA-256 is not %1 lower-case hex digits").arg(2 * sha256Size));
    read.sha256 = QByteArray::fromHex(hex);

    *manifest = read;
    return true;
}

bool UpdateManifest::operator==(const UpdateManifest &other) const
{
    return version == other.version && fileName == other.fileName && size == other.size && sha256 == other.sha256;
}
