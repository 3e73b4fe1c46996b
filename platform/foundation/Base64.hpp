#pragma once

#include <string>
#include <string_view>

namespace platform {

// Standard Base64 (RFC 4648 alphabet, "=" padding) in one line, without line
// breaks, as file contents travel inside JSON.
std::string base64Encoded(std::string_view bytes);

}  // namespace platform
