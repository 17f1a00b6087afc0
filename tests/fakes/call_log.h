#pragma once

#include <vector>

/// What the fakes were asked to do, in one sequence, for tests of the order between collaborators.
enum class Call
{
    Activate,
    Hide,
    Quit,
    ShowTray,
    RegisterHotKey,
    PressPasteChord,
    ShowAlert,
};

using CallLog = std::vector<Call>;
