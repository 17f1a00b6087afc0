// A window of another process for the auto-paste tests: a line edit that takes the focus, prints its window
// id once it has the focus and writes its text to the file named on the command line whenever it changes.

#include <QApplication>
#include <QLineEdit>
#include <QSaveFile>
#include <QTest>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const auto path = QString::fromLocal8Bit(argv[1]);

    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("paste target"));
    edit.resize(320, 40);
    QObject::connect(&edit, &QLineEdit::textChanged, &edit, [path](const QString& text) {
        // Written whole or not at all, so the test never reads half a text.
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(text.toUtf8());
            file.commit();
        }
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
