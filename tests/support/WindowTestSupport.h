#pragma once

// Helpers for the tests of the two windows: messages taken instead of shown,
// set-up files written byte by byte, and a main window started on them.
#include "TestSupport.h"

#include "FakeClock.h"
#include "app/MDIForm1.h"
#include "ui/FormChannels.h"
#include "ui/Messages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <array>
#include <map>
#include <memory>
#include <vector>

struct TakenMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QString detail;
};

// Takes every message box shown while it lives.
class MessageCapture {
  public:
    MessageCapture() {
        previous_ = SetMessageHook(
            [this](QMessageBox::Icon icon, const QString& title, const QString& text, const QString& detail) {
                messages.push_back({icon, title, text, detail});
            });
    }
    ~MessageCapture() { SetMessageHook(std::move(previous_)); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    std::vector<TakenMessage> messages;

  private:
    MessageHook previous_;
};

// A general parameters file of forty records; `values` overrides the value
// of the records it names.
inline QByteArray GeneralFileBytes(const std::map<int, QByteArray>& values) {
    QByteArray bytes;
    for (int n = 1; n <= 40; ++n) {
        const auto it = values.find(n);
        bytes += Record(("General " + QByteArray::number(n)).leftJustified(21, '.') +
                        (it != values.end() ? it->second : "v" + QByteArray::number(n)));
    }
    return bytes;
}

// Records 1..10 of headings, then channels 1..8 in their fixed columns
// (gain at 36..44, zero at 46..54).
inline QByteArray ChannelFileBytes(const std::array<QByteArray, 8>& gains,
                                   const std::array<QByteArray, 8>& zeros) {
    QByteArray bytes;
    for (int r = 1; r <= 10; ++r)
        bytes += Record("Heading " + QByteArray::number(r));
    for (int c = 1; c <= 8; ++c)
        bytes += Record(("Ch." + QByteArray::number(c)).leftJustified(27) + ";3;Bar ;" +
                        gains[c - 1].leftJustified(9, ' ', true) + ";" +
                        zeros[c - 1].leftJustified(9, ' ', true) + ";1;-9999    ;9999     ;");
    return bytes;
}

// An application folder with a set-up, and a main window started on it.
class WindowTest : public AppFolderTest {
  protected:
    void WriteSetUp(const QByteArray& serial = "3", const QByteArray& rate = "7") {
        WriteBytes(SettingPath(GeneralParametersFile),
                   GeneralFileBytes({{16, serial}, {17, rate}, {21, "2"}}));
        WriteBytes(SettingPath(ChannelParametersFile),
                   ChannelFileBytes({"1.5", "", "  2", "-3.25", "4", "5", "6", "123456789"},
                                    {"0", "-10", "20", "  30", "40", "50", "60", "70"}));
    }

    // Makes the settingfiles folder unusable: a regular file in its place.
    void SpoilSettingFolder() {
        QDir(d.AppFolder + "/settingfiles").removeRecursively();
        WriteBytes(d.AppFolder + "/settingfiles", "not a folder");
    }

    void Start() {
        window = std::make_unique<MDIForm1>(d, clock);
        window->Load();
        form = window->Form();
        ASSERT_NE(form, nullptr);
    }

    void TearDown() override {
        window.reset();
        AppFolderTest::TearDown();
    }

    MessageCapture capture;
    FakeClock clock;
    std::unique_ptr<MDIForm1> window;
    FormChannels* form = nullptr;
};
