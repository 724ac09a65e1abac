#include "view/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace {
int g_nDepth = 0;
}

CWaitCursor::CWaitCursor() {
    ++g_nDepth;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

CWaitCursor::~CWaitCursor() {
    --g_nDepth;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::restoreOverrideCursor();
}

int CWaitCursor::GetDepth() { return g_nDepth; }
