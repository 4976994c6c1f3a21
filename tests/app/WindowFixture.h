// SPDX-License-Identifier: MIT
#pragma once
// Shared by the widget tests: a main window on the virtual board with its settings file
// in a temporary folder, counted beeps, a stepping clock, and the hands of a user.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "BitLabel.h"
#include "Main.h"
#include "PageControl.h"
#include "RadioGroup.h"
#include "UpDown.h"
#include "base/Clock.h"
#include "board/Board.h"

// Readable failures for texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace apptest {

class CountingBeeper : public Beeper {
  public:
    void beep() override { ++count; }
    int count = 0;
};

// The hands of a user: every action goes through mouse and keyboard events.
inline void click(QWidget* w, QPoint at = QPoint()) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, at.isNull() ? w->rect().center() : at);
}

inline void choose(QComboBox* combo, int index) {
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    const QModelIndex item = view->model()->index(index, 0);
    view->scrollTo(item);
    const QRect r = view->visualRect(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    QApplication::processEvents();
    // The offscreen platform leaves the focus with the closed list; a window manager
    // would give it back to the window the list dropped from.
    combo->window()->activateWindow();
    QApplication::processEvents();
}

// On the round indicator: the button's middle may lie beyond a short caption.
inline void choose(RadioGroup* group, int index) {
    QRadioButton* b = group->button(index);
    click(b, QPoint(7, b->height() / 2));
}

// Clicks into the edit, selects everything and types the text key by key.
inline void typeInto(QLineEdit* edit, const QString& text) {
    click(edit);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    // The first key typed replaces the selection; emptying the field is a key of its own.
    if (text.isEmpty()) QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

inline void typeAndEnter(QLineEdit* edit, const QString& text) {
    typeInto(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

inline void clickTab(PageControl* pc, QWidget* page) {
    click(pc, pc->tabRect(pc->indexOf(page)).center());
}

// Runs the action and answers the first message box it shows with its default button;
// returns the box's text (empty when none came).
inline QString answerMessageBox(const std::function<void()>& action) {
    auto text = std::make_shared<QString>();
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            poll->stop();
            box->done(box->defaultButton() ? box->standardButton(box->defaultButton())
                                           : QMessageBox::Ok);
        }
    });
    poll->start(5);
    action();
    poll->stop();
    delete poll;
    return *text;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void TearDown() override {
        form.reset();
        QApplication::processEvents();
    }

    std::string settingsPath() const { return (dir.path() + "/zvk40310.INI").toStdString(); }

    void writeSettingsFile(const QByteArray& text) {
        QFile f(QString::fromStdString(settingsPath()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    // Starts the program as main() does and waits for its first activation.
    void start(bool labMode = false, const std::string& board = "virtual") {
        MainOptions o;
        o.settingsPath = settingsPath();
        o.boardName = board;
        o.labMode = labMode;
        o.beeper = &beeper;
        o.clock = &clock;
        o.realtime = false;
        form = std::make_unique<TForm1>(o);
        form->showAndActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QApplication::processEvents();
    }

    zvk::RegisterImage regs() const { return form->chip().regs(); }
    std::array<uint16_t, 8> latched() { return form->board().chip->latched(); }
    // The chip model latched R0..R6 as the window's register image holds them (R7 is the
    // status word, never written).
    void expectChipHoldsImage(const char* tag = "R") {
        for (int r = 0; r < 7; ++r) EXPECT_EQ(latched()[size_t(r)], regs()[size_t(r)]) << tag << r;
    }
    void sendAlways(bool on) {
        if (form->CB_SendAlways()->isChecked() != on) click(form->CB_SendAlways());
    }

    QTemporaryDir dir;
    CountingBeeper beeper;
    zvk::SteppingClock clock{1};
    std::unique_ptr<TForm1> form;
};

}  // namespace apptest
