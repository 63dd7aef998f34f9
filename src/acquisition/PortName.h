#pragma once

#include <QString>

namespace tarvek {

// The device behind "COM n".
//
// On Windows it is COMn. Elsewhere, when `<appFolder>/ports/COMn` exists (a
// symbolic link, normally to a stable /dev/serial/by-id/... name of a USB
// adapter, or a device node), the device it finally points to; a link whose
// target is missing gives that target, so opening it fails rather than falling
// back to another line. Without such an entry, line n is /dev/ttyS<n-1>.
// A line number below 1 gives the empty text, which no port opens.
QString PortNameFor(int n, const QString& appFolder);

} // namespace tarvek
