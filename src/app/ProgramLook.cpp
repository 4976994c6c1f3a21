// SPDX-License-Identifier: MIT
#include "ProgramLook.h"

#include <QApplication>
#include <QFontDatabase>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleFactory>

#include "FontWarmUp.h"

namespace {

// A standard icon that is read only when it is first drawn or measured. The menu bar asks
// for its overflow button's icon when it is made; reading that picture would load the
// image readers at start for a button that our four menus never need.
class DeferredStandardIcon : public QIconEngine {
  public:
    DeferredStandardIcon(QStyle* style, QStyle::StandardPixmap which)
        : style_(style), which_(which) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    QIconEngine* clone() const override { return new DeferredStandardIcon(*this); }
    QString key() const override { return QStringLiteral("DeferredStandardIcon"); }

  private:
    const QIcon& icon() {
        if (!loaded_) {
            if (style_) real_ = style_->standardIcon(which_);
            loaded_ = true;
        }
        return real_;
    }

    QPointer<QStyle> style_;
    QStyle::StandardPixmap which_;
    QIcon real_;
    bool loaded_ = false;
};

class ProgramStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (which == SP_ToolBarHorizontalExtensionButton ||
            which == SP_ToolBarVerticalExtensionButton)
            return QIcon(new DeferredStandardIcon(baseStyle(), which));
        return QProxyStyle::standardIcon(which, option, widget);
    }
};

QString programFamily() {
    static const QString family = [] {
        // The configuration the warm-up reads is needed from here on.
        finishFontWarmUp();
        for (const char* f : {"Liberation Sans", "Arial", "DejaVu Sans"}) {
            QString name = QString::fromLatin1(f);
            if (QFontDatabase::hasFamily(name)) return name;
        }
        return QStringLiteral("Sans Serif");
    }();
    return family;
}

}  // namespace

QFont programFont() {
    QFont f(programFamily());
    f.setPixelSize(11);
    return f;
}

void applyProgramLook() {
    // The layout's positions are below an in-window menu bar; a desktop's global menu would
    // take it out of the window and leave the controls' places wrong.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(new ProgramStyle(classic));
    QApplication::setFont(programFont());
}
