#pragma once

// The real velmora executable in a native Wayland session, driven only from outside: wl-copy and the tests'
// data-control owner copy, wl-paste reads, and the desktop's own tools type keys and tell what it shows.

#include "tests/support/desktop_programs.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

inline QByteArray paste(const QStringList& arguments = {"--no-newline"})
{
    return run("wl-paste", arguments).output;
}

/// Velmora on the desktop that `Desktop` drives: it names the `executable`, adjusts Velmora's environment
/// given a runtime folder of its own (`prepare`), presses a key by its xkb name (`press`) and tells whether
/// the panel is shown with the focus (`isPanelShown`) or not at all (`isPanelHidden`).
template <typename Desktop> class WaylandDesktopTest : public ::testing::Test
{
protected:
    static constexpr std::chrono::seconds patience{30};

    /// Starts Velmora as a user's session would, and waits until it watches the clipboard.
    void SetUp() override
    {
        Desktop::prepare(m_environment, m_runtime.path());
        m_velmora.setProcessEnvironment(m_environment);
        m_velmora.setProcessChannelMode(QProcess::ForwardedChannels);
        m_velmora.start(Desktop::executable, {});
        // It listens before it watches the clipboard; once its panel has shown, it watches. Escape closes it.
        ASSERT_TRUE(waitFor([&] { return toggle(); }, 2 * patience)) << "Velmora never took requests";
        ASSERT_TRUE(waitFor(Desktop::isPanelShown, patience));
        ASSERT_TRUE(Desktop::press("Escape"));
        ASSERT_TRUE(waitFor(Desktop::isPanelHidden, patience));
    }

    void TearDown() override
    {
        m_velmora.terminate();
        static_cast<void>(m_velmora.waitForFinished(5000));
    }

    /// Runs `velmora --toggle`; whether it succeeded.
    bool toggle()
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(Desktop::executable, {"--toggle"});
        return waitForEnd(process, patience) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    /// Opens the panel and chooses its row `row`, counted from 1, with the keys; whether there was such a row.
    /// Escape closes a panel that has none.
    bool choose(int row)
    {
        bool typed = toggle() && waitFor(Desktop::isPanelShown, patience);
        // One press each: a key pressed again before its release may count once.
        for (int step = 0; step < row; ++step) {
            typed = typed && Desktop::press("Down");
        }
        if (!typed || !Desktop::press("Return")) {
            ADD_FAILURE() << "the panel did not open or take the keys";
            return false;
        }
        if (waitFor(Desktop::isPanelHidden, std::chrono::seconds(5))) {
            return true;
        }
        EXPECT_TRUE(Desktop::press("Escape") && waitFor(Desktop::isPanelHidden, patience))
            << "Escape did not close the panel";
        return false;
    }

    /// Chooses row `row` again until `chosen` holds: keys typed the moment the panel shows can come before its
    /// list has the focus, and are lost.
    bool chooseUntil(int row, const std::function<bool()>& chosen)
    {
        return waitFor([&] { return choose(row) && chosen(); }, 4 * patience);
    }

    /// Copies with wl-copy, again until the panel's first row is that copy: choosing an older first row puts
    /// that row back on the clipboard.
    void copyUntilNewest(const QByteArray& data, const QString& mimeType = "text/plain;charset=utf-8")
    {
        const auto copied = [&] {
            return mimeType == "image/png" ? paste({"--list-types"}).contains("image/png") : paste() == data;
        };
        const auto copyAndChoose = [&] {
            QProcess copy;
            copy.start("wl-copy", {"--type", mimeType});
            copy.write(data);
            copy.closeWriteChannel();
            // wl-copy goes to the background once it holds the selection.
            return waitForEnd(copy, patience) && choose(1) && copied();
        };
        ASSERT_TRUE(waitFor(copyAndChoose, 4 * patience)) << "Velmora never listed " << mimeType.toStdString();
    }

    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_velmora;
};

TYPED_TEST_SUITE_P(WaylandDesktopTest);

TYPED_TEST_P(WaylandDesktopTest, ListsNativeCopiesNewestFirstButNoPasswordAndPastesTheChosenOneIntoTheFocusedWindow)
{
    const auto patience = this->patience;
    const PasteTarget target;
    ASSERT_NE(target.window, 0U) << "the paste target never showed";
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
    this->copyUntilNewest("older text");
    // A password manager's copy, which carries its hint.
    const QTemporaryDir files;
    const auto secret = files.filePath("secret"), hint = files.filePath("hint");
    std::ofstream(secret.toStdString()) << "hunter2";
    std::ofstream(hint.toStdString()) << "secret";
    QProcess manager;
    manager.start(VELMORA_SELECTION_OWNER,
                  {"none", "text/plain;charset=utf-8", secret, "x-kde-passwordManagerHint", hint});
    ASSERT_TRUE(waitFor([] { return paste() == "hunter2"; }, patience));
    this->copyUntilNewest("newer text");
    this->copyUntilNewest(png, "image/png");

    // Row 3 is the older text as the password was never listed. The last paste so far was the newer text's, so
    // the target's end is this choice's.
    for (const auto& [row, text] : {std::pair{3, QByteArray("older text")}, {2, QByteArray("newer text")}}) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(this->chooseUntil(row, [&] { return paste() == text; })) << paste().toStdString();
        EXPECT_TRUE(waitFor([&] { return target.text().endsWith(text); }, patience)) << target.text().toStdString();
    }
    EXPECT_TRUE(this->chooseUntil(1, [] { return paste({"--list-types"}).contains("image/png"); }));
    EXPECT_EQ(QImage::fromData(paste({"--type", "image/png"})).convertToFormat(QImage::Format_RGB32), picture);
}

REGISTER_TYPED_TEST_SUITE_P(WaylandDesktopTest,
                            ListsNativeCopiesNewestFirstButNoPasswordAndPastesTheChosenOneIntoTheFocusedWindow);
