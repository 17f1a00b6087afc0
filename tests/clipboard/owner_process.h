#pragma once

#include "engine/clipboard_item.h"
#include "platform/image.h"
#include "tests/support/desktop_programs.h"

#include <QColor>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <random>
#include <utility>

/// A target (X11) or MIME type (Wayland) and the bytes an owner offers as it.
using Form = std::pair<QString, QByteArray>;

/// A picture of one colour in the file format `format`.
inline QByteArray picture(QColor colour, const char* format = "png", QSize size = {64, 48})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return platform::encodeImage(image, format).value_or(QByteArray());
}

/// Whether `entry` holds exactly what `form` offers: a damaged entry holds anything else.
inline bool holds(const ClipboardItem& entry, const Form& form)
{
    const auto rgb32 = [](const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); };
    if (form.first.startsWith("image/")) {
        return entry.image() && rgb32(entry.image()->toQImage()) == rgb32(QImage::fromData(form.second));
    }
    return entry.text() ==
           (form.first == "STRING" ? QString::fromLatin1(form.second) : QString::fromUtf8(form.second)).trimmed();
}

/// A text offered as `textForm` or a picture, for a round of the randomised hostile owners.
inline Form randomPayload(std::mt19937_64& random, int round, const QString& textForm)
{
    const auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    if (uniform(0, 3) == 0) {
        const QColor colour(uniform(0, 255), uniform(0, 255), uniform(0, 255));
        return {"image/png", picture(colour, "png", {uniform(1, 48), uniform(1, 48)})};
    }
    // Up to 128 KB, so that owners send it whole or in pieces of any size.
    QByteArray text = "round " + QByteArray::number(round) + " ";
    for (int length = uniform(0, 1 << uniform(0, 17)); text.size() < length;) {
        text += static_cast<char>(uniform(' ', '~'));
    }
    return {textForm, text};
}

/// One of the tests' own clipboard owners in a process of its own: it offers forms, misbehaves by a plan
/// and prints a line for each step it takes ("ready", "asked <form>", "misstep ..."), which the test reads.
class OwnerProcess
{
public:
    explicit OwnerProcess(QString program) : m_program(std::move(program)) {}
    ~OwnerProcess() { stop(); }

    /// Starts the owner with `plan` offering `forms`, and `replacement` after a replace; whether it holds the
    /// clipboard in time.
    [[nodiscard]] bool start(const QString& plan, const QList<Form>& forms, const QList<Form>& replacement = {})
    {
        QStringList arguments{plan};
        for (const auto& [form, bytes] : forms + QList<Form>{{"then", {}}} + replacement) {
            // Each content once, however many forms offer it.
            auto& name = m_files[bytes];
            if (name.isEmpty()) {
                name = m_directory.filePath(QString::number(m_files.size()));
                QFile written(name);
                if (!written.open(QIODevice::WriteOnly) || written.write(bytes) != bytes.size()) {
                    return false;
                }
            }
            arguments << form << (form == "then" ? QStringList() : QStringList{name});
        }
        m_output.clear();
        m_process.start(m_program, replacement.isEmpty() ? arguments.mid(0, arguments.size() - 1) : arguments);
        // A request may come before "ready", and an owner that dies at it never prints that.
        return waitFor([&] { return lines("ready").size() == 1 || !lines("asked").isEmpty(); },
                       std::chrono::minutes(1));
    }

    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    /// The lines the owner printed so far that start with `prefix`.
    [[nodiscard]] QByteArrayList lines(const QByteArray& prefix)
    {
        // Takes in what is in the pipe now, events processed or not.
        static_cast<void>(m_process.waitForReadyRead(0));
        m_output += m_process.readAllStandardOutput();
        auto found = m_output.split('\n');
        found.removeIf([&](const QByteArray& line) { return !line.startsWith(prefix); });
        return found;
    }

private:
    QString m_program;
    QTemporaryDir m_directory;
    QHash<QByteArray, QString> m_files;
    QProcess m_process;
    QByteArray m_output;
};
