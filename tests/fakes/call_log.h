#pragma once

#include <string>
#include <vector>

/// The calls that several fakes received, in one sequence, for tests of the order between collaborators.
using CallLog = std::vector<std::string>;
