// Which program copied, on Windows: the clipboard's owner window (the one that emptied the
// clipboard before putting its copy there), the process of that window, and its image.
#pragma once

#include "app/app_ports.h"

namespace revertly::app {

class Win32ClipboardOwner final : public ClipboardOwnerPort {
  public:
    std::optional<std::u16string> ClipboardOwnerProgram() override;
};

}  // namespace revertly::app
