#include "widgets/panelcache.h"

#include <QApplication>
#include <QPaintEngine>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

#include <array>

void PanelCache::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                               const QWidget* widget) const
{
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element != PE_PanelLineEdit || !frame || !painter) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    // Only plain raster painting: a scaled or vector painter gets the style's own drawing, on the window's
    // colour as the cached panel has it.
    if (!painter->paintEngine() || painter->paintEngine()->type() != QPaintEngine::Raster ||
        painter->worldTransform().type() > QTransform::TxTranslate || option->rect.isEmpty()) {
        painter->fillRect(option->rect, option->palette.window());
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device()->devicePixelRatio();
    const QSize size = option->rect.size();
    // Everything the panel's look depends on, as the characters of the cache key.
    const std::array<qint64, 9> look{size.width(),
                                     size.height(),
                                     static_cast<qint64>(option->state),
                                     option->palette.cacheKey(),
                                     frame->lineWidth,
                                     frame->midLineWidth,
                                     static_cast<qint64>(frame->features),
                                     static_cast<qint64>(option->direction),
                                     qRound64(ratio * 1000)};
    QString key = QStringLiteral("tarnolux-panel");
    key.append(reinterpret_cast<const QChar*>(look.data()),
               static_cast<qsizetype>(sizeof look / sizeof(QChar)));
    QPixmap panel;
    if (!QPixmapCache::find(key, &panel)) {
        panel = QPixmap(size * ratio);
        panel.setDevicePixelRatio(ratio);
        // The window's colour where the frame's rounded corners leave it: the box paints every pixel.
        panel.fill(option->palette.color(QPalette::Window));
        QStyleOptionFrame at(*frame);
        at.rect = QRect(QPoint(0, 0), size);
        QPainter p(&panel);
        p.setRenderHints(painter->renderHints());
        QProxyStyle::drawPrimitive(element, &at, &p, widget);
        p.end();
        QPixmapCache::insert(key, panel);
    }
    painter->drawPixmap(option->rect.topLeft(), panel);
}

void PanelCache::applyTo(std::initializer_list<QWidget*> boxes)
{
    static QPointer<PanelCache> shared;
    if (!shared) {
        shared = new PanelCache(QStyleFactory::create(QApplication::style()->name()));
        shared->setParent(qApp);
    }
    for (QWidget* box : boxes) {
        box->setStyle(shared);
        // A new value repaints the box alone, not the window and the captions beneath it.
        box->setAttribute(Qt::WA_OpaquePaintEvent);
    }
}
