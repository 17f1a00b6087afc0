// The real velmora executable in a native Wayland session on headless sway, with no X server, driven only from
// outside: wl-copy copies, wtype types, swaymsg tells what sway shows.

#include "tests/support/desktop_programs.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

/// What sway shows of the panel; unsure while it is visible without the focus, or sway does not answer.
enum class Panel
{
    Hidden,
    Shown,
    Unsure
};

/// The panel in a node of sway's tree or under it.
Panel panelIn(const QJsonObject& node)
{
    if (node.value("app_id").toString() == "com.hollin.velmora" && node.value("visible").toBool()) {
        return node.value("focused").toBool() ? Panel::Shown : Panel::Unsure;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const auto& child : node.value(children).toArray()) {
            if (const auto panel = panelIn(child.toObject()); panel != Panel::Hidden) {
                return panel;
            }
        }
    }
    return Panel::Hidden;
}

Panel panel()
{
    const auto tree = run("swaymsg", {"-t", "get_tree", "--raw"});
    return tree.status == 0 ? panelIn(QJsonDocument::fromJson(tree.output).object()) : Panel::Unsure;
}

const auto isPanelShown = [] { return panel() == Panel::Shown; };
const auto isPanelHidden = [] { return panel() == Panel::Hidden; };

bool type(const QStringList& keys)
{
    QStringList arguments;
    for (const auto& key : keys) {
        arguments << "-k" << key;
    }
    return run("wtype", arguments).status == 0;
}

QByteArray paste(const QStringList& arguments = {"--no-newline"})
{
    return run("wl-paste", arguments).output;
}

class VelmoraWaylandTest : public ::testing::Test
{
protected:
    /// Starts Velmora as a user's session would, and waits until it watches the clipboard.
    void SetUp() override
    {
        // Its own runtime folder, as each user has; Qt is to choose Wayland by itself.
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.remove("QT_QPA_PLATFORM");
        m_velmora.setProcessEnvironment(m_environment);
        m_velmora.setProcessChannelMode(QProcess::ForwardedChannels);
        m_velmora.start(VELMORA_EXECUTABLE, {});
        // It listens before it watches the clipboard; once its panel has shown, it watches.
        ASSERT_TRUE(waitFor([&] { return toggle(); }, 30s)) << "Velmora never took requests";
        ASSERT_TRUE(waitFor(isPanelShown, 30s));
        ASSERT_TRUE(toggle());
        ASSERT_TRUE(waitFor(isPanelHidden, 30s));
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
        process.start(VELMORA_EXECUTABLE, {"--toggle"});
        return waitForEnd(process, 30s) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    /// Opens the panel and chooses its row `row`, counted from 1, with the keys; whether there was such a row.
    /// Escape closes a panel that has none.
    bool choose(int row)
    {
        if (!toggle() || !waitFor(isPanelShown, 30s) || !type(QStringList(row, "Down") << "Return")) {
            ADD_FAILURE() << "the panel did not open or take the keys";
            return false;
        }
        if (waitFor(isPanelHidden, 5s)) {
            return true;
        }
        EXPECT_TRUE(type({"Escape"}) && waitFor(isPanelHidden, 30s)) << "Escape did not close the panel";
        return false;
    }

    /// Chooses row `row` again until `chosen` holds: keys typed the moment the panel shows can come before its
    /// search field has the focus, and are lost.
    bool chooseUntil(int row, const std::function<bool()>& chosen)
    {
        return waitFor([&] { return choose(row) && chosen(); }, 2min);
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
            return waitForEnd(copy, 30s) && choose(1) && copied();
        };
        ASSERT_TRUE(waitFor(copyAndChoose, 2min)) << "Velmora never listed " << mimeType.toStdString() << " first";
    }

    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_velmora;
};

// SetUp has toggled the panel open and closed.
TEST_F(VelmoraWaylandTest, EscapeClosesThePanel)
{
    ASSERT_TRUE(toggle());
    EXPECT_TRUE(waitFor(isPanelShown, 30s));
    ASSERT_TRUE(type({"Escape"}));
    EXPECT_TRUE(waitFor(isPanelHidden, 30s));
}

TEST_F(VelmoraWaylandTest, NativeCopiesShowNewestFirstAndTheChosenOnePastesIntoTheFocusedWindow)
{
    const PasteTarget target;
    ASSERT_NE(target.window, 0U) << "the paste target never showed";
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "PNG"));
    copyUntilNewest("older text");
    copyUntilNewest("newer text");
    copyUntilNewest(png, "image/png");

    // The older text first: the last paste so far was the newer one's, so the target's end is this choice's.
    for (const auto& [row, text] : {std::pair{3, QByteArray("older text")}, {2, QByteArray("newer text")}}) {
        SCOPED_TRACE(row);
        EXPECT_TRUE(chooseUntil(row, [&] { return paste() == text; })) << paste().toStdString();
        EXPECT_TRUE(waitFor([&] { return target.text().endsWith(text); }, 30s)) << target.text().toStdString();
    }
    EXPECT_TRUE(chooseUntil(1, [] { return paste({"--list-types"}).contains("image/png"); }));
    EXPECT_EQ(QImage::fromData(paste({"--type", "image/png"})).convertToFormat(QImage::Format_RGB32), picture);
}

} // namespace
