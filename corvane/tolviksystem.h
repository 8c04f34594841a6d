#ifndef TOLVIKSYSTEM_H
#define TOLVIKSYSTEM_H

#include "corvane_global.h"

#include <QString>

// Questions about the machine the program runs on.
class CORVANE_EXPORT TolvikSystem
{
public:
    // Bytes still available to the user on the volume that holds the folder,
    // -1 when the folder does not exist (or the volume cannot be asked).
    static qint64 freeSpace(QString path);
};

#endif // TOLVIKSYSTEM_H
