#include "tolviksystem.h"

#include "tolviksystemosal.h"

#include <QFileInfo>

qint64 TolvikSystem::freeSpace(QString path)
{
    // An empty path would otherwise mean the working directory.
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return -1;
    return osalFreeSpace(path.utf16());
}
