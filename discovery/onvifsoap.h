#ifndef ONVIFSOAP_H
#define ONVIFSOAP_H

#include "soapdocument.h"
#include "soapwriter.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What every ONVIF device call shares: the envelope with its namespaces,
// the WS-Security UsernameToken with its password digest, and SOAP faults,
// for both sides (the program's client and camsim's device service).
//
// The digest is Base64(SHA-1(nonce + created + password)) with the raw
// nonce bytes, and created is the camera's time: a camera whose clock is off
// refuses a token made with ours.
class OnvifSoap
{
public:
    // An answer of a device call: far past any real one (a few KiB).
    static constexpr int MaxAnswerSize = 1024 * 1024;
    // A request as camsim accepts it.
    static constexpr int MaxRequestSize = 64 * 1024;
    static constexpr int NonceBytes = 16;

    static const QString DeviceNamespace;      // tds
    static const QString SchemaNamespace;      // tt
    static const QString SecurityNamespace;    // wsse
    static const QString UtilityNamespace;     // wsu
    static const QString ErrorNamespace;       // ter
    static const QString PasswordDigestType;

    struct Credentials
    {
        QString user;
        QString password;
    };

    // One UsernameToken as sent or received.
    struct Token
    {
        QString user;
        QString digest;      // Base64
        QByteArray nonce;    // raw bytes
        QString created;     // "yyyy-MM-ddThh:mm:ssZ" (or with fractions)
    };

    static QString passwordDigest(const QByteArray &nonce, const QString &created, const QString &password);
    static QString createdText(const QDateTime &utc);
    // A token for credentials made at the camera's time cameraUtc with nonce.
    static Token makeToken(const Credentials &credentials, const QDateTime &cameraUtc, const QByteArray &nonce);
    static QByteArray randomNonce();

    // A request envelope: an optional Security header, then the body the
    // callback writes.
    static SoapWriter::Namespaces namespaces();
    static void writeSecurityHeader(SoapWriter &writer, const Token &token);

    // How a camera answered, before the answer's own content is read.
    struct Outcome
    {
        enum Kind {
            Ok,
            Unauthorized,   // a fault saying the login was refused
            Fault,          // any other fault: code and reason in detail
            Malformed       // not SOAP, or not the answer expected
        };
        Kind kind = Malformed;
        QString detail;
    };

    // Reads an answer: a SOAP fault is Unauthorized or Fault, a body whose
    // first element is expectedElement (device namespace) is Ok and its index
    // goes to *content.
    static Outcome readAnswer(const SoapDocument &doc, const QString &expectedElement, int *content);
    static SoapDocument::Limits answerLimits();
    static SoapDocument::Limits requestLimits();

    // The Security header's UsernameToken of a request; false when there is none.
    static bool readToken(const SoapDocument &doc, Token *token);
    // Whether token carries password's digest and was created within
    // toleranceSeconds of cameraNowUtc.
    static bool verifyToken(const Token &token, const Credentials &expected, const QDateTime &cameraNowUtc,
                            int toleranceSeconds);

    // camsim's faults.
    enum class FaultKind { NotAuthorized, InvalidArgs, ActionNotSupported };
    static QByteArray fault(FaultKind kind, const QString &reason);

private:
    OnvifSoap() = delete;
};

#endif // ONVIFSOAP_H
