#ifndef CLIINPUT_H
#define CLIINPUT_H

#include "ipv4rangeset.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// The command line's values, checked before anything is sent: every text has
// a length limit, and whatever cannot be used is refused with one sentence
// naming the option (the error texts end without a full stop; the caller
// prints them as they are).
class CliInput
{
public:
    static constexpr int MaxArguments = 64;
    static constexpr int MaxArgumentLength = 8192;   // room for --only with MaxMacs entries
    static constexpr int MaxTextLength = 64;         // --model and similar texts
    static constexpr int MaxUserLength = 32;         // the record's 33-byte field keeps a terminator
    static constexpr int MaxMacs = 256;
    static constexpr int MaxTargets = 16;            // as many as the search keeps
    static constexpr int MaxRangeCount = 1024;
    static constexpr int MinSeconds = 1;
    static constexpr int MaxSeconds = 60;

    // Search-type mask bits of the words of --sources.
    static constexpr int UtilityBit = 1;
    static constexpr int DocCamBit = 2;
    static constexpr int BoxBit = 4;
    static constexpr int OnvifBit = 8;

    // Dotted-quad IPv4 only ("192.0.2.1"); what names the option in the error.
    static bool ipv4(const QString &text, const QString &what, QHostAddress *address, QString *error);
    // A MAC in any of its common forms: six hex pairs joined by ':' or '-',
    // twelve hex digits, or three groups of four joined by '.'; given back as
    // six pairs joined by ':' in lower case.
    static bool mac(const QString &text, QString *mac, QString *error);
    // An interface name as the system spells it (at most 15 printable
    // characters, no '/'); nothing is looked up here.
    static bool interfaceName(const QString &text);
    // Comma-separated MACs, at most MaxMacs, duplicates dropped.
    static bool macList(const QString &text, QStringList *macs, QString *error);
    // A whole number in [minimum, maximum].
    static bool number(const QString &text, const QString &what, int minimum, int maximum, int *value,
                       QString *error);
    // "FIRST-LAST", both IPv4, FIRST <= LAST, at most MaxRangeCount addresses.
    static bool range(const QString &text, quint32 *first, quint32 *last, QString *error);
    // "utility,onvif,doccam,box" in any order and combination, or "all" ->
    // mask bits.
    static bool sources(const QString &text, int *mask, QString *error);
    // Printable text of at most maxLength characters.
    static bool text(const QString &text, const QString &what, int maxLength, QString *error);
    // The user ID or password as the settings record carries it: 1..32
    // Latin-1 characters.
    static bool credential(const QString &text, const QString &what, QString *error);

    // The values of --target: a plain address stays one of the search's own
    // unicast targets (*addresses, at most MaxTargets); a network or a range
    // joins *sweep, as does every entry of the --targets-from file (file may
    // be empty). Nothing is added to either unless all of it is usable.
    static bool targets(const QStringList &values, const QString &file, QList<QHostAddress> *addresses,
                        Ipv4RangeSet *sweep, QString *error);

private:
    CliInput() = delete;
};

#endif // CLIINPUT_H
