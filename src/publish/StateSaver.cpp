#include "publish/StateSaver.h"

namespace tarvek {

StateSaver::StateSaver(QString path, ChangeLog& log) : path_(std::move(path)), log_(log) {
    soon_.setSingleShot(true);
    soon_.callOnTimeout([this] { SaveNow(); });
    sinceSave_.start();
}

void StateSaver::Moved(int moved) {
    unsaved_ = true;
    movedSinceSave_ += moved;
    if (movedSinceSave_ >= SaveEvery)
        SaveNow();
    else if (!soon_.isActive())
        soon_.start(std::max<qint64>(0, 1000 - sinceSave_.elapsed()));
}

bool StateSaver::SaveNow() {
    return !unsaved_ || Save();
}

bool StateSaver::Save() {
    soon_.stop();
    QString error;
    const bool saved = SaveState(path_, state_, &error);
    log_.Report(QStringLiteral("state"), error, error);
    unsaved_ = !saved;
    if (saved)
        movedSinceSave_ = 0;
    sinceSave_.restart();
    return saved;
}

} // namespace tarvek
