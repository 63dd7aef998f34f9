#pragma once

#include <QString>

namespace tarvek {

// The device behind "COM n": `<appFolder>/ports/COMn` resolved when it exists
// (a missing target is kept so the open fails rather than using another
// line), else /dev/ttyS<n-1>; COMn on Windows. n < 1 gives "" (opens nothing).
QString PortNameFor(int n, const QString& appFolder);

} // namespace tarvek
