// The command line of sarvik-host: a subcommand, its targets and its options. Parsing checks
// every option's form (numbers, ranges, combinations); what needs the plug-in (counter texts,
// composed user data) is checked later.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sarvik_host {

enum class Command { kNone, kCollection, kUserData, kTest, kMonitor, kDemo, kBrowse, kDiscover };

// kXml: the collection document as the plug-in gives it (collection only).
enum class OutputFormat { kAuto, kTable, kCsv, kJsonl, kXml };

// Server properties given on the command line: a whole user-data string, or its parts (what is
// not given comes from the configuration through the plug-in).
struct ServerOptions {
  std::optional<std::string> user_data;
  std::optional<int> port;
  std::optional<std::string> url;
  std::optional<std::string> login;
  std::optional<std::string> password;
};

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kError };
  Action action = Action::kRun;
  Command command = Command::kNone;
  std::string error;  // for kError: what is wrong, one line

  std::string plugin_path;  // --plugin; empty: libsarvik.so beside the program
  std::vector<std::string> targets;  // positional HOST or TARGET texts
  std::string targets_file;          // --targets
  ServerOptions server;
  std::string document_file;         // userdata --document
  std::vector<std::string> counters;  // --counter, in order
  bool all_counters = false;          // --all
  double interval_seconds = 2.0;      // --interval
  bool interval_given = false;
  std::optional<double> duration_seconds;  // --duration
  OutputFormat format = OutputFormat::kAuto;
  std::string report_path;  // --report
  int servers = 1;          // demo --servers
  bool test_first = true;   // monitor: run the connection test before activating (--no-test: not)
  bool monitor_selection = false;  // browse --monitor: watch the counters chosen in the dialog
  std::string listen;              // --listen HOST:PORT of the metrics endpoint; empty: none
  std::string write_path;          // discover --write FILE; empty: print only
};

// Parses the arguments after the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The program's usage, and the help of one subcommand (kNone: the usage).
std::string HelpText(Command command);

// The version line: "sarvik-host X.Y.Z".
std::string VersionText();

// The subcommand's name ("monitor").
const char* CommandName(Command command);

}  // namespace sarvik_host
