// Start-up: open the host's desktop, load and show the panel, run until the
// last form unloads.
#include <cstdio>

#include "app/shaped_form.h"
#include "platform/forms/forms.h"
#include "platform/os.h"

int main() {
    const char* reason = nullptr;
    if (!os::StartUp(&reason)) {
        std::fprintf(stderr, "pixometer: %s\n", reason ? reason : "cannot start");
        return 1;
    }
    try {
        ShapedForm::instance().show();
    } catch (const forms::RuntimeError& e) {
        std::fprintf(stderr, "pixometer: %s\n", e.what());
        os::ShutDown();
        return 1;
    }
    const int code = forms::Run();
    os::ShutDown();
    return code;
}
