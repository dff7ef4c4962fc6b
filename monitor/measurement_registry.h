// The registered measurements of the monitor, under their keys, in the order they were
// registered.
//
// A host samples its measurements in the same order round after round, usually the order it
// activated them in, so the registry first tries the measurement after the one read last: a
// round of readings then costs one key comparison each instead of a hash look-up. Any other
// order still finds every measurement.
//
// The registry has no lock: its owner calls it one call at a time (the monitor under its state
// lock). Entries stay where they are until erased.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "config/server_params.h"
#include "counters/netscape_measurement.h"
#include "polling/netscape_server.h"

// A registered measurement and the source it was activated for (host and parsed user data),
// with the activations it added to its server and still holds.
struct ActiveMeasurement {
  std::unique_ptr<CNetscapeMeasurement> measurement;
  ServerParams server;
  std::uint64_t server_serial = 0;  // the server those activations went to
  int activations_held = 0;
  // The registered server of the measurement's key as last looked up, valid while the server
  // registry's generation is `lookup_generation`.
  CNetscapeServer* registered_server = nullptr;
  std::uint64_t lookup_generation = 0;
};

class MeasurementRegistry {
 public:
  MeasurementRegistry() = default;
  MeasurementRegistry(const MeasurementRegistry&) = delete;
  MeasurementRegistry& operator=(const MeasurementRegistry&) = delete;
  MeasurementRegistry(MeasurementRegistry&& other) noexcept { Swap(other); }
  MeasurementRegistry& operator=(MeasurementRegistry&& other) noexcept {
    Swap(other);
    return *this;
  }

  // The measurement registered under `key`, or null.
  ActiveMeasurement* Find(const std::string& key);

  // The same for a reading: the measurement after the last one read is tried first.
  ActiveMeasurement* FindForReading(const std::string& key);

  // Registers `entry` under `key` (which must be free) after every other, and returns it.
  ActiveMeasurement& Add(const std::string& key, ActiveMeasurement entry);

  // Unregisters and destroys the measurement under `key`; nothing when there is none.
  void Erase(const std::string& key);

  std::size_t size() const { return entries_.size(); }

 private:
  struct Node {
    ActiveMeasurement entry;
    const std::string* key = nullptr;  // the map's own key of this node
    Node* previous = nullptr;          // registration order
    Node* next = nullptr;
  };

  void Swap(MeasurementRegistry& other) noexcept;

  std::unordered_map<std::string, Node> entries_;
  Node* first_ = nullptr;
  Node* last_ = nullptr;
  Node* last_read_ = nullptr;
};
