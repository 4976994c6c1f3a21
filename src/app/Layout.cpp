// SPDX-License-Identifier: MIT
#include "Layout.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "PageControl.h"
#include "RadioGroup.h"
#include "TextFit.h"
#include "UpDown.h"
#include "session/EditRules.h"

void Edit::keyReleaseEvent(QKeyEvent* event) {
    QLineEdit::keyReleaseEvent(event);
    if (!event->isAutoRepeat()) emit keyReleased();
}

namespace layout {

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->resize(l->sizeHint().width(), kLabelHeight);
    return l;
}

QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                 int h) {
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(QString::fromLatin1(name));
    g->setGeometry(x, y, w, h);
    return g;
}

QComboBox* combo(QWidget* parent, const char* name, int x, int y, int w, const QStringList& items,
                 int index) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems(items);
    c->setCurrentIndex(index);
    c->setGeometry(x, y, w, kEditHeight);
    return c;
}

RadioGroup* radio(QWidget* parent, const char* name, const QString& caption,
                  const QStringList& items, int columns, int x, int y, int w, int h, int index) {
    auto* r = new RadioGroup(caption, items, columns, parent);
    r->setObjectName(QString::fromLatin1(name));
    r->setGeometry(x, y, w, h);
    // A hidden group hears of its size only when shown; its items take their places now,
    // so that their texts can be fitted before that.
    r->arrangeItems();
    r->setItemIndex(index);
    return r;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                 int h) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(x, y, w, h);
    return c;
}

Edit* edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* e = new Edit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, w, kEditHeight);
    return e;
}

UpDown* spinner(QWidget* parent, const char* name, QLineEdit* buddy, const zvk::EditRule& rule) {
    auto* u = new UpDown(buddy, rule.min, rule.max, parent);
    u->setObjectName(QString::fromLatin1(name));
    const QRect b = buddy->geometry();
    u->setGeometry(b.right() + 1, b.top(), 16, b.height());
    return u;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                    int h) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    return b;
}

QLineEdit* infoEdit(QWidget* parent, const char* name, int x, int y, int w, bool bold) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    if (bold) {
        QFont f = e->font();
        f.setBold(true);
        e->setFont(f);
    }
    QPalette p = e->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    e->setPalette(p);
    e->setGeometry(x, y, w, kEditHeight);
    textfit::keepFitted(e);
    return e;
}

void setRed(QLineEdit* edit, bool red, bool buttonFace) {
    QPalette p = edit->palette();
    const QPalette standard = QApplication::palette(edit);
    const QColor c =
        red ? QColor(255, 0, 0) : standard.color(buttonFace ? QPalette::Button : QPalette::Base);
    if (p.color(QPalette::Base) == c) return;
    p.setColor(QPalette::Base, c);
    edit->setPalette(p);
}

void build(QWidget* page, const std::vector<Control>& table) {
    for (const Control& c : table) {
        QWidget* parent = page;
        if (c.in != nullptr) parent = page->findChild<QGroupBox*>(QString::fromLatin1(c.in));
        QStringList items;
        for (const char* item : c.items) items << QString::fromUtf8(item);
        const QString caption = QString::fromUtf8(c.caption);
        switch (c.kind) {
            case Control::Group:
                group(parent, c.name, caption, c.x, c.y, c.w, c.h);
                break;
            case Control::Label:
                label(parent, caption, c.x, c.y);
                break;
            case Control::Combo:
                combo(parent, c.name, c.x, c.y, c.w, items, c.index);
                break;
            case Control::Radio:
                radio(parent, c.name, caption, items, c.columns, c.x, c.y, c.w, c.h, c.index);
                break;
            case Control::Check:
                check(parent, c.name, caption, c.x, c.y, c.w, c.h);
                break;
        }
    }
}

QWidget* addPage(QWidget* page, PageControl* pc, const char* name, const QString& caption) {
    page->setObjectName(QString::fromLatin1(name));
    pc->addPage(page, caption);
    return page;
}

}  // namespace layout
