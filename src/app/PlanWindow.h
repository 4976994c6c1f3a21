// SPDX-License-Identifier: MIT
#pragma once
#include <QFutureWatcher>
#include <QImage>
#include <QWidget>
#include <optional>

#include "plan/CrystalCorrection.h"
#include "plan/FrequencyPlan.h"
#include "plan/PlanSvg.h"

class QPushButton;

// The picture of the frequency plan, scaled to the widget with its proportions kept.
// The pointer over a marker names it and its frequency.
// Qt's SVG renderer lays out every text afresh each time it paints, which costs
// milliseconds for a picture with dozens of labels: the picture is rendered beside the
// window's thread into an image the widget then shows, so a plan never waits for it. Only
// the newest drawing is rendered; one that arrives during a rendering waits for its end.
class PlanView : public QWidget {
    Q_OBJECT
  public:
    explicit PlanView(QWidget* parent = nullptr);
    ~PlanView() override;
    PlanView(const PlanView&) = delete;
    PlanView& operator=(const PlanView&) = delete;
    void setDrawing(zvk::PlanDrawing drawing);
    const zvk::PlanDrawing& drawing() const { return drawing_; }
    // Where the picture lies in the widget, and a widget point in the picture's units.
    QRectF pictureRect() const;
    QPointF toPicture(const QPointF& p) const;
    // The tooltip at a widget point: empty when no marker is there.
    QString toolTipAt(const QPointF& p) const;
    QSize sizeHint() const override;
    // The image shown, and whether a newer one is still being rendered.
    const QImage& picture() const { return picture_; }
    // (Until the finished rendering is taken: the thread ends before its result is.)
    bool rendering() const { return running_ || stale_; }

  signals:
    void pictureReady();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void startRendering();
    void rendered();
    zvk::PlanDrawing drawing_;
    QImage picture_;
    QFutureWatcher<QImage> watcher_;
    bool stale_ = false;
    bool running_ = false;  // a rendering started and its picture not yet taken
};

// The drawing as an image of the given size in device pixels, white behind it.
QImage renderPlan(const std::string& svg, QSize pixels);
// Where a picture of width x height units lies in a widget of the given size, kept in its
// proportions and centred; and a widget point in the picture's units (none when empty).
QRectF fittedPicture(QSizeF widget, double width, double height);
QPointF pictureUnits(const QRectF& picture, double width, double height, const QPointF& p);

// A picture the core drew into a file: SVG as drawn, or PNG at twice the drawing's size
// (width by height units). An error text when the file cannot be written.
std::optional<QString> saveSvgPicture(const QString& path, const std::string& svg);
std::optional<QString> savePngPicture(const QString& path, const std::string& svg, double width,
                                      double height);
// "Save Picture…": asks for the file, proposing name, and saves as SVG or, by the name or
// the filter chosen, as PNG; a failure becomes a warning box.
void savePictureClick(QWidget* parent, const QString& name, const std::string& svg, double width,
                      double height);

// "Frequency Plan": a window of its own beside the main window that draws the plan the
// tuning info shows and follows it: every plan, preset, crystal or injection change
// redraws it once the change is complete.
class PlanWindow : public QWidget {
    Q_OBJECT
  public:
    // correction: the session's, whose corrected values the picture shows beside the
    // nominal ones while it is not 0.
    PlanWindow(const zvk::FrequencyState& plan, const zvk::CrystalCorrection& correction,
               QWidget* parent = nullptr);
    // The plan changed: redrawn at the end of the change, once, and only while shown.
    void planChanged();
    // Draws the plan as it stands now.
    void redraw();
    PlanView* view() const { return view_; }
    // The picture into a file: SVG as drawn, or PNG at twice the drawing's size. An error
    // text when the file cannot be written.
    std::optional<QString> saveSvg(const QString& path) const;
    std::optional<QString> savePng(const QString& path) const;
    QPushButton* SavePicture;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    const zvk::FrequencyState* plan_;
    const zvk::CrystalCorrection* correction_;
    PlanView* view_;
    bool pending_ = false;
};
