#include "history/capture.h"

#include <algorithm>

namespace revertly::history {

ClipboardState CaptureFormats(const std::vector<std::int32_t>& listed, FormatSource& source) {
    std::vector<std::int32_t> asked(listed);
    std::stable_partition(asked.begin(), asked.end(),
                          [](std::int32_t format) { return format == kUnicodeTextFormat; });
    ClipboardState state;
    const std::uint64_t start = source.Milliseconds();
    for (const std::int32_t format : asked) {
        if (source.Milliseconds() - start >= kCaptureLimitMilliseconds) {
            state.partial = true;
            break;
        }
        source.CopyFormat(format, state);
    }
    const auto place = [&listed](const ClipboardFormatData& entry) {
        return std::find(listed.begin(), listed.end(), entry.formatId) - listed.begin();
    };
    std::stable_sort(state.entries.begin(), state.entries.end(),
                     [&place](const ClipboardFormatData& a, const ClipboardFormatData& b) {
                         return place(a) < place(b);
                     });
    return state;
}

}  // namespace revertly::history
