#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vavod Idiriz"));
    QApplication::setOrganizationName(QStringLiteral("Vavod Idiriz"));
    // The windowed application is not assembled yet: start, show nothing, leave cleanly.
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
