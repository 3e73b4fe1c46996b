// The defaults file a user may edit by hand: any bytes read without a
// fault, every typed reading answers, and a write keeps what was there: the
// values of a JSON object, or the unreadable file itself set aside.
#include "fuzz/FuzzSupport.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/JsonFileUserDefaults.hpp"

namespace fs = std::filesystem;
using namespace parlox::fuzzing;
using platform::JsonFileUserDefaults;

namespace {

void readEveryWay(const platform::UserDefaults& defaults, const std::string& key) {
    (void)defaults.object(key);
    (void)defaults.boolean(key, true);
    (void)defaults.optionalBool(key);
    (void)defaults.integer(key, -1);
    (void)defaults.doubleValue(key, -1);
    (void)defaults.optionalDouble(key);
    (void)defaults.string(key);
    (void)defaults.dictionary(key);
    (void)defaults.array(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = bytes(data, size);
    const fs::path folder = scratchFolder() / "Parlox";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "defaults.json";
    writeFile(file, text);

    JsonFileUserDefaults defaults(file);
    const auto before = defaults.dictionaryRepresentation();
    if (!before.is_object()) violated("the stored values are not an object");
    for (const auto& [key, value] : before.items()) readEveryWay(defaults, key);
    readEveryWay(defaults, "missing");

    const bool readable = !before.empty() || defaults.lastError().empty();
    defaults.set("fuzzWrite", 1);
    const auto after = platform::FileManager::readFile(file);
    const auto reread = nlohmann::json::parse(after, nullptr, false);
    if (reread.is_discarded() || !reread.is_object()) violated("a write left a file that is not a JSON object");
    if (reread.value("fuzzWrite", 0) != 1) violated("the written value is not in the file");
    for (const auto& [key, value] : before.items()) {
        if (key == "fuzzWrite") continue;
        if (!reread.contains(key)) violated("a write lost the key \"" + key + "\"");
        if (reread[key] != value) violated("a write changed \"" + key + "\" from " + value.dump() + " to " + reread[key].dump());
    }
    if (!readable) {
        // Nothing the user wrote is lost: the old file is kept aside as it was.
        const fs::path aside = folder / "defaults.json.bad";
        std::error_code ec;
        if (!fs::exists(aside, ec)) violated("an unreadable file was replaced without being kept");
        if (platform::FileManager::readFile(aside) != text) violated("the file kept aside differs from the original");
    }
    return 0;
}
