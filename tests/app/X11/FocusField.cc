// A text field of another program for the X11 tests: shows "hola mundo"
// with "mundo" selected, takes the keyboard focus, and appends "activa" or
// "inactiva" to the file given as its argument whenever its window gains or
// loses the focus.
#include <cstdio>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString report = QString::fromLocal8Bit(argv[1]);
    auto note = [&](const char* line) {
        QFile file(report);
        if (file.open(QIODevice::Append)) file.write(QByteArray(line) + "\n");
    };
    QLineEdit field("hola mundo");
    field.setWindowTitle("Campo de prueba");
    field.setGeometry(40, 500, 300, 40);
    field.show();
    field.setSelection(5, 5);
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, [&](QWindow* window) {
        note(window ? "activa" : "inactiva");
    });
    field.activateWindow();
    field.setFocus();
    return app.exec();
}
