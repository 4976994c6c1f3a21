// SPDX-License-Identifier: MIT
#include "CompareItems.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include "QtText.h"
#include "RadioGroup.h"
#include "RegisterPage.h"
#include "session/ConfigDiff.h"
#include "session/Session.h"

CompareDialog::CompareDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CompareDialog"));
    setWindowTitle(QStringLiteral("Compare with File"));
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("CompareSummary"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("CompareList"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(420, 360);
}

CompareItems::CompareItems(QMenu& tools, zvk::Session& session)
    : QObject(&tools), tools_(&tools), session_(&session) {
    setObjectName(QStringLiteral("CompareItems"));
    tools.addSeparator();
    CompareWithFile1 = tools.addAction(QStringLiteral("Compare with File…"));
    CompareWithFile1->setObjectName(QStringLiteral("CompareWithFile1"));
    ResendOnReturn1 = tools.addAction(QStringLiteral("Resend Registers When the Adapter Returns"));
    ResendOnReturn1->setObjectName(QStringLiteral("ResendOnReturn1"));
    ResendOnReturn1->setCheckable(true);
    connect(CompareWithFile1, &QAction::triggered, this, &CompareItems::compareClick);
    connect(ResendOnReturn1, &QAction::toggled, this,
            [this](bool on) { session_->adapterReturn().resend = on; });
    // The settings file is read after the menus are made: the tick follows it on opening.
    connect(&tools, &QMenu::aboutToShow, this,
            [this] { ResendOnReturn1->setChecked(session_->adapterReturn().resend); });
}

namespace {

// A field's value as its control shows it: the item's text for a list or a radio group,
// "checked" or "unchecked" for a check box, with the number after it; the number alone for
// an edit and for the status fields, which have no control.
QString shownValue(QWidget* window, const zvk::Field& f, const std::string& value) {
    const QString number = qs(value);
    if (window == nullptr || *f.control == '\0' || f.encoding == zvk::Encoding::Number ||
        f.encoding == zvk::Encoding::SplitN)
        return number;
    const int item = zvk::decodeControl(f, uint32_t(std::stoul(value)));
    QString text;
    if (auto* combo = window->findChild<QComboBox*>(QString::fromLatin1(f.control))) {
        text = combo->itemText(item);
    } else if (auto* group = window->findChild<RadioGroup*>(QString::fromLatin1(f.control))) {
        if (QRadioButton* b = group->button(item)) text = b->text();
    } else if (window->findChild<QCheckBox*>(QString::fromLatin1(f.control))) {
        text = item != 0 ? QStringLiteral("checked") : QStringLiteral("unchecked");
    }
    return text.isEmpty() ? number : text + QStringLiteral(" (") + number + QLatin1Char(')');
}

}  // namespace

RegisterPage* CompareItems::registerPage() const {
    QWidget* window = tools_->parentWidget();
    return window ? window->findChild<RegisterPage*>() : nullptr;
}

std::optional<QString> CompareItems::compareWith(const QString& path) {
    zvk::Config file;
    if (auto error = zvk::loadConfig(ss(path), file)) return qs(*error);
    const zvk::Config now = session_->currentConfig();
    const auto diffs = zvk::compareConfigs(now, file);
    if (!dialog_) dialog_ = new CompareDialog(tools_->parentWidget());
    dialog_->list()->clear();
    // Fields by the names their controls show, as the window lists them everywhere else.
    QWidget* window = tools_->parentWidget();
    for (const zvk::ConfigDifference& d : diffs) {
        if (d.field == nullptr) {
            dialog_->list()->addItem(qs(zvk::differenceLine(d)));
            continue;
        }
        dialog_->list()->addItem(QString::fromLatin1(d.field->name) + QStringLiteral("  ") +
                                 shownValue(window, *d.field, d.before) + QStringLiteral(" -> ") +
                                 shownValue(window, *d.field, d.after));
    }
    dialog_->summary()->setText(
        diffs.empty() ? QStringLiteral("\"%1\" holds the same configuration.").arg(path)
                      : QStringLiteral("From the window's configuration to \"%1\":").arg(path));
    if (RegisterPage* page = registerPage())
        page->outlineBits(zvk::differingBits(now.regs, file.regs));
    dialog_->show();
    dialog_->raise();
    return std::nullopt;
}

void CompareItems::compareClick() {
    const QString title = QStringLiteral("Compare with File");
    const QString path =
        QFileDialog::getOpenFileName(tools_->parentWidget(), title, QString(),
                                     QStringLiteral("Configuration (*.cfg);;All files (*)"));
    if (path.isEmpty()) return;
    if (const auto error = compareWith(path))
        QMessageBox::warning(tools_->parentWidget(), title, *error);
}

void addCompareItems(QMenu& tools, zvk::Session& session) {
    new CompareItems(tools, session);
}
