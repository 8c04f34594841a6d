#ifndef CORVANEWIDGETS_GLOBAL_H
#define CORVANEWIDGETS_GLOBAL_H

#include <QtCore/qglobal.h>

// The widgets part of Corvane (the crash dialog) is a library of its own, so
// that programs without widgets link the core alone.
#if defined(CORVANE_WIDGETS_LIBRARY)
#define CORVANE_WIDGETS_EXPORT Q_DECL_EXPORT
#else
#define CORVANE_WIDGETS_EXPORT Q_DECL_IMPORT
#endif

#endif // CORVANEWIDGETS_GLOBAL_H
