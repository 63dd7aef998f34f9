#include "WindowTestSupport.h"

#include "app/Starting.h"
#include "ui/EntryChecks.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>

struct EntryCase {
    const char* name;
    int index;
    const char* typed;
    const char* text;    // what the box holds afterwards
    const char* caption; // Label9(5) afterwards; nullptr: left alone
};

class EntryCheckTable : public ::testing::TestWithParam<EntryCase> {
  protected:
    void SetUp() override { FillNameTables(d); }
    Declarations d;
};

TEST_P(EntryCheckTable, KeepsTheBoxInRange) {
    const EntryCase& c = GetParam();
    const EntryCheck check = CheckEntry(d, c.index, QString::fromLatin1(c.typed));
    EXPECT_EQ(check.text, QString::fromLatin1(c.text));
    EXPECT_EQ(check.setsCaption, c.caption != nullptr);
    if (c.caption) {
        EXPECT_EQ(check.caption, QString::fromLatin1(c.caption));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Text5, EntryCheckTable,
    ::testing::Values(
        // Serial line: 1 to 8 as reals; anything else becomes "1".
        EntryCase{"SerialZero", 4, "0", "1", nullptr}, EntryCase{"SerialNine", 4, "9", "1", nullptr},
        EntryCase{"SerialMinusOne", 4, "-1", "1", nullptr}, EntryCase{"SerialEmpty", 4, "", "1", nullptr},
        EntryCase{"SerialLetters", 4, "abc", "1", nullptr}, EntryCase{"SerialOne", 4, "1", "1", nullptr},
        EntryCase{"SerialEight", 4, "8", "8", nullptr}, EntryCase{"SerialFraction", 4, "3.7", "3.7", nullptr},
        EntryCase{"SerialEightAndAHalf", 4, "8.5", "1", nullptr},
        EntryCase{"SerialKeptAsTyped", 4, " 2 x", " 2 x", nullptr},
        EntryCase{"SerialComma", 4, "0,5", "1", nullptr},
        EntryCase{"SerialExponent", 4, "5E-1", "1", nullptr},
        EntryCase{"SerialHugeExponent", 4, "1E999", "1", nullptr},
        // Storage rate: 0 to 9 as reals; anything else becomes "0"; the name follows.
        EntryCase{"RateMinusOne", 5, "-1", "0", "Off"}, EntryCase{"RateTen", 5, "10", "0", "Off"},
        EntryCase{"RateNineAndAHalf", 5, "9.5", "0", "Off"}, EntryCase{"RateEmpty", 5, "", "", "Off"},
        EntryCase{"RateLetters", 5, "xyz", "xyz", "Off"}, EntryCase{"RateSix", 5, "6", "6", "1 hour"},
        EntryCase{"RateNine", 5, "9", "9", "24 hours"},
        EntryCase{"RateOneAndAHalfRoundsToTwo", 5, "1.5", "1.5", "1 minute"},
        EntryCase{"RateTwoAndAHalfRoundsToTwo", 5, "2.5", "2.5", "1 minute"},
        EntryCase{"RateEightAndAHalfRoundsToEight", 5, "8.5", "8.5", "12 hours"},
        EntryCase{"RateSevenAndAHalfRoundsToEight", 5, "7.5", "7.5", "12 hours"},
        EntryCase{"RateBlanksAroundTheNumber", 5, " 3 ", " 3 ", "5 minutes"},
        // Other elements have no check.
        EntryCase{"OtherIndex", 3, "99", "99", nullptr}, EntryCase{"IndexSix", 6, "-5", "-5", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// The same check, driven by the window's events.
class EntryEventsTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteSetUp();
        Start();
    }
    static void Press(QWidget* box, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Return ? "\r" : "x");
        QCoreApplication::sendEvent(box, &press);
    }
    static void LeaveFocus(QWidget* box) {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(box, &out);
    }
};

TEST_F(EntryEventsTest, EnterChecksTheBoxAndOtherKeysDoNot) {
    QLineEdit* rate = form->Text5(5);
    rate->setText("10");
    Press(rate, Qt::Key_X);
    EXPECT_EQ(rate->text(), "10x") << "an ordinary key is typed, not checked";
    EXPECT_EQ(form->Label9(5)->text(), "6 hours");

    rate->setText("1.5");
    Press(rate, Qt::Key_Return);
    EXPECT_EQ(rate->text(), "1.5");
    EXPECT_EQ(form->Label9(5)->text(), "1 minute");

    rate->setText("12");
    Press(rate, Qt::Key_Enter);
    EXPECT_EQ(rate->text(), "0");
    EXPECT_EQ(form->Label9(5)->text(), "Off");

    QLineEdit* serial = form->Text5(4);
    serial->setText("9");
    Press(serial, Qt::Key_Return);
    EXPECT_EQ(serial->text(), "1");
    EXPECT_EQ(form->Label9(5)->text(), "Off") << "the serial line box leaves the name alone";
}

TEST_F(EntryEventsTest, LeavingABoxChecksItSoSaveSeesCheckedValues) {
    form->Text5(4)->setText("0");
    LeaveFocus(form->Text5(4));
    EXPECT_EQ(form->Text5(4)->text(), "1");

    form->Text5(5)->setText("-2");
    LeaveFocus(form->Text5(5));
    EXPECT_EQ(form->Text5(5)->text(), "0");
    EXPECT_EQ(form->Label9(5)->text(), "Off");

    form->Command2()->click();
    const QByteArray general = ReadBytes(SettingPath(GeneralParametersFile));
    EXPECT_EQ(general.mid(15 * 80 + 21, 1), "1");
    EXPECT_EQ(general.mid(16 * 80 + 21, 1), "0");

    // Gain and offset boxes are not checked.
    form->Text1(1)->setText("not a number");
    LeaveFocus(form->Text1(1));
    EXPECT_EQ(form->Text1(1)->text(), "not a number");
    EXPECT_EQ(d.SerialLine, 3) << "checks never touch the running set-up";
    EXPECT_EQ(d.StorageRate, 7);
}
