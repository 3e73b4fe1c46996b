#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/App/AppServices.hpp"

namespace Parlox {

// The desktop application: one instance per user and display (a second
// start asks the first to show its settings, then ends), the tray icon, the
// indicator and the windows, on the Qt event loop until the user quits.
struct ParloxApp {
    // `arguments` without the program path; `makeServices` is called once
    // the application object exists. Returns the exit status.
    static int run(int argc, char** argv, const std::vector<std::string>& arguments,
                   const std::function<AppServices()>& makeServices);
};

}  // namespace Parlox
