#ifndef KEYRINGLOGIN_H
#define KEYRINGLOGIN_H

#include "credentialkeyring.h"
#include "devicerecord.h"

#include <QString>

class QCommandLineParser;

// The --keyring side of a command that writes camera settings: where its
// login comes from, and what it keeps after a confirmed write.
//
// The order: --password-stdin, then PATHMERE_PASSWORD, then (with
// --keyring) the camera's own entry and then its site's, then a prompt on a
// terminal. A login that came from the keyring is not stored again; one
// that came from elsewhere is stored once the camera confirmed it took it.
class KeyringLogin
{
public:
    enum class Scope { Camera, Site };

    // --keyring and --keyring-scope; cameras names the cameras in the help.
    static void addOptions(QCommandLineParser *parser, const QString &cameras);
    // False with a sentence when the options cannot be used.
    bool read(const QCommandLineParser &parser, QString *error);

    bool enabled() const { return m_enabled; }
    // Whether the password is left for the keyring: --keyring without
    // --password-stdin and without PATHMERE_PASSWORD.
    bool defersPassword(const QCommandLineParser &parser) const;

    // Looks the camera's login up (its entry, then its site's). True with
    // user and password filled; false when there is none or no keyring,
    // with *note saying so in one sentence (empty when nothing is worth
    // saying, such as a second notice of a missing keyring). A given user
    // ID that differs from the entry's leaves the entry unused.
    bool fill(const DeviceRecord &camera, QString *user, QString *password, QString *note);
    bool cameFromKeyring() const { return m_fromKeyring; }
    bool storesPerCamera() const { return m_scope == Scope::Camera; }

    // After a confirmed write with a login from elsewhere: stores it for the
    // camera (now at the given record's address) or its site. A sentence for
    // standard error either way; empty when nothing was to be stored.
    QString remember(const DeviceRecord &camera, const QString &user, const QString &password) const;

    // The scope of a camera's own entry.
    static CredentialScope cameraScope(const DeviceRecord &camera);

private:
    bool m_enabled = false;
    Scope m_scope = Scope::Camera;
    bool m_fromKeyring = false;
};

#endif // KEYRINGLOGIN_H
