#include "counters/measurement_factory.h"

#include <new>

#include "config/counter_config.h"
#include "counters/netscape_measurement_tbl.h"

std::unique_ptr<CNetscapeMeasurement> CreateMeasurement(int index, std::span<const CounterDefinition> definitions,
                                                        std::string_view key, std::string_view host,
                                                        std::string_view user_data, const Profile& configuration) {
  const bool defined = index >= 0 && static_cast<std::size_t>(index) < definitions.size();
  const std::string_view label = defined ? std::string_view(definitions[static_cast<std::size_t>(index)].label) : key;
  const std::string section = std::to_string(defined ? index : -1);
  const std::int32_t keep_previous = configuration.GetInt(section, kKeyKeepPrevValue, 0);
  const std::string table_name = configuration.GetString(section, kKeyTableName, "", kCounterTextBufferSize);
  if (!table_name.empty()) {
    const std::int32_t rows = configuration.GetInt(section, kKeyTableRow, 1);
    const std::int32_t columns = configuration.GetInt(section, kKeyTableColumn, 0);
    return std::unique_ptr<CNetscapeMeasurement>(new (std::nothrow) CNetscapeMeasurementTbl(
        key, label, host, user_data, table_name, rows, columns, keep_previous));
  }
  return std::unique_ptr<CNetscapeMeasurement>(new (std::nothrow)
                                                   CNetscapeMeasurement(key, label, host, user_data, keep_previous));
}
