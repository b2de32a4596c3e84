// JSON Lines as the tools write them: one object per line, UTF-8 (RFC 8259), built with
// nlohmann/json in the order the fields are added.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

typedef nlohmann::ordered_json JsonValue;

// The object as one line ending in "\n". Besides what JSON asks to be escaped, DEL and the C1
// controls U+0080 to U+009F are escaped too, and every control character as \u00XX except
// \n, \r and \t, so that no terminal or log viewer that shows a line acts on them. A value
// that is no valid UTF-8 has its faulty bytes replaced by U+FFFD.
std::string json_line(const JsonValue& object);
