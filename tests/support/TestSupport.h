#pragma once

// Helpers shared by the tests: a scratch application folder and byte-level
// access to the files the program writes.
#include "app/Declarations.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Lets GoogleTest print texts in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QByteArray& b, std::ostream* os) {
    *os << '"' << b.toStdString() << '"';
}

// Names the rows of a TEST_P table after their `name` field.
inline constexpr auto RowName = [](const auto& row) { return std::string(row.param.name); };

inline QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Runs `f` and returns its result, leaving what it wrote to stderr in `err`.
template <typename F> auto WithStderr(QString& err, F f) {
    ::testing::internal::CaptureStderr();
    auto result = f();
    err = QString::fromStdString(::testing::internal::GetCapturedStderr());
    return result;
}

// A record of `length` bytes: `text` blank-padded, ending in "*", CR, LF.
inline QByteArray Record(const QByteArray& text, int length = 80) {
    QByteArray r = text.left(length - 3);
    r.append(QByteArray(length - 3 - r.size(), ' '));
    return r + "*\r\n";
}

// A fresh application folder per test, removed afterwards.
class AppFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        d.AppFolder = dir_.path();
    }
    QString SettingPath(const QString& name) const { return d.AppFolder + "/settingfiles/" + name; }
    QString DataPath(const QString& name) const { return d.AppFolder + "/datafiles/" + name; }

    QTemporaryDir dir_;
    Declarations d;
};
