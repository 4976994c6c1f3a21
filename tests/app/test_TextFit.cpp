// SPDX-License-Identifier: MIT
// Every text the window shows fits the room its control gives it, on every page in both
// modes, in the program's font and in the fallback face: labels, buttons, check boxes,
// radio buttons, tabs, group titles and the fields the program fills.
#include <QFontDatabase>
#include <QGroupBox>

#include "StatusBarPanel.h"
#include "TextFit.h"
#include "WindowFixture.h"

namespace apptest {
namespace {

QString describe(const QWidget* w, const QString& text) {
    QString name = w->objectName();
    // An item of a radio group, a label: named by where it lies.
    for (const QWidget* p = w->parentWidget();
         p != nullptr && (name.isEmpty() || name.startsWith("item")); p = p->parentWidget()) {
        if (!p->objectName().isEmpty())
            name = p->objectName() + "/" + (name.isEmpty() ? w->metaObject()->className() : name);
    }
    return name + " \"" + text + "\"";
}

QString shownText(const QWidget* w) {
    if (auto* f = qobject_cast<const FastLabel*>(w)) return f->text();
    if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
    return {};
}

// The bit view draws its hidden labels itself: they count as seen where their row is.
bool seen(const QWidget* w) {
    if (w->isVisible()) return true;
    return qobject_cast<const FastLabel*>(w) != nullptr && w->parentWidget() != nullptr &&
           w->parentWidget()->isVisible();
}

// Every seen text under the root that needs more than its room, with both widths, and
// every one cut short to fit (the whole text in its tooltip): the faces should hold them all.
QStringList clipped(QWidget* root) {
    QStringList out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!seen(w)) continue;
        const QString text = shownText(w);
        const auto s = textfit::space(w);
        if (s && s->need > s->room)
            out << QStringLiteral("%1 needs %2 px, has %3")
                       .arg(describe(w, text))
                       .arg(s->need)
                       .arg(s->room);
        if (auto* panel = qobject_cast<StatusBarPanel*>(w)) {
            if (!panel->toolTip().isEmpty())
                out << QStringLiteral("%1 is elided").arg(describe(w, panel->text()));
        } else if (QString kept = text; !w->toolTip().isEmpty() && w->toolTip() != text &&
                                        w->toolTip().startsWith(kept.remove(QChar(0x2026)))) {
            out << QStringLiteral("%1 is elided from \"%2\"").arg(describe(w, text), w->toolTip());
        }
    }
    return out;
}

class TextFitTest : public WindowTest, public ::testing::WithParamInterface<const char*> {
  protected:
    void startIn(const char* family) {
        MainOptions o;
        o.settingsPath = settingsPath();
        o.boardName = "virtual";
        o.labMode = true;  // the "Mode Selection" shows: both modes can be walked
        o.beeper = &beeper;
        o.clock = &clock;
        o.realtime = false;
        o.fontFamily = QString::fromLatin1(family);
        form = std::make_unique<TForm1>(o);
        form->showAndActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QApplication::processEvents();
    }
};

TEST_P(TextFitTest, EveryTextFitsItsControlOnEveryPageInBothModes) {
    const QString family = QString::fromLatin1(GetParam());
    if (!family.isEmpty() && !QFontDatabase::hasFamily(family))
        GTEST_SKIP() << family.toStdString() << " is not installed";
    startIn(GetParam());
    QStringList clips;
    for (int spi : {1, 0}) {
        SCOPED_TRACE(spi == 1 ? "SPI mode" : "ABC mode");
        choose(control<RadioGroup>("RG_SPI"), spi);
        PageControl* pc = control<PageControl>("PageControl1");
        for (int i = 0; i < pc->count(); ++i) {
            if (!pc->isTabVisible(i)) continue;
            clickTab(pc, pc->page(i));
            ASSERT_EQ(pc->currentIndex(), i);
            const int need = pc->fontMetrics().horizontalAdvance(pc->caption(i));
            const QRect room = pc->tabTextRect(i);
            if (need > room.width() || room.left() < 0)
                clips << QStringLiteral("tab \"%1\" needs %2 px, has %3 from x %4")
                             .arg(pc->caption(i))
                             .arg(need)
                             .arg(room.width())
                             .arg(room.left());
            clips << clipped(form.get());
        }
    }
    clips.removeDuplicates();
    for (const QString& c : clips) ADD_FAILURE() << c.toStdString();
}

// The program's own font, and DejaVu Sans: the face a Debian machine without it falls back to.
INSTANTIATE_TEST_SUITE_P(Faces, TextFitTest, ::testing::Values("", "DejaVu Sans"),
                         [](const auto& p) {
                             return std::string(p.param[0] == 0 ? "ProgramFont" : "DejaVuSans");
                         });

TEST_F(TextFitTest, ALabelStopsShortOfTheControlAfterIt) {
    // The status group's lock-time label sits 64 pixels before its field: in a wide face
    // it would run under the field.
    QWidget parent;
    parent.resize(200, 40);
    QFont wide(QStringLiteral("DejaVu Sans"));
    wide.setPixelSize(11);
    parent.setFont(wide);
    auto* label = layout::label(&parent, QStringLiteral("LD Time [ms]"), 8, 8);
    layout::infoEdit(&parent, "field", 72, 0, 49, false);
    const auto before = textfit::space(label);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->room, 72 - 2 - 8);
    textfit::fit(label);
    const auto after = textfit::space(label);
    EXPECT_LE(after->need, after->room);
    EXPECT_LE(label->geometry().right(), 70);
    // Whole, or elided with the whole text to read.
    EXPECT_TRUE(label->text() == "LD Time [ms]" || label->toolTip() == "LD Time [ms]");
}

TEST_F(TextFitTest, TextsTheProgramWritesFitOrCanBeReadWhole) {
    startIn("DejaVu Sans");
    // A status field: the narrow face while "not allowed" stands, the window's after it.
    QLineEdit* rssi = control<QLineEdit>("E_RSSI");
    const QString windowFamily = rssi->font().family();
    rssi->setText(QStringLiteral("not allowed"));
    auto s = textfit::space(rssi);
    EXPECT_LE(s->need, s->room);
    rssi->setText(QStringLiteral("low"));
    EXPECT_EQ(rssi->font().family(), windowFamily);

    // A refused plan: the mode panel shows what fits, its tooltip and the tuning info's the
    // whole reason while the panel shows it.
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeAndEnter(control<Edit>("E_fRFI"), QStringLiteral("-500"));
    click(control<QPushButton>("B_Calc"));
    auto* panel =
        control<QStatusBar>("StatusBar1")->findChild<StatusBarPanel*>(QStringLiteral("Panel1"));
    ASSERT_NE(panel, nullptr);
    const QString reason = panel->text();
    ASSERT_TRUE(reason.contains("cannot be planned")) << reason.toStdString();
    EXPECT_EQ(panel->toolTip(), reason);
    EXPECT_EQ(control<QGroupBox>("GroupBox10")->toolTip(), reason);
    // The mode summary takes the panel back: the reason no longer stands.
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabMode"));
    choose(control<QComboBox>("CB_OPMODE"), 1);
    EXPECT_NE(panel->text(), reason);
    EXPECT_TRUE(control<QGroupBox>("GroupBox10")->toolTip().isEmpty());
}

}  // namespace
}  // namespace apptest
