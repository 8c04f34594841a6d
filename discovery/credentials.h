#ifndef CREDENTIALS_H
#define CREDENTIALS_H

#include <QString>

// The user ID and password a camera asks before it takes new settings.
struct Credentials
{
    QString userId;
    QString password;
};

#endif // CREDENTIALS_H
