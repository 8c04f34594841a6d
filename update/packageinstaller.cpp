#include "packageinstaller.h"

#include "packageverifier.h"
#include "updatepaths.h"
#include "zipentryname.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <minizip/unzip.h>

#include <sys/stat.h>

#include <vector>

namespace {

class ArchiveCloser
{
public:
    explicit ArchiveCloser(unzFile f) : file(f) {}
    ~ArchiveCloser()
    {
        if (file)
            unzClose(file);
    }
    ArchiveCloser(const ArchiveCloser &) = delete;
    ArchiveCloser &operator=(const ArchiveCloser &) = delete;

private:
    unzFile file;
};

// Whether the existing folder inner is folder or lies below it, links resolved.
bool withinFolder(const QString &folder, const QString &inner)
{
    const QString base = QFileInfo(folder).canonicalFilePath();
    const QString path = QFileInfo(inner).canonicalFilePath();
    return !base.isEmpty() && !path.isEmpty() && (path == base || path.startsWith(base + QLatin1Char('/')));
}

} // namespace

PackageInstaller::Outcome PackageInstaller::install(const QString &packagePath, const PackageVerifier::Offer &offer,
                                                    const QByteArray &publicKey, const QString &floorVersion,
                                                    const QString &targetFolder)
{
    Outcome outcome;
    if (!QFileInfo(packagePath).isFile()) {
        outcome.result = Outcome::Missing;
        outcome.detail = QStringLiteral("the package file does not exist");
        return outcome;
    }
    const PackageVerifier verifier(publicKey, floorVersion);
    if (!verifier.verify(packagePath, offer, &outcome.detail)) {
        outcome.result = Outcome::NotVerified;
        return outcome;
    }
    if (!unzipPackage(packagePath, targetFolder, &outcome.detail)) {
        outcome.result = Outcome::UnpackFailed;
        return outcome;
    }
    const QString folder = targetFolder.endsWith(QLatin1Char('/')) ? targetFolder : targetFolder + QLatin1Char('/');
    const QFileInfo program(folder + UpdatePaths::executableName());
    if (!program.isFile() || program.isSymLink() || !program.isExecutable()) {
        outcome.result = Outcome::NoExecutable;
        outcome.detail = QStringLiteral("the package brings no executable \"%1\"").arg(UpdatePaths::executableName());
        return outcome;
    }
    outcome.result = Outcome::Ready;
    outcome.executable = program.absoluteFilePath();
    return outcome;
}

bool PackageInstaller::unzipPackage(const QString &zipPath, const QString &targetFolder, QString *error)
{
    const QFileInfo zipInfo(zipPath);
    if (!zipInfo.isFile()) {
        *error = QStringLiteral("the package file does not exist");
        return false;
    }
    if (zipInfo.size() > PackageVerifier::maxPackageSize) {
        *error = QStringLiteral("the package is larger than %1 bytes").arg(PackageVerifier::maxPackageSize);
        return false;
    }
    unzFile archive = unzOpen64(QFile::encodeName(zipPath).constData());
    if (!archive) {
        *error = QStringLiteral("the package is not a zip archive");
        return false;
    }
    const ArchiveCloser closer(archive);

    unz_global_info64 global;
    if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) {
        *error = QStringLiteral("the archive's directory cannot be read");
        return false;
    }
    if (global.number_entry > ZPOS64_T(maxEntries)) {
        *error = QStringLiteral("the archive has more than %1 entries").arg(maxEntries);
        return false;
    }

    // First pass: judge every entry before anything is written.
    struct Entry { QString path; uint mode; bool folder; };
    std::vector<Entry> entries;
    entries.reserve(size_t(global.number_entry));
    ZPOS64_T total = 0;
    char name[ZipEntryName::nameBufferSize];
    int status = unzGoToFirstFile(archive);
    for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
        unz_file_info64 info;
        if (status != UNZ_OK
            || unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
            *error = QStringLiteral("entry %1 of the archive cannot be read").arg(i + 1);
            return false;
        }
        if (info.size_filename >= sizeof name) {
            *error = QStringLiteral("entry %1 has a name too long").arg(i + 1);
            return false;
        }
        const ZipEntryName::Result checked = ZipEntryName::check(QByteArray(name, int(info.size_filename)),
                                                                 quint32(info.version), quint32(info.external_fa));
        if (checked.kind == ZipEntryName::Refused) {
            *error = checked.reason;
            return false;
        }
        total += info.uncompressed_size;
        if (total > ZPOS64_T(maxTotalUncompressed)) {
            *error = QStringLiteral("the archive unpacks to more than %1 bytes").arg(maxTotalUncompressed);
            return false;
        }
        entries.push_back({checked.path, checked.mode, checked.kind == ZipEntryName::Folder});
        status = unzGoToNextFile(archive);
    }

    if (!removeFolderTree(targetFolder) || !QDir().mkpath(targetFolder)) {
        *error = QStringLiteral("the extraction folder cannot be made afresh");
        return false;
    }

    qint64 budget = maxTotalUncompressed;
    status = unzGoToFirstFile(archive);
    for (const Entry &entry : entries) {
        if (status != UNZ_OK) {
            *error = QStringLiteral("the archive cannot be read to its end");
            return false;
        }
        if (entry.folder) {
            if (!QDir(targetFolder).mkpath(entry.path)) {
                *error = QStringLiteral("folder \"%1\" cannot be made").arg(entry.path);
                return false;
            }
        } else if (!extractCurrentEntry(archive, entry.path, entry.mode, targetFolder, &budget, error)) {
            return false;
        }
        status = unzGoToNextFile(archive);
    }
    return true;
}

bool PackageInstaller::extractCurrentEntry(void *archive, const QString &relativePath, uint mode,
                                           const QString &targetFolder, qint64 *budget, QString *error)
{
    const QString folder = targetFolder.endsWith(QLatin1Char('/')) ? targetFolder : targetFolder + QLatin1Char('/');
    const QString target = folder + relativePath;
    const QFileInfo targetInfo(target);
    // The name check already keeps entries inside; this also catches a path
    // that runs through something already unpacked that is not a folder.
    if (!QDir().mkpath(targetInfo.path()) || !withinFolder(folder, targetInfo.path()) || targetInfo.isSymLink()) {
        *error = QStringLiteral("entry \"%1\" cannot be placed in the folder").arg(relativePath);
        return false;
    }
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("\"%1\" cannot be written: %2").arg(relativePath, out.errorString());
        return false;
    }
    if (unzOpenCurrentFile(archive) != UNZ_OK) {
        *error = QStringLiteral("entry \"%1\" cannot be opened").arg(relativePath);
        return false;
    }
    std::vector<char> buffer(readBufferSize);
    bool ok = true;
    for (;;) {
        const int n = unzReadCurrentFile(archive, buffer.data(), unsigned(buffer.size()));
        if (n < 0) {
            *error = QStringLiteral("entry \"%1\" is damaged").arg(relativePath);
            ok = false;
            break;
        }
        if (n == 0)
            break;
        *budget -= n;
        if (*budget < 0) {
            *error = QStringLiteral("the archive unpacks to more than %1 bytes").arg(maxTotalUncompressed);
            ok = false;
            break;
        }
        if (out.write(buffer.data(), n) != n) {
            *error = QStringLiteral("\"%1\" cannot be written: %2").arg(relativePath, out.errorString());
            ok = false;
            break;
        }
    }
    // Also reports a checksum mismatch once the whole entry was read.
    if (unzCloseCurrentFile(archive) != UNZ_OK && ok) {
        *error = QStringLiteral("entry \"%1\" fails its checksum").arg(relativePath);
        ok = false;
    }
    out.close();
    if (ok && mode != 0 && ::chmod(QFile::encodeName(target).constData(), mode) != 0) {
        *error = QStringLiteral("the mode of \"%1\" cannot be set").arg(relativePath);
        ok = false;
    }
    return ok;
}

bool PackageInstaller::removeFolderTree(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isSymLink() || !info.isDir())
        return QFile::remove(folder);
    // removeRecursively deletes links, never follows them.
    return QDir(folder).removeRecursively();
}
