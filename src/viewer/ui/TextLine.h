#pragma once

#include <QLabel>
#include <QString>

namespace tarvek {

// A line of plain text that a screen reader reads whole: its text is its
// accessible name, which a name set in its place would hide; `description`
// says what it is. It wraps and never widens the window: a word too long for
// the width is cut.
inline QLabel* TextLine(QWidget* parent, const QString& description) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setAccessibleDescription(description);
    return label;
}

} // namespace tarvek
