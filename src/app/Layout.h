// SPDX-License-Identifier: MIT
#pragma once
// The building blocks of the window's fixed layout: every control at its place, with its
// name, caption, items and initial state, and the pages' tables of controls.
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;
class PageControl;
class RadioGroup;
class UpDown;
namespace zvk {
struct EditRule;
}

// The window's outer frame, fixed; the settings file keeps these as its size.
inline constexpr int kFrameWidth = 490;
inline constexpr int kFrameHeight = 580;
// The classic frame around the client area: 4-pixel borders and a 19-pixel caption.
inline constexpr int kClientWidth = kFrameWidth - 8;
inline constexpr int kClientHeight = kFrameHeight - 8 - 19;
inline constexpr int kEditHeight = 21;
inline constexpr int kLabelHeight = 13;

// An edit field that reports the release of a key, leaving out the releases that key
// auto-repeat produces.
class Edit : public QLineEdit {
    Q_OBJECT
  public:
    explicit Edit(const QString& text, QWidget* parent = nullptr) : QLineEdit(text, parent) {}
  signals:
    void keyReleased();

  protected:
    void keyReleaseEvent(QKeyEvent* event) override;
};

namespace layout {

QLabel* label(QWidget* parent, const QString& text, int x, int y);
QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                 int h);
QComboBox* combo(QWidget* parent, const char* name, int x, int y, int w, const QStringList& items,
                 int index);
RadioGroup* radio(QWidget* parent, const char* name, const QString& caption,
                  const QStringList& items, int columns, int x, int y, int w, int h, int index);
QCheckBox* check(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                 int h);
Edit* edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w);
// A divider or filter edit's spinner, stepping within the edit's range.
UpDown* spinner(QWidget* parent, const char* name, QLineEdit* buddy, const zvk::EditRule& rule);
QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                    int h);
// A read-only field the program fills: bold, on the button face.
QLineEdit* infoEdit(QWidget* parent, const char* name, int x, int y, int w, bool bold);
// Red, or the face the edit has when it is not red: the button face for the read-only
// fields, the base colour for the others.
void setRed(QLineEdit* edit, bool red, bool buttonFace);

// A page of field controls laid out from a table: its groups, and in them or on the page
// itself labels, combo boxes, radio groups and check boxes.
struct Control {
    enum Kind { Group, Label, Combo, Radio, Check } kind;
    const char* name;  // object name; "" for a label
    const char* caption;
    std::vector<const char*> items;
    int x, y, w, h;
    int index = 0;             // the initial item
    int columns = 1;           // of a radio group
    const char* in = nullptr;  // the group it lies in; the page itself when null
};
// Builds the table's controls on the page; each named one is found by its name after.
void build(QWidget* page, const std::vector<Control>& table);

// A page of the page control, added before its controls are built, so that they take
// the window's font from the start.
QWidget* addPage(QWidget* page, PageControl* pc, const char* name, const QString& caption);

}  // namespace layout
