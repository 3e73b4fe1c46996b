#include "platform/net/HttpClient.hpp"

#include <algorithm>
#include <cctype>

#include "platform/net/CurlHttpClient.hpp"

namespace platform::net {

bool HttpHeaders::sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void HttpHeaders::add(std::string name, std::string value) { fields_.emplace_back(std::move(name), std::move(value)); }

void HttpHeaders::set(std::string name, std::string value) {
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(), [&](const auto& f) { return sameName(f.first, name); }),
                  fields_.end());
    add(std::move(name), std::move(value));
}

std::optional<std::string> HttpHeaders::value(std::string_view name) const {
    for (const auto& [n, v] : fields_)
        if (sameName(n, name)) return v;
    return std::nullopt;
}

std::shared_ptr<HttpClient> HttpClient::shared() {
    static auto client = std::make_shared<CurlHttpClient>();
    return client;
}

}  // namespace platform::net
