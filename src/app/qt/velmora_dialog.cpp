#include "app/qt/velmora_dialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include "app/geometry.h"

namespace velmora {

namespace {

constexpr const char* kSwallowProperty = "velmoraSwallowsEnterAndEscape";

class KeySwallower final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
            type != QEvent::ShortcutOverride) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter &&
            key->key() != Qt::Key_Escape) {
            return false;
        }
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || !SwallowsEnterAndEscape(widget->window())) {
            return false;
        }
        // Popups of drop-down lists are windows of their own and keep their keys.
        return true;
    }
};

}  // namespace

void InstallKeySwallower(QApplication& app) {
    static KeySwallower* swallower = nullptr;
    if (swallower == nullptr) {
        swallower = new KeySwallower(&app);  // owned by the application object
        app.installEventFilter(swallower);
    }
}

void MarkSwallowsEnterAndEscape(QWidget* window) {
    window->setProperty(kSwallowProperty, true);
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        InstallKeySwallower(*app);
    }
}

bool SwallowsEnterAndEscape(const QWidget* window) {
    return window != nullptr && window->property(kSwallowProperty).toBool();
}

void CenterOnWorkArea(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const ScreenRect placed =
        velmora::CenterOnWorkArea({area.left(), area.top(), area.width(), area.height()},
                                  {frame.left(), frame.top(), frame.width(), frame.height()});
    window->move(placed.left, placed.top);
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        // A blue actuator body with a grey rod and a green "written" mark.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
        painter.drawRoundedRect(QRectF(s * 0.06, s * 0.30, s * 0.62, s * 0.40), s * 0.08, s * 0.08);
        painter.setBrush(QColor(0x9a, 0xa4, 0xae));
        painter.drawRect(QRectF(s * 0.66, s * 0.44, s * 0.28, s * 0.12));
        painter.setBrush(QColor(0x2e, 0xa0, 0x4f));
        painter.drawEllipse(QRectF(s * 0.16, s * 0.38, s * 0.24, s * 0.24));
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap WarningSignPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath triangle;
    triangle.moveTo(size / 2.0, size * 0.06);
    triangle.lineTo(size * 0.96, size * 0.92);
    triangle.lineTo(size * 0.04, size * 0.92);
    triangle.closeSubpath();
    painter.setPen(QPen(Qt::black, qMax(1.0, size / 16.0)));
    painter.setBrush(QColor(0xf2, 0xc0, 0x1d));
    painter.drawPath(triangle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRect(QRectF(size * 0.46, size * 0.32, size * 0.08, size * 0.34));
    painter.drawEllipse(QRectF(size * 0.45, size * 0.72, size * 0.10, size * 0.10));
    return pixmap;
}

QPixmap NameplatePixmap(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x55, 0x5b, 0x62), 2));
    painter.setBrush(QColor(0xe8, 0xeb, 0xee));
    painter.drawRoundedRect(QRectF(2, 2, width - 4, height - 4), 6, 6);
    painter.setPen(QColor(0x22, 0x22, 0x22));
    QFont font = painter.font();
    font.setPixelSize(qMax(8, height / 6));
    painter.setFont(font);
    painter.drawText(QRectF(10, 6, width - 20, height / 3.0), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("CONTROLLER"));
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRectF(10, height / 3.0, width - 20, height / 3.0),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("SV 1.10"));
    painter.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(4, height / 3.0 - 2, width * 0.45, height / 3.0 + 4));
    return pixmap;
}

VelmoraDialog::VelmoraDialog(QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags) {
    MarkSwallowsEnterAndEscape(this);
    setWindowIcon(ProgramIcon());
}

}  // namespace velmora
