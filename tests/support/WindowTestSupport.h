#pragma once

// Helpers for the tests of the two windows: messages taken instead of shown,
// set-up files written byte by byte, and a main window started on them.
#include "support/TestSupport.h"

#include "support/FakeClock.h"
#include "ui/FormChannels.h"
#include "ui/MDIForm1.h"
#include "ui/Messages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <vector>

namespace tarvek {

struct TakenMessage {
    QMessageBox::Icon icon;
    QString title, text, detail;
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
    std::vector<TakenMessage> messages;

  private:
    MessageHook previous_;
};

// An application folder with a set-up, and a main window started on it.
class WindowTest : public AppFolderTest {
  protected:
    void WriteSetUp(const QByteArray& serial = "3", const QByteArray& rate = "7") {
        WriteBytes(SettingPath(GeneralParametersFile), GeneralFile({{16, serial}, {17, rate}, {21, "2"}}));
        WriteBytes(SettingPath(ChannelParametersFile),
                   ChannelFile({"1.5", "", "  2", "-3.25", "4", "5", "6", "123456789"},
                               {"0", "-10", "20", "  30", "40", "50", "60", "70"}));
    }

    // Makes the settingfiles folder unusable: a regular file in its place.
    void SpoilSettingFolder() {
        QDir(state.AppFolder + "/settingfiles").removeRecursively();
        WriteBytes(state.AppFolder + "/settingfiles", "not a folder");
    }

    void OpenWindow() {
        window = std::make_unique<MDIForm1>(state, clock);
        window->Load();
        form = window->ChannelsForm();
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

} // namespace tarvek
