#pragma once

namespace Parlox {

// Sends the toolkit's own warnings to the application log instead of the
// standard error, which the command line keeps free of anything but ours.
struct QtMessageLog {
    static void install();
};

}  // namespace Parlox
