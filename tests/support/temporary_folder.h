#pragma once

#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <string>

/// Checks `condition` every 20 ms until it holds or `timeout` passes; whether it held. Plain sleeps, not Qt's
/// event loop: compositors start before the application object, and a Qt wait before it spoils later ones.
bool pollUntil(const std::function<bool()>& condition, std::chrono::seconds timeout);

/// A new folder /tmp/<prefix>XXXXXX, for a compositor's runtime folder, HOME or bus; it goes with the object,
/// after the file system that a document portal on a private bus may have mounted in it.
class TemporaryFolder
{
public:
    explicit TemporaryFolder(const std::string& prefix);
    ~TemporaryFolder();

    /// Empty where it could not be made.
    [[nodiscard]] const std::string& path() const { return m_path; }

private:
    QTemporaryDir m_folder;
    std::string m_path;
};
