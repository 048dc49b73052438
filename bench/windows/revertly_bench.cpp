// The running revertly.exe measured from outside, as the programs around it see it: hotkey to
// clipboard, start-up, idle cost beside a minimal window program, capture and restore of a
// large clipboard beside the platform's own delivery, the history kept on disk (start-up with
// it, writing a state, the disk it takes), copies that come faster than they can be packed,
// and a soak of copy, undo and redo.
// Prints figures; never fails for being slow. It fails (exit code 1) only when the program
// does not do what a step needs, since the figures would then mean nothing.
//
//     revertly_bench [--quick | --smoke] [--soak-cycles N] [--idle-seconds N] [section...]
//
// Sections: hotkey, startup (start-up and idle), large, pictures (4K screenshots and an owner
// that renders slowly), kept (the history kept on disk, with 4K screenshots; it uses and then
// removes %LOCALAPPDATA%\Revertly, and refuses to run while that holds anything), burst
// (copies faster than the packer), soak; all by default. --quick
// runs fewer repetitions and copies, a shorter idle time and 50 soak cycles, for trying the
// benchmark out; --smoke runs every step about once with little data, to show that the
// benchmark runs through (its figures then mean little).
// Every copy of the program runs in a scratch folder of its own; the benchmark needs the
// global hotkeys and the single-instance block, so no other copy may run meanwhile.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "revertly_bench.h"

namespace {

using revertly::bench::Options;

struct Section {
    const char* name;
    bool (*run)(const Options&);
};
// In the order they run.
constexpr Section kSections[] = {
    {"hotkey", &revertly::bench::HotkeySection}, {"startup", &revertly::bench::StartupIdleSection},
    {"large", &revertly::bench::LargeSection},   {"pictures", &revertly::bench::PictureSection},
    {"kept", &revertly::bench::KeptSection},     {"burst", &revertly::bench::BurstSection},
    {"soak", &revertly::bench::SoakSection},
};

bool IsSection(const std::string& name) {
    return std::any_of(std::begin(kSections), std::end(kSections),
                       [&](const Section& section) { return name == section.name; });
}

bool ParseOptions(int argc, char** argv, Options& options) {
    bool quick = false;
    bool smoke = false;
    bool soakGiven = false;
    bool idleGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--quick") {
            quick = true;
        } else if (argument == "--smoke") {
            smoke = true;
        } else if (argument == "--soak-cycles" && i + 1 < argc) {
            options.soakCycles = std::max(1, std::atoi(argv[++i]));
            soakGiven = true;
        } else if (argument == "--idle-seconds" && i + 1 < argc) {
            options.idleSeconds = std::max(1, std::atoi(argv[++i]));
            idleGiven = true;
        } else if (IsSection(argument)) {
            options.sections.insert(argument);
        } else {
            return false;
        }
    }
    if (quick) {
        options.hotkeyRounds = 10;
        options.largeRuns = 3;
        options.pictureCopies = 10;
        options.idleSeconds = idleGiven ? options.idleSeconds : 5;
        options.soakCycles = soakGiven ? options.soakCycles : 50;
    }
    if (smoke) {
        options.hotkeyRounds = 1;
        options.startRuns = 1;
        options.largeRuns = 1;
        options.pictureCopies = 2;
        options.burstCopies = 3;
        options.burstMebibytes = 4;
        options.idleSeconds = idleGiven ? options.idleSeconds : 1;
        options.soakCycles = soakGiven ? options.soakCycles : 2;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::printf(
            "usage: revertly_bench [--quick | --smoke] [--soak-cycles N] [--idle-seconds N] "
            "[hotkey|startup|large|pictures|kept|burst|soak]...\n");
        return 2;
    }
    if (revertly::driver::ReadInstanceBlock()) {
        std::printf("another copy of Revertly runs: end it first\n");
        return 1;
    }
    revertly::bench::Now();
    bool ok = true;
    for (const Section& section : kSections) {
        if (options.Runs(section.name)) {
            ok = section.run(options) && ok;
            std::fflush(stdout);
        }
    }
    return ok ? 0 : 1;
}
