#pragma once

// Every MapBasic statement the program sends, built in one place. The text, the order of the parts
// and the letter case are what MapInfo Professional is known to accept; do not reword them.

#include "base/PackParts.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vantero {

// A native window handle as MapBasic reads it: unsigned decimal digits.
std::string formatWindowHandle(std::uint64_t handle);

std::string
setNextDocumentParentStatement(std::uint64_t handle); // "Set Next Document Parent H Style 1"
std::string setApplicationWindowStatement(std::uint64_t handle); // "Set Application Window H"
std::string progressBarsOffStatement();                          // "set progressbars off"
std::string closeAllStatement();                                 // "close all"
// "open table \"path\" as alias"; a double quote in the path is doubled, as MapBasic string
// literals require, so the statement still parses.
std::string openTableStatement(std::string_view path, std::string_view alias);
// "Pack Table alias" + " Graphic" and/or " Data".
std::string packTableStatement(std::string_view alias, PackParts parts);

// A MapBasic string literal's body: every double quote doubled.
std::string quoteMapBasicText(std::string_view text);

// The alias a table is opened under: its name, lower-cased, up to the first "."; anything that
// cannot stand in a MapBasic name becomes "_", and a leading "_" is added when the result is empty
// or starts with a digit. Without that, names like "my roads.tab" or "2019-roads.tab" never pack.
std::string tableAlias(std::string_view tableName);

// Whether the text can name a table in a statement: ASCII letters, digits and "_", not starting
// with a digit. Every alias TableAlias makes is one.
bool isMapBasicName(std::string_view name);

} // namespace vantero
