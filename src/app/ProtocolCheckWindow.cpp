// SPDX-License-Identifier: MIT
#include "ProtocolCheckWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

ProtocolCheckWindow::ProtocolCheckWindow(zvk::ChipModel& chip, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(&chip) {
    setObjectName(QStringLiteral("ProtocolCheckWindow"));
    setWindowTitle(QStringLiteral("Protocol Check"));
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("Summary"));
    List = new QListWidget(this);
    List->setObjectName(QStringLiteral("List"));
    Clear = new QPushButton(QStringLiteral("Clear"), this);
    Clear->setObjectName(QStringLiteral("Clear"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(Summary, 1);
    bottom->addWidget(Clear);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(List, 1);
    layout->addLayout(bottom);
    resize(520, 300);

    for (const zvk::Violation& v : chip.violations()) List->addItem(lineOf(v));
    showCount();
    // The chip may outlive the window, or the window the chip (the main window's session
    // goes before its child windows): the listener checks that the window is still there,
    // and the window never reaches back into the chip once it is going.
    chip.setViolationListener(
        [window = QPointer<ProtocolCheckWindow>(this)](const zvk::Violation& v) {
            if (window) window->add(v);
        });
    connect(Clear, &QPushButton::clicked, this, [this] {
        model_->clearViolations();
        List->clear();
        showCount();
    });
}

QString ProtocolCheckWindow::lineOf(const zvk::Violation& v) {
    return QStringLiteral("%1  frame %2  at %3 us")
        .arg(QString::fromLatin1(zvk::violationName(v.kind).data(),
                                 qsizetype(zvk::violationName(v.kind).size())))
        .arg(v.frame)
        .arg(v.timeUs);
}

void ProtocolCheckWindow::add(const zvk::Violation& v) {
    List->addItem(lineOf(v));
    List->scrollToBottom();
    showCount();
}

void ProtocolCheckWindow::showCount() {
    const int n = List->count();
    Summary->setText(
        n == 0 ? QStringLiteral("No protocol violation so far.")
               : QStringLiteral("%1 protocol violation%2.").arg(n).arg(n == 1 ? "" : "s"));
}
