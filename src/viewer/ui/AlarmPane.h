#pragma once

#include "viewer/AlarmList.h"
#include "viewer/ViewerSession.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QTableView;
class QTableWidget;

namespace tarvek {

// The alarms tab: whether anyone watches, the current alarms of the
// session's event logs with Acknowledge and Acknowledge all (an optional
// comment), and the events of the span shown, newest first. It draws what
// the session holds and asks for the acknowledgements.
class AlarmPane : public QWidget {
    Q_OBJECT
  public:
    // `session` stays the caller's.
    explicit AlarmPane(const ViewerSession& session, QWidget* parent = nullptr);

    // Shows the alarms of the logs again, and the events of the span.
    void ShowAlarms();
    void ShowSpanEvents();
    // After an acknowledgement was stored: the comment was used.
    void ClearComment();

  signals:
    // Acknowledge (the selected alarms) or Acknowledge all was pressed, and
    // `alarms` (ToAcknowledge, never none) want it, with the comment as typed.
    void AcknowledgeAsked(const std::vector<CurrentAlarm>& alarms, const QString& comment);

  private:
    void AskToAcknowledge(bool all);

    const ViewerSession& session_;
    std::vector<CurrentAlarm> listed_;
    QLabel* watch_;
    QTableWidget* list_;
    QLineEdit* comment_;
    QTableView* table_;
    EventsModel* model_;
};

} // namespace tarvek
