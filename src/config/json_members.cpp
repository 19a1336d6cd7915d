#include "config/json_members.h"

#include <cmath>
#include <limits>

namespace {

const nlohmann::json* FindMember(const nlohmann::json& section, const std::string& key) {
    if (!section.is_object()) return nullptr;
    auto it = section.find(key);
    return it == section.end() ? nullptr : &*it;
}

}  // namespace

std::int32_t NumberToInt32(const nlohmann::json& number) {
    if (number.is_number_unsigned()) {
        return static_cast<std::int32_t>(
            static_cast<std::uint32_t>(number.get<std::uint64_t>() & 0xFFFFFFFFu));
    }
    if (number.is_number_integer()) {
        return static_cast<std::int32_t>(
            static_cast<std::uint32_t>(static_cast<std::uint64_t>(number.get<std::int64_t>())));
    }
    const double value = std::trunc(number.get<double>());
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::string ReadStringMember(const nlohmann::json& section, const std::string& key,
                             const std::string& fallback) {
    const nlohmann::json* member = FindMember(section, key);
    if (member == nullptr || !member->is_string()) return fallback;
    return member->get_ref<const std::string&>();
}

std::int32_t ReadIntMember(const nlohmann::json& section, const std::string& key,
                           std::int32_t fallback) {
    const nlohmann::json* member = FindMember(section, key);
    if (member == nullptr || !member->is_number()) return fallback;
    return NumberToInt32(*member);
}

bool ReadBoolMember(const nlohmann::json& section, const std::string& key, bool fallback) {
    const nlohmann::json* member = FindMember(section, key);
    if (member == nullptr || !member->is_boolean()) return fallback;
    return member->get<bool>();
}
