// The three member rules shared by package.json and page messages: a member is taken only when
// the section is a JSON object holding exactly that key with a value of the expected type;
// otherwise the default is returned and no error is raised.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

std::string ReadStringMember(const nlohmann::json& section, const std::string& key,
                             const std::string& fallback);
// Integers keep their low 32 bits; floating values are truncated toward zero and, where they
// lie outside the 32-bit range, saturate to its limits (a plain conversion would be undefined).
std::int32_t ReadIntMember(const nlohmann::json& section, const std::string& key,
                           std::int32_t fallback);
bool ReadBoolMember(const nlohmann::json& section, const std::string& key, bool fallback);

// The conversion used by ReadIntMember for a number value.
std::int32_t NumberToInt32(const nlohmann::json& number);
