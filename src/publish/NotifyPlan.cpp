#include "publish/NotifyPlan.h"

#include "config/SettingRecords.h"
#include "data/AlarmFold.h"
#include "data/NumberText.h"
#include "data/StoredTime.h"

#include <algorithm>

namespace tarvek {

std::optional<QStringList> SplitCommandWords(const QString& text) {
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u' ' || c == u'\t') {
            if (inWord)
                words << std::exchange(word, {});
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'\\') {
            if (++i >= text.size())
                return std::nullopt;
            word += text[i];
        } else if (c == u'\'' || c == u'"') {
            for (++i; i < text.size() && text[i] != c; ++i) {
                if (c == u'"' && text[i] == u'\\' && i + 1 < text.size() &&
                    (text[i + 1] == u'"' || text[i + 1] == u'\\'))
                    ++i;
                word += text[i];
            }
            if (i >= text.size())
                return std::nullopt;
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

bool IsNotified(const Event& e) {
    return IsAlarmKind(e.kind) && (e.name == EventNames::Raised || e.name == EventNames::Cleared);
}

namespace {

// A value or limit with its stored digits, the text as it stands otherwise.
QString NumberText(const QString& text) {
    const std::optional<QByteArray> number = PlainNumber(text);
    return number ? QString::fromLatin1(*number) : text.trimmed();
}

// "Ch.3 above maximum raised": the alarm in its words, and what became of it.
QString AlarmWords(const Event& e) {
    return AlarmText(e.kind, e.channel > 0 ? DefaultChannelName(e.channel) : QString()) + u' ' +
           e.name.toLower();
}

} // namespace

QString SummaryLine(const FedEvent& fed) {
    const Event& e = fed.event;
    QString line = ShownTime(fed.localMs) + u' ' + AlarmWords(e);
    if (const QString value = NumberText(e.value); !value.isEmpty())
        line += QStringLiteral(", value ") + value;
    if (const QString limit = NumberText(e.limit); !limit.isEmpty())
        line += QStringLiteral(", limit ") + limit;
    if (!e.text.isEmpty())
        line += QStringLiteral(": ") + e.text;
    return line;
}

bool NotifyPlan::Add(const FedEvent& fed, qint64 nowMs) {
    if (!fed.finding && !IsNotified(fed.event)) {
        (waiting_ ? waiting_->through : notified_).Pass(fed.position);
        return true;
    }
    const bool old = nowMs - fed.utcMs > qint64(settings_.maxAgeSeconds) * SecondMs;
    if (!waiting_) {
        waiting_ = Group{{}, 0, old, false, nowMs, notified_};
    } else if (waiting_->taken || waiting_->old != old || (!old && settings_.batchSeconds == 0) ||
               (!old && waiting_->count >= MaxRunEvents)) {
        return false;
    }
    Group& g = *waiting_;
    if (g.old && g.events.size() == 2)
        g.events.back() = fed;
    else
        g.events.push_back(fed);
    ++g.count;
    g.through.Pass(fed.position);
    return true;
}

std::optional<qint64> NotifyPlan::NextRunMs() const {
    if (running_ || !waiting_)
        return std::nullopt;
    if (failures_ > 0)
        return retryMs_;
    const Group& g = *waiting_;
    const qint64 gather = hurry_ ? 0 : g.old ? std::max(settings_.batchSeconds, 2) : settings_.batchSeconds;
    return g.seenMs + gather * SecondMs;
}

std::optional<NotifyRun> NotifyPlan::Take(qint64 nowMs) {
    const std::optional<qint64> due = NextRunMs();
    if (!due || nowMs < *due)
        return std::nullopt;
    running_ = true;
    waiting_->taken = true;
    return RunOf(*waiting_);
}

QString NotifyPlan::Finished(const RunEnd& end, qint64 nowMs) {
    if (!running_)
        return {};
    running_ = false;
    const QString command = QStringLiteral("notify_command %1").arg(settings_.command.value(0));
    if (end.ok) {
        notified_ = waiting_->through;
        waiting_.reset();
        return std::exchange(failures_, 0) > 0 ? command + QStringLiteral(" works again") : QString();
    }
    const qint64 wait = std::min(settings_.lastRetryMs, settings_.firstRetryMs << std::min(failures_, 20));
    retryMs_ = nowMs + wait;
    if (failures_++ > 0)
        return {};
    return QStringLiteral("%1 failed (%2); tried again in %3 s, then less often")
        .arg(command, end.why)
        .arg(double(wait) / SecondMs);
}

NotifyRun NotifyPlan::RunOf(const Group& g) {
    NotifyRun run;
    const FedEvent& first = g.events.front();
    const FedEvent& last = g.events.back();
    const Event& e = first.event;
    if (g.old)
        run.subject = QStringLiteral("TARVEK: %1 older alarm events").arg(g.count);
    else if (g.count > 1)
        run.subject = QStringLiteral("TARVEK: %1 alarm events, the first %2").arg(g.count).arg(AlarmWords(e));
    else
        run.subject =
            QStringLiteral("TARVEK: ") + AlarmWords(e) + (e.text.isEmpty() ? QString() : ": " + e.text);
    if (g.old) {
        run.lines << QStringLiteral("%1 alarm events from %2 to %3, older than notify_max_age when seen, not "
                                    "notified one by one: see the event log")
                         .arg(g.count)
                         .arg(ShownTime(first.localMs), ShownTime(last.localMs));
    } else {
        for (const FedEvent& fed : g.events)
            run.lines << SummaryLine(fed);
    }
    const auto set = [&](const char* name, const QString& value) {
        run.environment.emplace_back(QStringLiteral("TARVEK_") + QLatin1String(name), value);
    };
    set("KIND", g.old ? QString() : e.kind);
    set("EVENT", g.old ? QStringLiteral("SUMMARY") : e.name);
    set("CHANNEL", e.channel > 0 && !g.old ? QString::number(e.channel) : QString());
    set("NAME", g.old ? QString() : e.text);
    set("VALUE", g.old ? QString() : NumberText(e.value));
    set("LIMIT", g.old ? QString() : NumberText(e.limit));
    set("TIME", QString::fromLatin1(StoredTimeText(first.localMs)));
    set("UTC", QString::fromLatin1(StoredTimeText(first.utcMs)) + u'Z');
    set("FILE", first.position.file);
    set("RECORD", QString::number(first.position.record));
    set("COUNT", QString::number(g.count));
    return run;
}

} // namespace tarvek
