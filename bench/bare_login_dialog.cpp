// The floor the program's start-up is measured against: a bare Qt Widgets
// dialog with a line edit and a button, nothing of the program's own. Its
// title is the login window's, so that startup_bench waits for both alike.
#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Авторизация"));
    auto* layout = new QHBoxLayout(&dialog);
    layout->addWidget(new QLineEdit(&dialog));
    layout->addWidget(new QPushButton(QStringLiteral("Вход"), &dialog));
    dialog.show();
    return app.exec();
}
