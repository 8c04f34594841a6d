#ifndef UPDATEPATHS_H
#define UPDATEPATHS_H

#include <QByteArray>
#include <QString>
#include <QUrl>

// Where the update data lives and where the description comes from.
class UpdatePaths
{
public:
    // The generic data location + "/Pathmere/" (ends with "/"), created
    // when missing; private to this user (0700).
    static QString dataFolder();
    // dataFolder() + "tmpOTAUpdateFile/": what a package unpacks into.
    static QString extractionFolder();
    // The program a package must bring, in the extraction folder.
    static QString executableName();

    // Where a package is downloaded to. The name is ours, never the
    // server's: a server that names its package "setting.ini" must not
    // write over the settings.
    static QString packageFile();
    // "update.cfg": what was downloaded (and installed) before.
    static QString localRecordFile();
    // "ServerUpdate.cfg": the copy of the last description.
    static QString serverCopyFile();
    static QString settingsFile();

    // "https://" + the configured host + "/Skyrelay/update.cfg", unless
    // "Update/DescriptionUrl" in "setting.ini" names another http(s) URL
    // (private mirrors, demos, tests); plain http is taken only from there.
    // fromSettings tells which of the two it is.
    static QUrl descriptionUrl(bool *fromSettings = nullptr);
    static QUrl defaultDescriptionUrl();

    // Whether host is a name reserved for examples and tests (example.com,
    // .example, .test, .invalid, ...): a build whose default URL names one
    // has no update server of its own.
    static bool isPlaceholderHost(const QString &host);

    // The public key packages are signed for, as this build was configured;
    // empty when none was (such a build installs nothing).
    static QByteArray builtInPublicKey();

private:
    UpdatePaths() = delete;
};

#endif // UPDATEPATHS_H
