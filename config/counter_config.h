// The counter configuration file Netscape.cfg: where it is, the counter definitions it
// holds, and the names of its sections and keys.
//
// The file is an INI file beside the product's other monitor files. Section "Netscape" holds
// the number of counters and the default server properties; one section per counter, named by
// its index in decimal ("0", "1", ...), holds the counter's text, label, description and how it
// is read from the statistics page; section "ProxySettings" holds the proxy use.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "abi/records.h"
#include "platform/http.h"
#include "platform/profile.h"
#include "platform/status.h"

// Sections and keys.
inline constexpr char kSectionNetscape[] = "Netscape";
inline constexpr char kKeyCounters[] = "Counters";
inline constexpr char kKeyInfoUrl[] = "infoURL";
inline constexpr char kKeyServerPort[] = "serverPort";
inline constexpr char kKeyServerLogin[] = "serverLogin";
inline constexpr char kKeyServerPassword[] = "serverPassword";
inline constexpr char kKeyServerScheme[] = "serverScheme";
inline constexpr char kKeyVerifyServer[] = "verifyServer";
inline constexpr char kKeySamplingRate[] = "SamplingRate";
inline constexpr char kKeyCounter[] = "Counter";
inline constexpr char kKeyLabel[] = "Label";
inline constexpr char kKeyDescription[] = "Description";
inline constexpr char kKeyKeepPrevValue[] = "KeepPrevValue";
inline constexpr char kKeyTableName[] = "TblName";
inline constexpr char kKeyTableRow[] = "TblRow";
inline constexpr char kKeyTableColumn[] = "TblColumn";
inline constexpr char kSectionProxySettings[] = "ProxySettings";

// Defaults of the server properties.
inline constexpr int kDefaultServerPort = 80;
inline constexpr char kDefaultServerLogin[] = "admin";
inline constexpr char kDefaultServerPassword[] = "tovel";
inline constexpr char kDefaultServerScheme[] = "http";

// Buffer sizes the texts are read into (each keeps one character less).
inline constexpr int kCounterTextBufferSize = 512;
inline constexpr int kServerTextBufferSize = 1024;

// The most counter sections read; a larger count in the file is taken as this many.
inline constexpr int kMaxCounters = 10000;

// The path of the configuration file relative to the host program's directory.
inline constexpr char kConfigRelativePath[] = "../dat/monitors/Netscape.cfg";

// The full path of the configuration file: the directory of the host program's executable
// followed by "../dat/monitors/Netscape.cfg" in the platform's separators (not normalised). On
// failure a kSystemError Status carrying the system's error number.
[[nodiscard]] Result<std::string> LocateConfigFile();

// The scheme of the sources the user data composed from `profile` describes: section "Netscape"
// key "serverScheme", "https" (in any case) for HTTPS, anything else or nothing for plain HTTP.
HttpScheme ReadServerScheme(const Profile& profile);

// Whether the certificates of HTTPS sources are checked: section "Netscape" key "verifyServer";
// only the value 0 turns the checks off, any other value (or none) keeps them.
bool ReadVerifyServer(const Profile& profile);

// The counter definitions of `profile`: as many records as section "Netscape" key "Counters"
// says (none for a missing, zero or negative count; at most kMaxCounters), record i filled from section "i" with
// Counter, Label and Description, each cut to 511 characters. A missing section gives a
// record with empty texts.
std::vector<CounterDefinition> ReadCounterDefinitions(const Profile& profile);

// Finds definitions by their counter text in constant time. It views the texts of the
// definitions it was built over, which must stay where they are for as long as it is used.
class CounterIndex {
 public:
  explicit CounterIndex(std::span<const CounterDefinition> definitions);

  // The index of the first definition whose counter text equals `counter_text` exactly, or -1.
  int Find(std::string_view counter_text) const;

 private:
  std::unordered_map<std::string_view, int> first_by_text_;
};

// The same for a single look-up.
int FindCounterDefinition(std::span<const CounterDefinition> definitions, std::string_view counter_text);
