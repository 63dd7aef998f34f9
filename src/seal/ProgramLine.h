#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

namespace tarvek {

// The command line of tarvek-seal and tarvek-verify: the program's
// description, --help, and each option added as it is made.
class ProgramLine {
  public:
    explicit ProgramLine(const char* description) {
        parser_.setApplicationDescription(QString::fromUtf8(description));
        parser_.addHelpOption();
    }
    // An option taking a value that `value` names, or a switch without one.
    QCommandLineOption Option(const char* name, const char* text, const char* value = nullptr) {
        QCommandLineOption option(QString::fromLatin1(name), QString::fromUtf8(text),
                                  value ? QString::fromLatin1(value) : QString());
        parser_.addOption(option);
        return option;
    }
    QCommandLineParser& Parser() { return parser_; }

  private:
    QCommandLineParser parser_;
};

} // namespace tarvek
