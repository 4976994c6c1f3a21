// SPDX-License-Identifier: MIT
#pragma once
// Answering the modal dialogs of the menu commands as a user would: each dialog that opens
// gets the next answer of a list, from a timer running inside the dialog's own loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace apptest {

// What a dialog looked like when it was answered.
struct Seen {
    QString kind;  // "input", "file", "message"
    QString caption, label, text;
    QString objectName;
    QStringList filters;
    QString defaultSuffix;
};

using Answer = std::function<void(QWidget*)>;

// Runs the action and answers the modal dialogs it opens, in order. Every dialog is
// recorded in `seen`, also those beyond the answers, which are rejected so that a test
// never hangs on an unexpected box.
inline std::vector<Seen> withAnswers(const std::function<void()>& action,
                                     std::vector<Answer> answers) {
    auto seen = std::make_shared<std::vector<Seen>>();
    auto last = std::make_shared<QPointer<QWidget>>();
    auto next = std::make_shared<size_t>(0);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        QWidget* w = QApplication::activeModalWidget();
        if (w == nullptr || w == last->data()) return;
        *last = w;
        Seen s;
        s.caption = w->windowTitle();
        s.objectName = w->objectName();
        if (auto* in = qobject_cast<QInputDialog*>(w)) {
            s.kind = QStringLiteral("input");
            s.label = in->labelText();
            s.text = in->textValue();
        } else if (auto* f = qobject_cast<QFileDialog*>(w)) {
            s.kind = QStringLiteral("file");
            s.filters = f->nameFilters();
            s.defaultSuffix = f->defaultSuffix();
            if (auto* name = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                s.text = name->text();
        } else if (auto* m = qobject_cast<QMessageBox*>(w)) {
            s.kind = QStringLiteral("message");
            s.text = m->text();
        }
        seen->push_back(s);
        if (*next < answers.size())
            answers[(*next)++](w);
        else if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
    });
    poll->start(5);
    action();
    poll->stop();
    delete poll;
    return *seen;
}

inline Answer typeText(const QString& text) {
    return [text](QWidget* w) {
        auto* d = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(d, nullptr) << "expected an input dialog";
        d->setTextValue(text);
        d->accept();
    };
}

inline Answer cancel() {
    return [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); };
}

inline Answer chooseFile(const QString& path) {
    return [path](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr) << "expected a file dialog";
        d->selectFile(path);
        static_cast<QDialog*>(d)->accept();  // QFileDialog's own is protected
    };
}

// Presses the message box's button of that kind (Ok, Yes, No).
inline Answer press(QMessageBox::StandardButton which) {
    return [which](QWidget* w) {
        auto* m = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(m, nullptr) << "expected a message box";
        QAbstractButton* b = m->button(which);
        ASSERT_NE(b, nullptr) << "the message box has no such button";
        b->click();
    };
}

}  // namespace apptest
