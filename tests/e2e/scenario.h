// What the end-to-end tests share: where the program under test is, the spacing of copies,
// and assertions on what the clipboard comes to hold.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "e2e/driver.h"

namespace revertly::driver {

using namespace std::chrono_literals;

// Far enough apart that each copy is a burst of its own and has been recorded before the next.
inline constexpr Milliseconds kBetweenCopies = 200ms;
// How long nothing may happen for a command to count as doing nothing.
inline constexpr Milliseconds kQuiet = 300ms;

inline std::filesystem::path ProgramUnderTest() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (std::filesystem::path(self).parent_path() / REVERTLY_EXE_RELATIVE).lexically_normal();
}

inline std::string Printable(const std::optional<std::wstring>& text) {
    if (!text) {
        return "no text";
    }
    std::string utf8(text->size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, text->data(), static_cast<int>(text->size()),
                                    utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr));
    return '"' + utf8 + '"';
}

// Waits until the clipboard's text (none when it holds no text) meets the condition; the
// text last seen is left in seen. The clipboard is opened only when its change number has
// moved since the last look, as a person looks again only after something was copied. A
// reader that opens it every few milliseconds holds it just when the program comes to put a
// state back: on a loaded machine the program's open was refused with the driver's window
// holding the clipboard, at times on two tries in a row, and a step that finds it held on
// every try for a second gives up.
template <typename Condition>
bool WaitForClipboardText(Condition condition, std::optional<std::wstring>& seen,
                          Milliseconds timeout = kPatience) {
    DWORD looked = ClipboardChanges();
    seen = ClipboardText();
    return WaitUntil(
        [&] {
            if (condition(seen)) {
                return true;
            }
            const DWORD now = ClipboardChanges();
            if (now == looked) {
                return false;
            }
            looked = now;
            seen = ClipboardText();
            return condition(seen);
        },
        timeout);
}

inline ::testing::AssertionResult ClipboardBecomes(const std::wstring& expected,
                                                   Milliseconds timeout = kPatience) {
    std::optional<std::wstring> seen;
    if (WaitForClipboardText([&](const auto& text) { return text == expected; }, seen, timeout)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the clipboard holds " << Printable(seen) << ", not " << Printable(expected);
}

// Win+key, then the clipboard must come to hold the text.
inline ::testing::AssertionResult HotkeyGives(WORD key, const std::wstring& expected) {
    if (!PressWinKey(key)) {
        return ::testing::AssertionFailure() << "SendInput failed";
    }
    return ClipboardBecomes(expected) << " after Win+" << static_cast<char>(key);
}

// Win+key, then the clipboard must stay as it is.
inline ::testing::AssertionResult HotkeyDoesNothing(WORD key) {
    const DWORD before = ClipboardChanges();
    const std::optional<std::wstring> text = ClipboardText();
    if (!PressWinKey(key)) {
        return ::testing::AssertionFailure() << "SendInput failed";
    }
    PumpFor(kQuiet);
    if (ClipboardChanges() != before) {
        return ::testing::AssertionFailure()
               << "Win+" << static_cast<char>(key) << " wrote " << Printable(ClipboardText())
               << " over " << Printable(text);
    }
    return ::testing::AssertionSuccess();
}

}  // namespace revertly::driver
