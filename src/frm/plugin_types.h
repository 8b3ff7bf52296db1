// The column types MariaDB adds through data type plugins (10.5+ INET6, 10.7+ UUID, 10.10+ INET4):
// a definition file records them as STRING columns and names the plugin in its extra2 segment;
// the rows hold fixed binary values, written back as the server's own text.
#pragma once

#include "common/byte_reader.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace frm {

enum class PluginType { Unknown, Inet6, Uuid, Inet4 };

PluginType pluginTypeNamed(std::string_view dataTypeName);

// Bytes of a stored value: 16, 16 and 4.
std::uint32_t pluginTypeSize(PluginType type);

// The type name CREATE TABLE uses ("inet6") and the one the rest of the program compares
// against ("Inet6").
std::string_view pluginSqlType(PluginType type);
std::string_view pluginTypeName(PluginType type);

// The text of a stored value, as the server shows it: "2001:db8::ff00:42:8329", "::ffff:1.2.3.4",
// "123e4567-e89b-12d3-a456-426614174000", "192.168.0.1". Empty when `stored` is not the type's
// size.
std::string pluginValueText(PluginType type, common::Bytes stored, bool legacyUuid);

// Whether a UUID column of a table made by server version `serverVersion` (e.g. 101104) keeps
// every value's segments swapped, as MariaDB did before 10.11.5 (MDEV-29959), or only those of
// UUID versions 1 to 5.
bool isLegacyUuidServer(std::uint32_t serverVersion);

} // namespace frm
