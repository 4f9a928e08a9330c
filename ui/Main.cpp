// Entry point: prepares the user-interface thread, runs the main dialog
// modally for the life of the process and returns its result as exit code.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "resources/resource.h"
#include "support/WideString.h"
#include "ui/Dialog.h"
#include "ui/DisplayScale.h"
#include "ui/MainDialog.h"

namespace {
// The COM apartment of the user-interface thread (the folder browser needs it).
class ComApartment {
public:
    ComApartment() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT result;
};

INT_PTR RunMainDialog(HINSTANCE instance) {
    // Before the first window: without it the system draws the dialogs at 96
    // DPI and stretches the bitmap, blurred.
    BecomeDpiAware();
    const ComApartment apartment;
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    const ModuleRecord module(instance);
    std::vector<WideString> arguments;
    for (int i = 0; i < __argc; ++i) arguments.emplace_back(__wargv[i]);
    MainDialog dialog(std::move(arguments));
    return dialog.RunModal(IDD_MAIN, GetActiveWindow());
    // Torn down in reverse: the dialog (its job first), the module record, COM.
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    try {
        return static_cast<int>(RunMainDialog(instance));
    } catch (...) {
        return -1;
    }
}
