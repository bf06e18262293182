// Start-up of Zelkora. The full start-up order (splash, main window, capture
// overlay, explorer windows) arrives with the main window; until then this
// shows the bare main window so the program can be started and closed.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zelkora");
    QApplication::setApplicationDisplayName(QString());
    QMainWindow w;
    w.setObjectName("MainForm");
    w.setWindowTitle("Zelkora 5.0");
    w.resize(800, 600);
    w.show();
    return app.exec();
}
