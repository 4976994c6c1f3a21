// SPDX-License-Identifier: MIT
#pragma once
// The fixed layout gives every text a room drawn for one narrow font. Where another font
// (the fallback on a machine without it) makes a text wider than its room, the control
// keeps its place and takes the narrower face of the same size; only where even that is
// too wide the text is elided and the whole text becomes the control's tooltip.
#include <QFont>
#include <optional>

class QLineEdit;
class QString;
class QWidget;

namespace textfit {

struct Space {
    int need;  // the text's width in the control's font
    int room;  // the width the control gives it
};

// The text of a label (up to the next control on its row), a button, check box or radio
// button, a group's title or a read-only field; none for other widgets or without text.
std::optional<Space> space(const QWidget* w);

// The narrower face installed for this font's family, at the same size; none when the
// machine has none.
std::optional<QFont> narrowFace(const QFont& font);

// The font, its narrow face or that face condensed a little, whichever first holds the text
// in the room; none when even the last does not.
std::optional<QFont> fittingFont(const QFont& font, const QString& text, int room);

// Fits the one control's text (see above); the widget's own font is the starting point.
void fit(QWidget* w);
// Fits every text under the root.
void fitAll(QWidget* root);
// A read-only field whose text the program replaces: fitted again at every new text, back
// in the window's font when the text fits it. Its text stays whole (the program and the
// clipboard read it); where the narrow face is not enough it shows its start and carries
// the whole text as its tooltip.
void keepFitted(QLineEdit* field);
// A note the field's tooltip carries besides the whole text (the corrected value of a
// frequency); an empty note removes it.
void setNote(QLineEdit* field, const QString& note);

}  // namespace textfit
