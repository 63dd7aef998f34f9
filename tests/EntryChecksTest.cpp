// The checks of the serial line and storage rate boxes.
#include "WindowTestSupport.h"

#include "app/Starting.h"
#include "ui/EntryChecks.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>

namespace {

struct EntryCase {
    const char* name;
    int index;
    const char* typed;
    const char* text;    // what the box holds afterwards
    const char* caption; // Label9(5) afterwards; nullptr: left alone
};

class EntryCheckTable : public ::testing::TestWithParam<EntryCase> {};

TEST_P(EntryCheckTable, KeepsTheBoxInRange) {
    const EntryCase& c = GetParam();
    Declarations d;
    FillNameTables(d);
    const EntryCheck check = CheckEntry(d, c.index, QString::fromLatin1(c.typed));
    EXPECT_EQ(check.text, QString::fromLatin1(c.text));
    EXPECT_EQ(check.setsCaption, c.caption != nullptr);
    EXPECT_EQ(check.caption, QString::fromLatin1(c.caption ? c.caption : ""));
}

// Bounds are inclusive and compared as reals; a text in range stays as typed.
using Entry = EntryCase;
INSTANTIATE_TEST_SUITE_P(
    Text5, EntryCheckTable,
    ::testing::Values(
        Entry{"SerialZero", 4, "0", "1", nullptr}, Entry{"SerialOne", 4, "1", "1", nullptr},
        Entry{"SerialEight", 4, "8", "8", nullptr}, Entry{"SerialEightAndAHalf", 4, "8.5", "1", nullptr},
        Entry{"SerialKeptAsTyped", 4, " 3.7 x", " 3.7 x", nullptr},
        Entry{"SerialComma", 4, "0,5", "1", nullptr}, Entry{"SerialHugeExponent", 4, "1E999", "1", nullptr},
        Entry{"RateMinusOne", 5, "-1", "0", "Off"}, Entry{"RateNineAndAHalf", 5, "9.5", "0", "Off"},
        Entry{"RateEmptyIsZero", 5, "", "", "Off"}, Entry{"RateNine", 5, "9", "9", "24 hours"},
        Entry{"RateHalfGoesToEven", 5, "2.5", "2.5", "1 minute"},
        Entry{"RateEightAndAHalf", 5, "8.5", "8.5", "12 hours"}, Entry{"OtherIndex", 3, "99", "99", nullptr}),
    RowName);

// The same check, driven by the window's events: Enter, and leaving the box
// for another control of the window.
TEST_F(WindowTest, EnterAndLeavingABoxCheckItSoSaveSeesCheckedValues) {
    WriteSetUp();
    OpenWindow();
    const auto press = [](QWidget* box, int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_X ? "x" : "\r");
        QCoreApplication::sendEvent(box, &event);
    };
    const auto leave = [](QWidget* box, Qt::FocusReason reason) {
        QFocusEvent event(QEvent::FocusOut, reason);
        QCoreApplication::sendEvent(box, &event);
    };
    QLineEdit *serial = form->Text5(4), *rate = form->Text5(5);
    rate->setText("10");
    press(rate, Qt::Key_X);
    EXPECT_EQ(rate->text(), "10x") << "an ordinary key is typed, not checked";
    EXPECT_EQ(form->Label9(5)->text(), "6 hours");
    press(rate, Qt::Key_Return);
    EXPECT_EQ(std::make_pair(rate->text(), form->Label9(5)->text()),
              std::make_pair(QString("0"), QString("Off")));
    rate->setText("1.5");
    press(rate, Qt::Key_Enter);
    serial->setText("9");
    press(serial, Qt::Key_Return);
    EXPECT_EQ(serial->text(), "1");
    EXPECT_EQ(form->Label9(5)->text(), "1 minute") << "the serial line box leaves the name alone";

    // Its own context menu opening, or the operator switching to another
    // application, leaves the box in the operator's hands: nothing is checked.
    serial->setText("");
    leave(serial, Qt::PopupFocusReason);
    leave(serial, Qt::ActiveWindowFocusReason);
    EXPECT_EQ(serial->text(), "");
    serial->setText("0"); // back in the window, and on to another control
    leave(serial, Qt::MouseFocusReason);
    EXPECT_EQ(serial->text(), "1");
    rate->setText("-2");
    leave(rate, Qt::TabFocusReason);
    form->Text1(1)->setText("not a number"); // gain and offset boxes are not checked
    leave(form->Text1(1), Qt::TabFocusReason);
    EXPECT_EQ(form->Text1(1)->text(), "not a number");
    form->Command2()->click();
    const QByteArray general = ReadBytes(SettingPath(GeneralParametersFile));
    EXPECT_EQ(general.mid(15 * 80 + 21, 1) + general.mid(16 * 80 + 21, 1), "10");
    EXPECT_EQ(std::tie(d.SerialLine, d.StorageRate), std::make_tuple(3, 7))
        << "checks never touch the running set-up";
}

} // namespace
