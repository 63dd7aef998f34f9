#pragma once

#include "viewer/EventMarks.h"

class QPainter;

namespace tarvek {

// The stretches of raised alarms along the top edge of a strip's plot, a
// line per channel of the strip in its colour (the logger's own alarms in
// dark grey, along every strip).
void PaintStretches(QPainter& p, const QRectF& plot, const std::vector<int>& channels,
                    const std::vector<StretchBand>& stretches);

// The marks in their row: a raised alarm a filled triangle in its channel's
// colour, a cleared one a hollow green triangle, an acknowledgement a dot,
// Start/Stop a black bar, a set-up change a grey diamond.
void PaintMarks(QPainter& p, const QRectF& row, const std::vector<TrendMark>& marks);

} // namespace tarvek
