// SPDX-License-Identifier: MIT
#include "DiagnoseDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "QtText.h"
#include "session/Doctor.h"
#include "session/Session.h"

DiagnoseDialog::DiagnoseDialog(zvk::Session& session, QWidget* parent)
    : QDialog(parent), session_(&session), view_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("DiagnoseDialog"));
    setWindowTitle(QStringLiteral("Diagnose"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* again =
        buttons->addButton(QStringLiteral("Check Again"), QDialogButtonBox::ActionRole);
    connect(again, &QPushButton::clicked, this, &DiagnoseDialog::refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addWidget(buttons);
    resize(720, 360);
    refresh();
}

void DiagnoseDialog::refresh() {
    zvk::DoctorInputs in;
    in.settingsPath = session_->settingsPath();
    in.base = session_->portBase();
    in.usb = zvk::systemLibusb();
    // The adapter this window holds cannot be claimed a second time.
    in.adapterHeldHere = !session_->isVirtual() && session_->adapterOpen();
    const zvk::DoctorReport r = zvk::runDoctor(in);
    const zvk::DoctorSummary summary =
        zvk::doctorSummary(r, session_->isVirtual() ? session_->boardDescription() : std::string());
    QString text;
    if (!summary.heading.empty()) text += qs(summary.heading) + QStringLiteral("\n\n");
    for (const zvk::DoctorLine& l : r.lines) text += qs(zvk::doctorLineText(l)) + QLatin1Char('\n');
    text += QLatin1Char('\n') + qs(summary.verdict);
    view_->setPlainText(text);
}

QString DiagnoseDialog::text() const {
    return view_->toPlainText();
}

void addDiagnoseItem(QMenu* tools, zvk::Session& session) {
    QAction* item = tools->addAction(QStringLiteral("Diagnose…"));
    item->setObjectName(QStringLiteral("Diagnose1"));
    QObject::connect(item, &QAction::triggered, tools, [tools, &session] {
        auto* dialog = new DiagnoseDialog(session, tools->parentWidget());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
}
