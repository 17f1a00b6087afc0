// A window of another process for the auto-paste tests: a line edit that takes the focus, prints its window
// id once it has the focus and then its text, a line each time it changes.

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);

    QLineEdit edit;
    edit.resize(320, 40);
    QObject::connect(&edit, &QLineEdit::textChanged, &edit, [](const QString& text) {
        std::printf("%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    edit.show();
    edit.activateWindow();
    // Qt sends the activation request only once the window is exposed; announcing the window before that
    // would let a late request take the focus back from whatever the test activates next.
    static_cast<void>(QTest::qWaitForWindowActive(&edit));
    std::printf("%llu\n", static_cast<unsigned long long>(edit.winId()));
    std::fflush(stdout);
    return application.exec();
}
