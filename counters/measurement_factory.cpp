#include "counters/measurement_factory.h"

#include <new>

#include "config/counter_config.h"
#include "counters/netscape_measurement_tbl.h"

std::unique_ptr<CNetscapeMeasurement> CreateMeasurement(int index, std::span<const CounterDefinition> definitions,
                                                        std::string_view key, const ServerParams& server,
                                                        const Profile& configuration) {
  const bool defined = index >= 0 && static_cast<std::size_t>(index) < definitions.size();
  const std::string_view label = defined ? std::string_view(definitions[static_cast<std::size_t>(index)].label) : key;
  const std::string section = std::to_string(defined ? index : -1);
  const std::int32_t keep_previous = configuration.GetInt(section, kKeyKeepPrevValue, 0);
  const std::string table_name = configuration.GetString(section, kKeyTableName, "", kCounterTextBufferSize);
  // Memory running out while the measurement is built is the one failure here, reported as null.
  try {
    if (!table_name.empty()) {
      const std::int32_t rows = configuration.GetInt(section, kKeyTableRow, 1);
      const std::int32_t columns = configuration.GetInt(section, kKeyTableColumn, 0);
      return std::make_unique<CNetscapeMeasurementTbl>(key, label, server, table_name, rows, columns, keep_previous);
    }
    return std::make_unique<CNetscapeMeasurement>(key, label, server, keep_previous);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
