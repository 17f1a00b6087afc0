// A window of another process for the auto-paste tests: a line edit that takes the focus, prints its window
// id once shown and writes its text to the file named on the command line whenever the text changes.

#include <QApplication>
#include <QLineEdit>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: paste_target <text file>\n");
        return 2;
    }
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
    std::printf("%llu\n", static_cast<unsigned long long>(edit.winId()));
    std::fflush(stdout);
    return application.exec();
}
