// tarvek-publish's rules without a broker: the delivery window, the waits
// after a failure, its settings (the notification command's words among
// them), and the program's own refusals (arguments, a state file it cannot write).
#include "publish/DeliveryWindow.h"
#include "publish/PublishConfig.h"
#include "publish/SessionChurn.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <QProcess>

#include <sys/resource.h>

using namespace tarvek;

namespace {

TEST(DeliveryWindowTest, RefilledByHalvesAndThePlaceMovesOnlyOverTheAcknowledgedFront) {
    DeliveryWindow<int> window;
    for (int mid = 1; mid <= 50; ++mid)
        window.Sent(mid, mid * 10);
    EXPECT_EQ(window.Room(), 50) << "half a window out: refilled";
    window.Sent(51, 510);
    EXPECT_EQ(window.Room(), 0) << "more than half out: waits";
    EXPECT_TRUE(window.Holds(51) && !window.Holds(52));
    EXPECT_EQ(window.Acknowledge(2), std::vector<int>{}) << "1 is still out";
    EXPECT_EQ(window.Acknowledge(1), (std::vector<int>{10, 20}));
    EXPECT_EQ(window.Acknowledge(99), std::vector<int>{});
    window.Clear();
    EXPECT_EQ(std::tuple(window.Empty(), window.Room()), std::tuple(true, 100));
}

// "c" a session starts, "l" it ends, "f" an attempt fails; each after the
// seconds before it: the waits they give (the usual one is 7 s), and whether
// a clash is said.
TEST(SessionChurnTest, SessionsTakenOverOneAfterAnotherWaitLongerButARestartedBrokerNot) {
    const std::vector<std::tuple<const char*, const char*, const char*>> rows{
        {"a clone takes every session over", "c 1l 1c 1l 1c 1l 1c 1l 4c 1l", "0 0 2* 4* 4*"},
        {"a broker restarted refuses meanwhile", "c 1l 1f 1c 1l 1f 1c 1l 1f 1c 1l", "0 7 0 7 0 7 0"},
        {"a session held longer ends the pattern", "c 1l 1c 1l 1c 1l 1c 10l", "0 0 2* 7"}};
    for (const auto& [name, script, waits] : rows) {
        SessionChurn churn;
        qint64 now = 0;
        QStringList seen;
        for (const QString& step : QString(script).split(u' ')) {
            now += step.chopped(1).toInt() * 1000;
            if (step.endsWith(u'c'))
                churn.Connected(now);
            else if (seen << QString::number(churn.After(step.endsWith(u'l'), now, 7));
                     step.endsWith(u'l') && churn.Suspected())
                seen.last() += u'*';
        }
        EXPECT_EQ(seen.join(u' '), QString(waits)) << name;
    }
}

// The outcome of a configuration: its error after the file name, or the
// settings that differ from the defaults.
QString Outcome(const QByteArray& text) {
    const auto parsed = ParsePublishConfig(text, "/p.conf", {"box", "/d", "/s/state", "0123456789"});
    if (const auto* error = std::get_if<ConfigError>(&parsed))
        return error->text.section(": ", 1);
    const PublishConfig& c = std::get<PublishConfig>(parsed);
    const auto n = [](auto number) { return QString::number(number); };
    const QStringList defaults =
        QStringLiteral(
            "host=localhost port=1883 tls=no qos=1 keepalive=60 "
            "prefix=tarvek/box client_id=tarvek-publish-box-01234567 start=0/0 "
            "data=/d state=/s/state seals=/seals kind=SEALED notify= batch=0 timeout=30 max_age=3600")
            .split(u' ');
    QStringList changed;
    for (const QString& setting :
         {"host=" + c.host, "port=" + n(c.port), QString("tls=") + (c.tls ? "yes" : "no"), "qos=" + n(c.qos),
          "keepalive=" + n(c.keepalive), "prefix=" + c.prefix, "client_id=" + c.clientId,
          "start=" + n(int(c.start.kind)) + '/' + n(c.start.localMs), "data=" + c.data, "state=" + c.state,
          "seals=" + c.seals, "kind=" + c.sealAlarmKind, "notify=" + c.notifyCommand.join(u'|'),
          "batch=" + n(c.notifyBatch), "timeout=" + n(c.notifyTimeout), "max_age=" + n(c.notifyMaxAge)})
        if (!defaults.contains(setting))
            changed += setting;
    return changed.join(u' ');
}

TEST(PublishSettingsTest, ReadOrRefusedNamingTheKeyAndWhyValuesAtTheirBounds) {
    const QString notPrefix =
        " is no topic prefix (not empty, no + or #, no control character, no / at either end)";
    const std::vector<std::tuple<const char*, QByteArray, QString>> rows{
        {"comments, sections, switch words", "; a comment\n# too\n\n[broker]\ntls = Off", ""},
        {"every key",
         "host = mqtt.plant\nport=1884\ntls = yes\ncafile=/ca\ncertfile=/c\nkeyfile=/k\nusername=u\n"
         "password_file=/p\nclient_id=me\nkeepalive=5\nprefix=site/a\nqos=2\ndata=/x\n"
         "start=2026-11-01T00:00:30\nstate=/st\n",
         "host=mqtt.plant port=1884 tls=yes qos=2 keepalive=5 prefix=site/a client_id=me "
         "start=2/1793491230000 "
         "data=/x state=/st"},
        {"tls port", "tls=on\ncafile=/ca\nstart=all", "port=8883 tls=yes start=1/0"},
        {"neither yes nor no", "tls = maybe", "tls: \"maybe\" is not yes or no"},
        {"not a number", "qos = x", "qos: \"x\" is not a whole number from 0 to 2"},
        {"below the range", "port = 0", "port: \"0\" is not a whole number from 1 to 65535"},
        {"above the range", "port = 65536", "port: \"65536\" is not a whole number from 1 to 65535"},
        {"no key", "qos = 1\n= 5", "line 2: is not \"key = value\""},
        {"unknown key", "hots = a\n", "hots: is not a setting"},
        {"twice", "qos=1\nqos=1\n", "qos: is given twice"},
        {"empty client id", "client_id =", "client_id: needs a text"},
        {"longest client id", "client_id = " + QByteArray(65535, 'c'), "client_id=" + QString(65535, 'c')},
        {"tls without ca", "tls = yes", "cafile: is needed when tls is on"},
        {"cert without key", "certfile=/c", "keyfile: certfile and keyfile go together"},
        {"password inline", "password = secret",
         "password: the password is never kept here; name a password_file"},
        {"password without user", "password_file=/p", "username: is needed with a password_file"},
        {"bad start", "start = 2026-02-30T00:00:00",
         "start: \"2026-02-30T00:00:00\" is not new, all or YYYY-MM-DDTHH:MM:SS"},
        {"notify bounds",
         "host =\nnotify_command = /bin/true\nnotify_batch = 3600\nnotify_timeout = 1\nnotify_max_age = 60",
         "host= notify=/bin/true batch=3600 timeout=1 max_age=60"},
        {"notify: single quotes keep all", "notify_command = a 'b $(c) ; \"d' e", "notify=a|b $(c) ; \"d|e"},
        {"notify: double quotes escape two", R"(notify_command = a "b \" \n \\"c)", R"(notify=a|b " \n \c)"},
        {"notify: blanks, backslash outside, empty word", "notify_command = a\\ b\t  '' c", "notify=a b||c"},
        {"notify: backslash at the end", "notify_command = a\\",
         "notify_command: needs a program and its arguments, quotes closed"},
        {"empty folders and file", "data =", "data: needs a folder"},
        {"", "seals =", "seals: needs a folder"},
        {"", "state =", "state: needs a file"},
        {"kind as wide as the record's", "seals = /x\nseal_alarm_kind = SEAL FOUND!",
         "seals=/x kind=SEAL FOUND!"},
        {"kind too wide", "seal_alarm_kind = SEAL FOUND!!",
         "seal_alarm_kind: \"SEAL FOUND!!\" is not a kind of 1 to 11 printable ASCII characters"},
        {"kind not printable", "seal_alarm_kind = S\xc3\xa9",
         "seal_alarm_kind: \"S\u00e9\" is not a kind of 1 to 11 printable ASCII characters"},
        {"notify command quote open", "notify_command = a 'b",
         "notify_command: needs a program and its arguments, quotes closed"},
        {"no host, no command", "host =", "host: left empty needs a notify_command (it then only notifies)"},
        {"space and no-break space", "prefix = a\xc2\xa0 b", "prefix=a\u00a0 b"},
        {"prefix too long", "prefix = " + QByteArray(200, 'p'),
         "prefix: \"" + QString(200, 'p') + '"' + notPrefix},
        {"tab", "prefix = a\tb", "prefix: \"a\tb\"" + notPrefix},
        {"delete", "prefix = a\x7f", "prefix: \"a\x7f\"" + notPrefix},
        {"plus", "prefix = a/+/b", "prefix: \"a/+/b\"" + notPrefix},
        {"hash", "prefix = a/#", "prefix: \"a/#\"" + notPrefix},
        {"empty prefix", "prefix =", "prefix: \"\"" + notPrefix},
        {"leading slash", "prefix = /a", "prefix: \"/a\"" + notPrefix},
        {"trailing slash", "prefix = a/", "prefix: \"a/\"" + notPrefix}};
    for (const auto& [name, text, expected] : rows)
        EXPECT_EQ(Outcome(text), expected) << name;
}

class PublishFolderTest : public AppFolderTest {};

// The program itself, without a broker: what it refuses and a state file it cannot write.
TEST_F(PublishFolderTest, TheProgramRefusesBadArgumentsAndAStateFileItCannotWrite) {
    const QString config = state.AppFolder + "/p.conf", statePath = state.AppFolder + "/state";
    WriteBytes(config, QStringLiteral("host = 127.0.0.1\nport = 1\ndata = %1\nstate = %2\n")
                           .arg(DataPath({}).chopped(1), statePath)
                           .toUtf8());
    // The exit status and the first line said, after the program's name.
    const auto run = [&](const QStringList& args, rlim_t fileSize = RLIM_INFINITY) {
        QProcess p;
        auto limit = std::make_unique<FileSizeLimit>(fileSize); // the child's, from its start
        p.start(TARVEK_PUBLISH, QStringList{"--config", config} + args);
        EXPECT_TRUE(p.waitForStarted() && (limit.reset(), p.waitForFinished(10'000)));
        return QString::number(p.exitCode()) + ' ' +
               QString(p.readAllStandardError()).section(": ", 1).section('\n', 0, 0);
    };
    const QString timeout = "2 --timeout needs a whole number of seconds from 1 to 2147483";
    EXPECT_EQ(run({"--timeout", "-1"}), timeout);
    EXPECT_EQ(run({"--timeout", "2147484"}), timeout) << "past what its timer can hold";
    EXPECT_EQ(run({"--bogus", "--once"}), "2 unknown argument --bogus");
    EXPECT_EQ(run({"--once", "--config"}), "2 unknown argument --config");
    EXPECT_EQ(run({"--once", "--timeout"}), "2 unknown argument --timeout");
    const QByteArray before = "tarvek-publish state 4\nutc=\nevents=\nnotified=\n";
    WriteBytes(statePath, before);
    EXPECT_EQ(run({"--once"}, 20), "3 " + statePath + ": File too large") << "never said to be saved";
    EXPECT_EQ(ReadBytes(statePath), before) << "the state before is kept";

    // Without `state`, the state is kept in the user's own state folder.
    WriteBytes(config,
               "host =\nnotify_command = /bin/true\ndata = " + DataPath({}).chopped(1).toUtf8() + '\n');
    QDir().mkpath(DataPath({}));
    const QByteArray home = qgetenv("HOME");
    qunsetenv("XDG_STATE_HOME"), qunsetenv("STATE_DIRECTORY"), qputenv("HOME", state.AppFolder.toUtf8());
    EXPECT_EQ(run({"--once"}), "0 ");
    qputenv("HOME", home);
    EXPECT_TRUE(QFileInfo(state.AppFolder + "/.local/state/tarvek-publish/state").isFile());
}

} // namespace
