#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Orvel"));
    window.setWindowTitle(QStringLiteral("Orvel"));
    window.resize(640, 360);
    window.show();
    return app.exec();
}
