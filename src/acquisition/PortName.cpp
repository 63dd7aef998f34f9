#include "acquisition/PortName.h"

#include <QFileInfo>

namespace tarvek {

QString PortNameFor(int n, const QString& appFolder) {
    if (n < 1)
        return {};
#ifdef Q_OS_WIN
    Q_UNUSED(appFolder);
    return QStringLiteral("COM%1").arg(n);
#else
    const QFileInfo entry(appFolder + QStringLiteral("/ports/COM%1").arg(n));
    if (entry.exists()) {
        const QString device = entry.canonicalFilePath();
        if (!device.isEmpty())
            return device;
    }
    if (entry.isSymLink()) {
        // Dangling link: the adapter is unplugged. Name its target so that the
        // open fails with "not found".
        return entry.symLinkTarget();
    }
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

} // namespace tarvek
