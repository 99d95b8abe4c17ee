#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Mirvok"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Mirvok"));
    window.resize(720, 560);
    window.show();
    return app.exec();
}
