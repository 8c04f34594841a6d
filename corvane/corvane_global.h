#ifndef CORVANE_GLOBAL_H
#define CORVANE_GLOBAL_H

#include <QtCore/qglobal.h>

#if defined(CORVANE_LIBRARY)
#define CORVANE_EXPORT Q_DECL_EXPORT
#else
#define CORVANE_EXPORT Q_DECL_IMPORT
#endif

#endif // CORVANE_GLOBAL_H
