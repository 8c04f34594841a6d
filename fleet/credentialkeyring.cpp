#include "credentialkeyring.h"

#include "applog.h"
#include "wakeonlan.h"

// GLib's headers use "signals" as a field name; Qt defines it as a keyword.
#undef signals
#include <libsecret/secret.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSet>

#include <atomic>
#include <memory>

namespace {

// Attributes: "scope" is "camera" or "site"; a camera's entry carries "mac"
// and "model", a site's "subnet"; every entry carries "user". The password
// is the secret.
const SecretSchema credentialSchema = {
    "org.pathmere.Pathmere.Credential",
    SECRET_SCHEMA_NONE,
    {
        {"scope", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"mac", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"model", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"subnet", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

std::atomic<bool> unavailableNoticeTaken{false};
std::atomic<bool> unavailableLogged{false};

struct HashTableFree
{
    void operator()(GHashTable *table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableFree>;

struct ErrorFree
{
    void operator()(GError *error) const { g_error_free(error); }
};

Attributes newAttributes()
{
    return Attributes(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
}

void insert(GHashTable *table, const char *key, const QString &value)
{
    g_hash_table_insert(table, g_strdup(key), g_strdup(value.toUtf8().constData()));
}

// What identifies the scope's entries, without the user ID.
Attributes identity(const CredentialScope &scope)
{
    Attributes table = newAttributes();
    if (scope.kind() == CredentialScope::Kind::Camera) {
        insert(table.get(), "scope", QStringLiteral("camera"));
        insert(table.get(), "mac", scope.mac());
        if (!scope.model().isEmpty())
            insert(table.get(), "model", scope.model());
    } else if (scope.kind() == CredentialScope::Kind::Site) {
        insert(table.get(), "scope", QStringLiteral("site"));
        insert(table.get(), "subnet", scope.subnet());
    }
    return table;
}

GCancellable *cancellableOf(const CredentialKeyring::Cancellation *cancel)
{
    return cancel ? static_cast<GCancellable *>(cancel->handle()) : nullptr;
}

// No bus at all (no address, or nothing listening), or a bus on which no
// one provides org.freedesktop.secrets nor can be started for it.
bool isUnavailable(const GError *error)
{
    // A keyring that is there but slow (a timed-out call) is a failure of
    // that call, not a missing keyring.
    if (error->domain == G_IO_ERROR)
        return error->code != G_IO_ERROR_CANCELLED && error->code != G_IO_ERROR_TIMED_OUT;
    if (error->domain != G_DBUS_ERROR)
        return false;
    switch (error->code) {
    case G_DBUS_ERROR_SERVICE_UNKNOWN:
    case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
    case G_DBUS_ERROR_NO_SERVER:
    case G_DBUS_ERROR_DISCONNECTED:
    case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
    case G_DBUS_ERROR_SPAWN_FORK_FAILED:
    case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
    case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
    case G_DBUS_ERROR_SPAWN_FAILED:
    case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
    case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
    case G_DBUS_ERROR_SPAWN_NO_MEMORY:
        return true;
    default:
        return false;
    }
}

CredentialKeyring::Result failure(GError *error, const char *what)
{
    const std::unique_ptr<GError, ErrorFree> owned(error);
    CredentialKeyring::Result result;
    if (isUnavailable(error)) {
        result.status = CredentialKeyring::Status::Unavailable;
        result.message = CredentialKeyring::unavailableSentence();
        if (!unavailableLogged.exchange(true))
            appLog(LogSystem::LogMajorMsg, "Keyring: %s (%s)", result.message.toUtf8().constData(), error->message);
        return result;
    }
    result.status = CredentialKeyring::Status::Failed;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        result.message = QStringLiteral("The keyring call was cancelled.");
    else
        result.message = QStringLiteral("The keyring could not %1: %2").arg(QLatin1String(what), QString::fromUtf8(error->message));
    appLog(LogSystem::LogMajorMsg, "Keyring: %s", result.message.toUtf8().constData());
    return result;
}

struct Entry
{
    QString userId;
    QString password;
};

void freeRetrievables(GList *list)
{
    g_list_free_full(list, g_object_unref);
}

// The users of the entries matching attributes (secrets not loaded), or
// the secret of the first one too when withSecret.
// Without a session bus address GLib falls back to autolaunching a bus of
// its own on the X display (dbus-launch), and that bus may start a keyring
// daemon that writes its files into HOME: a side effect nobody asked for.
// Neither DBUS_SESSION_BUS_ADDRESS nor $XDG_RUNTIME_DIR/bus is no bus.
bool noSessionBus(GError **error)
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(QFile::decodeName(runtime + "/bus")))
        return false;
    g_set_error_literal(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_SERVER, "no session bus address");
    return true;
}

bool search(GHashTable *attributes, SecretSearchFlags flags, bool withSecret, GCancellable *cancellable,
            QList<Entry> *entries, GError **error)
{
    if (noSessionBus(error))
        return false;
    GList *found = secret_password_searchv_sync(&credentialSchema, attributes, flags, cancellable, error);
    if (*error)
        return false;
    for (GList *item = found; item; item = item->next) {
        SecretRetrievable *retrievable = SECRET_RETRIEVABLE(item->data);
        Entry entry;
        if (GHashTable *attrs = secret_retrievable_get_attributes(retrievable)) {
            entry.userId = QString::fromUtf8(static_cast<const char *>(g_hash_table_lookup(attrs, "user")));
            g_hash_table_unref(attrs);
        }
        if (withSecret && entries->isEmpty()) {
            SecretValue *value = secret_retrievable_retrieve_secret_sync(retrievable, cancellable, error);
            if (*error) {
                freeRetrievables(found);
                return false;
            }
            if (value) {
                entry.password = QString::fromUtf8(secret_value_get_text(value));
                secret_value_unref(value);
            }
        }
        entries->append(entry);
    }
    freeRetrievables(found);
    return true;
}

CredentialKeyring::Result forgetMatching(Attributes attributes, const CredentialScope &scope, const QString &what,
                                         const CredentialKeyring::Cancellation *cancel)
{
    GError *error = nullptr;
    QList<Entry> entries;
    if (!search(attributes.get(), SECRET_SEARCH_ALL, false, cancellableOf(cancel), &entries, &error))
        return failure(error, "forget the login");
    CredentialKeyring::Result result;
    result.scope = scope;
    if (entries.isEmpty()) {
        result.status = CredentialKeyring::Status::NotFound;
        return result;
    }
    secret_password_clearv_sync(&credentialSchema, attributes.get(), cancellableOf(cancel), &error);
    if (error)
        return failure(error, "forget the login");
    result.status = CredentialKeyring::Status::Forgotten;
    result.count = entries.size();
    appLog(LogSystem::LogMajorMsg, "Keyring: forgot %d login(s) of %s", result.count, what.toUtf8().constData());
    return result;
}

} // namespace

CredentialKeyring::Cancellation::Cancellation()
    : m_cancellable(g_cancellable_new())
{
}

CredentialKeyring::Cancellation::~Cancellation()
{
    g_object_unref(static_cast<GCancellable *>(m_cancellable));
}

void CredentialKeyring::Cancellation::cancel()
{
    g_cancellable_cancel(static_cast<GCancellable *>(m_cancellable));
}

QString CredentialKeyring::unavailableSentence()
{
    return QStringLiteral("No keyring answers on this session's D-Bus (no Secret Service), "
                          "so logins are neither remembered nor filled in.");
}

const char *CredentialKeyring::schemaName()
{
    return credentialSchema.name;
}

bool CredentialKeyring::takeUnavailableNotice()
{
    return !unavailableNoticeTaken.exchange(true);
}

CredentialKeyring::Result CredentialKeyring::lookup(const CredentialScope &camera, const CredentialScope &site,
                                                    Unlock unlock, const Cancellation *cancel)
{
    const int flags = SECRET_SEARCH_LOAD_SECRETS | (unlock == Unlock::Ask ? SECRET_SEARCH_UNLOCK : 0);
    for (const CredentialScope &scope : {camera, site}) {
        if (!scope.isValid())
            continue;
        GError *error = nullptr;
        QList<Entry> entries;
        if (!search(identity(scope).get(), SecretSearchFlags(flags), true, cancellableOf(cancel), &entries, &error))
            return failure(error, "read the login");
        if (entries.isEmpty())
            continue;
        Result result;
        result.status = Status::Found;
        result.userId = entries.first().userId;
        result.password = entries.first().password;
        result.scope = scope;
        return result;
    }
    Result result;
    result.status = Status::NotFound;
    return result;
}

CredentialKeyring::Result CredentialKeyring::store(const CredentialScope &scope, const QString &userId,
                                                   const QString &password, const Cancellation *cancel)
{
    Result result;
    result.scope = scope;
    if (!scope.isValid()) {
        result.message = QStringLiteral("A login is remembered for one camera (MAC and model) or one site (a subnet).");
        return result;
    }
    if (userId.isEmpty() || password.isEmpty()) {
        result.message = QStringLiteral("A login to remember needs both a user ID and a password.");
        return result;
    }
    GError *error = nullptr;
    QList<Entry> before;
    const Attributes same = identity(scope);
    if (!search(same.get(), SECRET_SEARCH_ALL, false, cancellableOf(cancel), &before, &error))
        return failure(error, "remember the login");

    Attributes attributes = identity(scope);
    insert(attributes.get(), "user", userId);
    const QByteArray label = QStringLiteral("Pathmere login for %1").arg(scope.description()).toUtf8();
    secret_password_storev_sync(&credentialSchema, attributes.get(), SECRET_COLLECTION_DEFAULT, label.constData(),
                                password.toUtf8().constData(), cancellableOf(cancel), &error);
    if (error)
        return failure(error, "remember the login");

    // The new entry is in; only now do the scope's other user IDs go, so a
    // failed store never loses the login it was to replace.
    QSet<QString> others;
    for (const Entry &entry : qAsConst(before)) {
        if (entry.userId != userId)
            others.insert(entry.userId);
    }
    for (const QString &other : qAsConst(others)) {
        Attributes old = identity(scope);
        insert(old.get(), "user", other);
        secret_password_clearv_sync(&credentialSchema, old.get(), cancellableOf(cancel), &error);
        if (error)
            return failure(error, "replace the earlier login");
    }
    result.status = Status::Stored;
    appLog(LogSystem::LogMajorMsg, "Keyring: remembered the login of %s", scope.description().toUtf8().constData());
    return result;
}

CredentialKeyring::Result CredentialKeyring::forget(const CredentialScope &scope, const Cancellation *cancel)
{
    if (!scope.isValid()) {
        Result result;
        result.message = QStringLiteral("Nothing to forget: name a camera or a site.");
        return result;
    }
    return forgetMatching(identity(scope), scope, scope.description(), cancel);
}

CredentialKeyring::Result CredentialKeyring::forgetCamera(const QString &mac, const Cancellation *cancel)
{
    if (!WakeOnLan::isMacText(mac)) {
        Result result;
        result.message = QStringLiteral("Nothing to forget: that is not a MAC address.");
        return result;
    }
    Attributes attributes = newAttributes();
    insert(attributes.get(), "scope", QStringLiteral("camera"));
    insert(attributes.get(), "mac", mac.toLower());
    return forgetMatching(std::move(attributes), CredentialScope(), QStringLiteral("camera %1").arg(mac.toLower()),
                          cancel);
}

CredentialKeyring::Result CredentialKeyring::forgetAll(const Cancellation *cancel)
{
    return forgetMatching(newAttributes(), CredentialScope(), QStringLiteral("this program"), cancel);
}

void CredentialKeyring::disconnect()
{
    secret_service_disconnect();
}
