// SPDX-License-Identifier: MIT
#pragma once
#include <QStringList>
#include <QVector>
#include <QWidget>

class QStackedWidget;
class QStyleOptionTab;

// Tab pages whose tabs wrap into as many rows as the width needs, with the row of the
// selected tab next to the page, and whose tabs can be hidden. userChanged() is emitted
// only when the user picks another page; the program's setCurrentIndex() and hiding a
// page never emit it.
class PageControl : public QWidget {
    Q_OBJECT
  public:
    explicit PageControl(QWidget* parent = nullptr);

    int addPage(QWidget* page, const QString& caption);
    int count() const { return int(pages_.size()); }
    QWidget* page(int index) const { return pages_.value(index).widget; }
    QString caption(int index) const { return pages_.value(index).caption; }
    int indexOf(QWidget* page) const;

    int currentIndex() const { return current_; }
    QWidget* currentPage() const { return page(current_); }
    void setCurrentIndex(int index);
    void setCurrentPage(QWidget* page) { setCurrentIndex(indexOf(page)); }

    bool isTabVisible(int index) const { return pages_.value(index).visible; }
    void setTabVisible(int index, bool visible);

    // Where the tab of a visible page is drawn (empty for a hidden one).
    QRect tabRect(int index) const;
    // The part of it the style gives the caption.
    QRect tabTextRect(int index) const;

  signals:
    void userChanged(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct Page {
        QWidget* widget = nullptr;
        QString caption;
        bool visible = true;
    };
    void relayout();
    int tabHeight() const;
    // A tab's natural width: its caption and the room the style keeps around it.
    int tabWidth(int index) const;
    QStyleOptionTab tabOption(int index, int positionInRow, int rowSize) const;

    QVector<Page> pages_;
    QVector<QRect> tabRects_;  // per page, empty when hidden
    QVector<QVector<int>> rows_;
    int current_ = -1;
    QStackedWidget* stack_;
};
