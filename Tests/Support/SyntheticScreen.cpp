#include "Support/SyntheticScreen.h"

#include "Platform/Raster/Fonts.h"
#include "Platform/Raster/QtBridge.h"

#include <QPainter>
#include <QString>

#include <algorithm>
#include <array>

namespace vi::test {

namespace {

// Lines of a made-up source file; the colours stand for the usual syntax highlighting.
constexpr std::array<const char*, 14> kCode{
    "#include \"RecordCore/Scene.h\"",
    "",
    "namespace vi {",
    "",
    "FrameState Scene::state(double t) const {",
    "    FrameState state(camera_.view(t));",
    "    const double source = plan_.sourceTime(t);",
    "    state.pill = pill(plan_.segment(source), source);",
    "    if (pointer_) {",
    "        state.pointer = pointer_->state(t);",
    "    }",
    "    return state;",
    "}",
    "} // namespace vi",
};

} // namespace

raster::Image syntheticScreen(int width, int height) {
    raster::Fonts::registerInterfaceFonts();
    return raster::paintImage({0, 0, width, height}, [&](QPainter& p) {
        const double u = height / 1080.0; // one unit of the 1080-line design
        p.fillRect(QRectF(0, 0, width, height), QColor(24, 28, 44));
        // Editor window with its title bar.
        const QRectF editor(60 * u, 50 * u, width - 120 * u, height - 100 * u);
        p.fillRect(editor, QColor(30, 32, 40));
        p.fillRect(QRectF(editor.x(), editor.y(), editor.width(), 44 * u), QColor(44, 46, 56));
        const std::array<QColor, 3> lights{QColor(255, 95, 86), QColor(255, 189, 46), QColor(39, 201, 63)};
        for (int i = 0; i < 3; ++i) {
            p.setBrush(lights[std::size_t(i)]);
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(editor.x() + (26 + 26 * i) * u, editor.y() + 22 * u), 7 * u, 7 * u);
        }
        // Side bar, code and a terminal below.
        p.fillRect(QRectF(editor.x(), editor.y() + 44 * u, 300 * u, editor.height() - 44 * u), QColor(36, 38, 48));
        QFont mono = raster::Fonts::digits(22 * u, raster::FontWeight::Medium);
        mono.setPixelSize(std::max(1, int(22 * u))); // this painter's device has the usual resolution
        p.setFont(mono);
        const std::array<QColor, 4> ink{QColor(220, 220, 228), QColor(198, 120, 221), QColor(97, 175, 239),
                                        QColor(152, 195, 121)};
        for (std::size_t i = 0; i < kCode.size(); ++i) {
            const double y = editor.y() + (90 + 36 * double(i)) * u;
            p.setPen(QColor(90, 94, 110));
            p.drawText(QPointF(editor.x() + 320 * u, y), QString::number(i + 1));
            p.setPen(ink[i % ink.size()]);
            p.drawText(QPointF(editor.x() + 380 * u, y), QString::fromUtf8(kCode[i]));
        }
        for (int i = 0; i < 12; ++i) {
            p.setPen(QColor(150, 154, 170));
            p.drawText(QPointF(editor.x() + 30 * u, editor.y() + (90 + 36 * i) * u), QString("file_%1.cpp").arg(i));
        }
        const QRectF terminal(editor.x() + 300 * u, editor.bottom() - 260 * u, editor.width() - 300 * u, 260 * u);
        p.fillRect(terminal, QColor(18, 19, 24));
        p.setPen(QColor(152, 195, 121));
        p.drawText(QPointF(terminal.x() + 24 * u, terminal.y() + 44 * u), "$ ctest --output-on-failure");
        p.setPen(QColor(220, 220, 228));
        p.drawText(QPointF(terminal.x() + 24 * u, terminal.y() + 84 * u), "100% tests passed, 0 tests failed out of 38");
    });
}

raster::Image syntheticCameraFrame(int width, int height) {
    return raster::paintImage({0, 0, width, height}, [&](QPainter& p) {
        p.fillRect(QRectF(0, 0, width, height), QColor(196, 204, 214));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(52, 72, 110));
        p.drawEllipse(QPointF(width * 0.5, height * 1.05), height * 0.45, height * 0.32);
        p.setBrush(QColor(226, 178, 146));
        p.drawEllipse(QPointF(width * 0.5, height * 0.45), height * 0.2, height * 0.25);
    });
}

} // namespace vi::test
