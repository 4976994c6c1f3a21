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
#include <QGroupBox>
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
#include "ToolsMenu.h"
#include "Unit2.h"
#include "UpDown.h"
#include "VirtualBoardMenu.h"
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

// A control, action or timer under root by its object name (the names the user's
// documentation gives them); fails the test when there is none of that type.
template <class T = QWidget>
T* findControl(const QObject* root, const QString& name) {
    T* c = root->findChild<T*>(name);
    EXPECT_NE(c, nullptr) << "no control " << name.toStdString();
    return c;
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

    // A control of the main window by its object name.
    template <class T = QWidget>
    T* control(const QString& name) const {
        return findControl<T>(form.get(), name);
    }

    // The register bit view's label of a bit, the register's value label and its row.
    BitLabel* bitLabel(size_t reg, size_t bit) const {
        return control<BitLabel>(QString::fromStdString(zvk::bitLabelName(int(reg), int(bit))));
    }
    FastLabel* registerValue(size_t reg) const {
        return control<FastLabel>(QStringLiteral("L_R%1").arg(reg));
    }
    QGroupBox* registerRow(size_t reg) const {
        return control<QGroupBox>(QStringLiteral("GroupBoxR%1").arg(reg));
    }
    // "Virtual Board": null when the window runs on other hardware.
    VirtualBoardMenu* virtualBoardMenu() const {
        return form->findChild<VirtualBoardMenu*>(QStringLiteral("VirtualBoard1"));
    }
    // The info window ("About"): null until the first activation has made it.
    static TForm2* infoWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* info = qobject_cast<TForm2*>(w)) return info;
        return nullptr;
    }
    // An item of the "Tools" menu by its object name.
    QAction* toolsItem(const char* name) const {
        return control<ToolsMenu>("Tools1")->findChild<QAction*>(QString::fromLatin1(name));
    }
    // One detection tick, as the timer gives it.
    void tick() { EXPECT_TRUE(QMetaObject::invokeMethod(control<QTimer>("T_Check"), "timeout")); }

    zvk::RegisterImage regs() const { return form->session().chip().regs(); }
    std::array<uint16_t, 8> latched() { return form->session().board().chip->latched(); }
    // The chip model latched R0..R6 as the window's register image holds them (R7 is the
    // status word, never written).
    void expectChipHoldsImage(const char* tag = "R") {
        for (int r = 0; r < 7; ++r) EXPECT_EQ(latched()[size_t(r)], regs()[size_t(r)]) << tag << r;
    }
    void sendAlways(bool on) {
        auto* box = control<QCheckBox>("CB_SendAlways");
        if (box->isChecked() != on) click(box);
    }

    QTemporaryDir dir;
    CountingBeeper beeper;
    zvk::SteppingClock clock{1};
    std::unique_ptr<TForm1> form;
};

}  // namespace apptest
