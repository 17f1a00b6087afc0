#pragma once

// The command line of the tests' two clipboard owners, the X11 one (velmora_test_clipboard_owner) and the
// Wayland one (velmora_test_selection_owner), which the tests and the benchmarks drive alike:
//
//   OWNER MISSTEP[:STEP[:CHUNK[:PAUSE]]] FORM FILE [FORM FILE ...] [then FORM FILE ...]
//   OWNER random:SEED FORM FILE [FORM FILE ...]
//
// The owner takes the clipboard offering the bytes of each FILE as its FORM (an X11 target or a MIME type),
// and takes MISSTEP at step STEP. Steps count from 0: the list of forms (asked for on X11, sent with the
// offer on Wayland), then each request and each chunk asked for. Missteps of both owners:
//   none     serves every request
//   silent   answers nothing from then on, keeping the request open
//   skip     leaves that one request unanswered
//   die      exits, on Wayland halfway through the data
//   empty    sends no data
//   replace  refuses that request and takes the clipboard again, offering the forms after "then" (its own
//            forms without them)
// and the X11 owner's own: refuse, wrongType, wrongFormat, deleteProperty.
// CHUNK > 0 sends the data in pieces of that many bytes, PAUSE ms apart. random:SEED draws the misstep, its
// step and the chunking. The owner prints, line by line, "ready <ns>" once it owns the clipboard, <ns> being
// the monotonic clock just before it took it; "asked <form> <ns>" for each request and "misstep <name>" as it
// takes one. It exits once another client takes the clipboard.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct OwnerPlan
{
    using Forms = std::vector<std::pair<std::string, std::string>>;

    std::string misstep = "none";
    int step = 0;
    int chunk = 0;
    int pause = 0;
    std::optional<unsigned long long> seed;
    Forms forms;
    // Empty for the same forms.
    Forms replacement;

    /// Nothing when the command line does not follow the grammar or names a misstep not in `missteps`.
    [[nodiscard]] static std::optional<OwnerPlan> parse(int argc, char** argv,
                                                        std::span<const std::string_view> missteps)
    {
        if (argc < 4) {
            return std::nullopt;
        }
        OwnerPlan plan;
        char name[32] = "";
        unsigned long long first = 0;
        std::sscanf(argv[1], "%31[^:]:%llu:%d:%d", name, &first, &plan.chunk, &plan.pause);
        plan.misstep = name;
        if (plan.misstep == "random") {
            plan.seed = first;
        } else if (std::ranges::find(missteps, plan.misstep) == missteps.end()) {
            return std::nullopt;
        }
        plan.step = static_cast<int>(first);
        auto* forms = &plan.forms;
        for (int index = 2; index < argc; ++index) {
            if (std::string_view(argv[index]) == "then") {
                forms = &plan.replacement;
            } else if (++index < argc) {
                // In one read: byte by byte, a large file would keep a sanitized owner from the clipboard for long.
                std::ifstream file(argv[index], std::ios::binary | std::ios::ate);
                std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(file.tellg(), 0)), '\0');
                file.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
                forms->emplace_back(argv[index - 1], std::move(bytes));
            } else {
                return std::nullopt;
            }
        }
        // Line by line, so that nothing printed is lost when the owner dies.
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        return plan.forms.empty() ? std::nullopt : std::optional(std::move(plan));
    }
};

inline long long monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
