// SPDX-License-Identifier: MIT
#include "TextFit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

#include "BitLabel.h"

namespace textfit {
namespace {

// A group's title sits in the frame line with this gap to the line on either side.
constexpr int kTitleMargin = 8;
// A label keeps this distance from the control after it.
constexpr int kLabelGap = 2;
// QLineEdit's own margin between its contents rectangle and the text.
constexpr int kEditTextMargin = 2;
const char* const kFullText = "zvkFullText";
// How far a face may be condensed beyond its own width (in per cent of it) before a text
// is elided instead.
constexpr int kMinCondensing = 70;

// How far a label's text may run: to the next control on its row, or to the end of its
// parent's contents.
int labelRoom(const QLabel* l) {
    const QWidget* parent = l->parentWidget();
    const QRect g = l->geometry();
    int right = parent != nullptr ? parent->contentsRect().right() + 1 : g.right() + 1;
    if (parent != nullptr) {
        for (const QObject* o : parent->children()) {
            const auto* w = qobject_cast<const QWidget*>(o);
            if (w == nullptr || w == l || w->isHidden() || w->isWindow()) continue;
            const QRect s = w->geometry();
            if (s.left() <= g.left() || s.bottom() < g.top() || s.top() > g.bottom()) continue;
            right = std::min(right, s.left() - kLabelGap);
        }
    }
    return right - g.left();
}

int buttonRoom(const QAbstractButton* b) {
    QStyleOptionButton o;
    o.initFrom(b);
    o.text = b->text();
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(b) != nullptr) contents = QStyle::SE_CheckBoxContents;
    if (qobject_cast<const QRadioButton*>(b) != nullptr) contents = QStyle::SE_RadioButtonContents;
    return b->style()->subElementRect(contents, &o, b).width();
}

int editRoom(const QLineEdit* e) {
    QStyleOptionFrame o;
    o.initFrom(e);
    o.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &o, e) : 0;
    const QMargins m = e->textMargins();
    return e->style()->subElementRect(QStyle::SE_LineEditContents, &o, e).width() - m.left() -
           m.right() - 2 * kEditTextMargin;
}

QString fullText(const QWidget* w, const QString& shown) {
    const QVariant v = w->property(kFullText);
    return v.isValid() ? v.toString() : shown;
}

QString shownText(const QWidget* w) {
    if (const auto* f = qobject_cast<const FastLabel*>(w)) return f->text();
    if (const auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    if (const auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    return {};
}

void setTextOf(QWidget* w, const QString& text) {
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
    if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(text);
}

}  // namespace

std::optional<Space> space(const QWidget* w) {
    const QFontMetrics fm = w->fontMetrics();
    if (const auto* f = qobject_cast<const FastLabel*>(w)) {
        if (f->text().isEmpty()) return std::nullopt;
        return Space{fm.horizontalAdvance(f->text()), f->width()};
    }
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        if (l->text().isEmpty()) return std::nullopt;
        return Space{fm.horizontalAdvance(l->text()), labelRoom(l)};
    }
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
        if (b->text().isEmpty()) return std::nullopt;
        return Space{fm.horizontalAdvance(b->text()), buttonRoom(b)};
    }
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) {
        if (g->title().isEmpty()) return std::nullopt;
        return Space{fm.horizontalAdvance(g->title()), g->width() - 2 * kTitleMargin};
    }
    if (const auto* e = qobject_cast<const QLineEdit*>(w)) {
        if (!e->isReadOnly() || e->text().isEmpty()) return std::nullopt;
        return Space{fm.horizontalAdvance(e->text()), editRoom(e)};
    }
    return std::nullopt;
}

std::optional<QFont> narrowFace(const QFont& font) {
    static QHash<QString, QString> narrowOf;
    const QString family = font.family();
    auto found = narrowOf.constFind(family);
    if (found == narrowOf.constEnd()) {
        QString narrow;
        for (const QString& candidate :
             {family + QStringLiteral(" Narrow"), family + QStringLiteral(" Condensed"),
              QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed")}) {
            if (QFontDatabase::hasFamily(candidate)) {
                narrow = candidate;
                break;
            }
        }
        found = narrowOf.insert(family, narrow);
    }
    if (found->isEmpty()) return std::nullopt;
    QFont f = font;
    f.setFamily(*found);
    return f;
}

namespace {

// The stretch the font's face has of itself (100 for a normal width, 75 for a narrow one):
// asking for a stretch scales the face's glyphs by the request over this.
int faceStretch(QFont f) {
    static const QString probe = QStringLiteral("abcdefghijklmnopqrstuvwxyz 0123456789");
    f.setStretch(QFont::AnyStretch);
    const qreal own = QFontMetricsF(f).horizontalAdvance(probe);
    f.setStretch(100);
    const qreal atNormal = QFontMetricsF(f).horizontalAdvance(probe);
    return atNormal > 0 ? qRound(100 * own / atNormal) : 100;
}

bool fits(const QWidget* w) {
    const auto s = space(w);
    return !s || s->need <= s->room;
}

}  // namespace

std::optional<QFont> fittingFont(const QFont& font, const QString& text, int room) {
    auto fitsIn = [&](const QFont& f) { return QFontMetrics(f).horizontalAdvance(text) <= room; };
    if (fitsIn(font)) return font;
    QFont f = font;
    if (const auto narrow = narrowFace(f)) {
        f = *narrow;
        if (fitsIn(f)) return f;
    }
    // Condensed a little further, as far as still reads well. A stretch is counted from
    // the normal width, whatever face the family gives: a narrow face is narrow already.
    const int own = faceStretch(f);
    const int need = QFontMetrics(f).horizontalAdvance(text);
    for (int percent = std::max(kMinCondensing, 100 * room / std::max(1, need));
         percent >= kMinCondensing; --percent) {
        f.setStretch(own * percent / 100);
        if (fitsIn(f)) return f;
    }
    return std::nullopt;
}

void fit(QWidget* w) {
    const auto s = space(w);
    if (!s || s->need <= s->room) return;
    const QString text = fullText(w, shownText(w));
    if (const auto f = fittingFont(w->font(), text, s->room)) {
        w->setFont(*f);
        // A label is as wide as its text.
        if (auto* l = qobject_cast<QLabel*>(w)) l->resize(l->sizeHint().width(), l->height());
        return;
    }
    if (qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<FastLabel*>(w) != nullptr) return;
    w->setProperty(kFullText, text);
    w->setToolTip(text);
    setTextOf(w, w->fontMetrics().elidedText(text, Qt::ElideRight, s->room));
    if (auto* l = qobject_cast<QLabel*>(w)) l->resize(s->room, l->height());
}

void fitAll(QWidget* root) {
    fit(root);
    for (QWidget* w : root->findChildren<QWidget*>()) fit(w);
}

namespace {

constexpr const char* kNote = "zvkNote";

// The whole text when the field cannot show it, then the note.
void showToolTip(QLineEdit* field, bool whole) {
    QStringList parts;
    if (!whole) parts << field->text();
    const QString note = field->property(kNote).toString();
    if (!note.isEmpty()) parts << note;
    field->setToolTip(parts.join(QLatin1Char('\n')));
}

}  // namespace

void keepFitted(QLineEdit* field) {
    QObject::connect(field, &QLineEdit::textChanged, field, [field] {
        // Each new text starts from the window's font: a number after "not allowed" fits it.
        const QFont own =
            field->parentWidget() != nullptr ? field->parentWidget()->font() : field->font();
        QFont wanted = own;
        wanted.setBold(field->font().bold());
        if (field->font() != wanted) field->setFont(wanted);
        fit(field);
        const bool whole = fits(field);
        showToolTip(field, whole);
        // Too wide even so: its start is what can be read.
        if (!whole) field->setCursorPosition(0);
    });
}

void setNote(QLineEdit* field, const QString& note) {
    if (field->property(kNote).toString() == note) return;
    field->setProperty(kNote, note);
    showToolTip(field, fits(field));
}

}  // namespace textfit
