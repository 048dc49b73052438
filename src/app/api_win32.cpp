#include "app/api_win32.h"

namespace revertly::app {

Win32Api& Api() {
    static Win32Api api;
    return api;
}

}  // namespace revertly::app
