// SPDX-License-Identifier: MIT
#include "PlanWindow.h"

#include <QBuffer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "QtText.h"
#include "storage/FileText.h"

QImage renderPlan(const std::string& svg, QSize pixels) {
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    QSvgRenderer renderer(QByteArray::fromRawData(svg.data(), qsizetype(svg.size())));
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

PlanView::PlanView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PlanView"));
    setMouseTracking(true);
    setMinimumSize(300, 150);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&watcher_, &QFutureWatcher<QImage>::finished, this, &PlanView::rendered);
}

PlanView::~PlanView() {
    watcher_.waitForFinished();
}

void PlanView::setDrawing(zvk::PlanDrawing drawing) {
    drawing_ = std::move(drawing);
    startRendering();
}

void PlanView::startRendering() {
    if (running_) {
        stale_ = true;
        return;
    }
    stale_ = false;
    const QSize pixels = (pictureRect().size() * devicePixelRatioF()).toSize();
    if (pixels.isEmpty()) return;
    running_ = true;
    watcher_.setFuture(QtConcurrent::run(renderPlan, drawing_.svg, pixels));
}

void PlanView::rendered() {
    running_ = false;
    picture_ = watcher_.result();
    picture_.setDevicePixelRatio(devicePixelRatioF());
    update();
    if (stale_) startRendering();
    if (!rendering()) emit pictureReady();
}

void PlanView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    startRendering();
}

QSize PlanView::sizeHint() const {
    return {int(zvk::kPlanWidth), drawing_.height > 0 ? int(drawing_.height) : 300};
}

QRectF fittedPicture(QSizeF widget, double width, double height) {
    if (width <= 0 || height <= 0) return {};
    const double scale = std::min(widget.width() / width, widget.height() / height);
    const double w = width * scale, h = height * scale;
    return {(widget.width() - w) / 2, (widget.height() - h) / 2, w, h};
}

QPointF pictureUnits(const QRectF& picture, double width, double height, const QPointF& p) {
    if (picture.isEmpty()) return {};
    return {(p.x() - picture.x()) * width / picture.width(),
            (p.y() - picture.y()) * height / picture.height()};
}

QRectF PlanView::pictureRect() const {
    return fittedPicture(size(), drawing_.width, drawing_.height);
}

QPointF PlanView::toPicture(const QPointF& p) const {
    return pictureUnits(pictureRect(), drawing_.width, drawing_.height, p);
}

QString PlanView::toolTipAt(const QPointF& p) const {
    const QPointF at = toPicture(p);
    const zvk::PlanMarker* m = zvk::markerAt(drawing_, at.x(), at.y());
    return m ? qs(zvk::markerText(*m)) : QString();
}

void PlanView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    // While a new size is being rendered, the last picture stretched holds its place.
    if (!picture_.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(pictureRect(), picture_);
    }
}

bool PlanView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}

PlanWindow::PlanWindow(const zvk::FrequencyState& plan, const zvk::CrystalCorrection& correction,
                       QWidget* parent)
    : QWidget(parent, Qt::Window), plan_(&plan), correction_(&correction) {
    setObjectName(QStringLiteral("PlanWindow"));
    setWindowTitle(QStringLiteral("Frequency Plan"));
    view_ = new PlanView(this);
    SavePicture = new QPushButton(QStringLiteral("Save Picture…"), this);
    SavePicture->setObjectName(QStringLiteral("SavePicture"));
    connect(SavePicture, &QPushButton::clicked, this, [this] {
        const zvk::PlanDrawing& d = view_->drawing();
        savePictureClick(this, QStringLiteral("frequency-plan.svg"), d.svg, d.width, d.height);
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SavePicture);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    redraw();
    resize(int(zvk::kPlanWidth) + 24, int(view_->drawing().height) + 60);
}

void PlanWindow::planChanged() {
    // A plan reaches the tuning info twice (planning step, then recompute step), and the
    // picture wants the finished one.
    if (!isVisible() || pending_) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        pending_ = false;
        redraw();
    });
}

void PlanWindow::redraw() {
    view_->setDrawing(zvk::drawPlan(zvk::planPicture(*plan_, correction_->ppm)));
}

void PlanWindow::showEvent(QShowEvent* event) {
    // Hidden, it skipped the plans made meanwhile.
    redraw();
    QWidget::showEvent(event);
}

std::optional<QString> saveSvgPicture(const QString& path, const std::string& svg) {
    if (auto error = zvk::replaceFileText(ss(path), svg))
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, qs(*error));
    return std::nullopt;
}

std::optional<QString> savePngPicture(const QString& path, const std::string& svg, double width,
                                      double height) {
    const QImage image = renderPlan(svg, QSize(int(width * 2), int(height * 2)));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) return QStringLiteral("Cannot make the PNG picture.");
    }
    if (auto error =
            zvk::replaceFileText(ss(path), std::string_view(png.constData(), size_t(png.size()))))
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, qs(*error));
    return std::nullopt;
}

void savePictureClick(QWidget* parent, const QString& name, const std::string& svg, double width,
                      double height) {
    const QString svgFilter = QStringLiteral("SVG picture (*.svg)");
    const QString pngFilter = QStringLiteral("PNG image (*.png)");
    QString chosen;
    QString path =
        QFileDialog::getSaveFileName(parent, QStringLiteral("Save Picture"), name,
                                     svgFilter + QStringLiteral(";;") + pngFilter, &chosen);
    if (path.isEmpty()) return;
    const bool png =
        path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive) ||
        (chosen == pngFilter && !path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive));
    if (const auto error =
            png ? savePngPicture(path, svg, width, height) : saveSvgPicture(path, svg))
        QMessageBox::warning(parent, QStringLiteral("Save Picture"), *error);
}

std::optional<QString> PlanWindow::saveSvg(const QString& path) const {
    return saveSvgPicture(path, view_->drawing().svg);
}

std::optional<QString> PlanWindow::savePng(const QString& path) const {
    const zvk::PlanDrawing& d = view_->drawing();
    return savePngPicture(path, d.svg, d.width, d.height);
}
