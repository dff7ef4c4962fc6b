#include "tools/host/options.h"

#include <set>

#include "tools/host/metrics_endpoint.h"
#include "tools/host/targets.h"

#ifndef SARVIK_HOST_VERSION
#define SARVIK_HOST_VERSION "0.0.0"
#endif

namespace sarvik_host {

namespace {

constexpr double kMinInterval = 0.1;
constexpr double kMaxInterval = 3600;
constexpr double kMinDuration = 0.1;
constexpr double kMaxDuration = 31 * 24 * 3600;
constexpr int kMaxServers = 32;

const char kUsage[] = R"(Usage: sarvik-host [--plugin PATH] COMMAND [ARGUMENTS] [OPTIONS]

The reference host of the iPlanet/Netscape monitor plug-in libsarvik.so: it loads the plug-in
and drives it the way the load-testing controller does, so that an operator can watch web
servers from a terminal during a load test.

Commands:
  demo        watch a local statistics server under steady load (no set-up needed)
  monitor     watch counters of one or more servers
  test        test the connection to a server's statistics page
  collection  print the measurements collection document (every counter)
  userdata    print the user-data string the plug-in composes for a host
  browse      choose counters in the Add Measurements dialog (and watch them)
  discover    propose counters for every number on a server's statistics page

Options of every command:
  --plugin PATH   the plug-in to load (default: libsarvik.so beside sarvik-host)
  --help          help of the command (sarvik-host COMMAND --help)
  --version       the version

The plug-in reads its configuration from ../dat/monitors/Netscape.cfg, relative to the
directory of sarvik-host.

Exit status:
  0    success
  1    a failed connection test or a measurement error
  2    bad usage, or a plug-in that cannot be loaded or initialised
  3    test: the page was fetched but holds none of the configuration's counters
  130  interrupted by SIGINT (Ctrl-C); 143 by SIGTERM; 129 by SIGHUP (128 + the signal's number)
)";

const char kServerOptionsHelp[] = R"(Server options (what is not given comes from the configuration, through the plug-in):
  --user-data "PORT|URL|LOGIN|PASSWORD"   the whole user-data string
  --port N         the HTTP port of the statistics page (default: a port in HOST:PORT, else serverPort)
  --url PATH       the statistics URL (default: infoURL, /.perf)
  --login L        login for the statistics page
  --password P     its password
)";

const char kCollectionHelp[] = R"(Usage: sarvik-host collection HOST [--format table|xml]

Prints every counter of the configuration, as the plug-in's measurements collection document for
HOST lists them, and the default port and URL.

Options:
  --format FORMAT    table: one counter a line (label, counter text, unit, description cut to
                     the width of the terminal); the default when the output is a terminal
                     xml: the document itself (<counter id="..." name="..." desc="..."/>); the
                     default when the output is a pipe or a file, so that scripts that read the
                     document keep working
)";

const char kUserDataHelp[] = R"(Usage: sarvik-host userdata HOST [--login L] [--password P] [--document FILE]
                            [--port N] [--url PATH]

Prints the user-data string "PORT|URL|LOGIN|PASSWORD" that the plug-in's GetUserDataStr
composes for HOST: port and URL from the description document (FILE, or the plug-in's own
measurements collection document for HOST, with --port and --url written into it), login and
password from the options. The password is never printed: it shows as <password>.
)";

const char kTestHelp[] = R"(Usage: sarvik-host test HOST [server options]

Tests whether the statistics page of HOST can be fetched (the plug-in's TestMachine) and then
whether it is a statistics page: it activates every counter of the configuration and reads one
copy of the page through the plug-in, the way 'monitor' reads it (waiting up to 30 s for it).

Prints "OK: 25 of 29 counters found" and exits 0 when the page holds any counter; prints the
failure and exits 1 when the page cannot be fetched (or no copy of it could be read); prints
"warning: the page holds none of the 29 counters of the configuration ..." and exits 3 when the
page holds none of them (a wrong URL that still answers, for example).

)";

const char kMonitorHelp[] = R"(Usage: sarvik-host monitor TARGET... [server options] (--counter TEXT ... | --all)
                           [--interval SECONDS] [--duration SECONDS] [--format table|csv|jsonl]
                           [--report FILE.html] [--targets FILE] [--no-test] [--listen HOST:PORT]

Activates the counters on every target, reads each counter once per interval and, at the end
of the duration or on SIGINT, SIGTERM or SIGHUP, deactivates them and terminates the monitor.
A stop signal ends it with exit status 128 + the signal's number: 130 SIGINT, 143 SIGTERM, 129 SIGHUP.

A TARGET is HOST (or HOST:PORT), which uses the server options, https://HOST[:PORT] for a
statistics page served over TLS, or HOST=PORT|URL|LOGIN|PASSWORD[|https] with its own user data.

Options:
  --targets FILE     read targets from FILE, one a line ('#' starts a comment)
  --counter NAME     a counter to read (repeat it; 'collection HOST' lists them): its counter text,
                     its label, or any part of either that names one counter, in any case
                     ("keepalivehits", "total number of requests"); an exact counter text wins
  --all              every counter of the configuration
  --interval SECONDS sampling period (default 2; the configuration's SamplingRate overrides it)
  --duration SECONDS end after this long (default: run until interrupted)
  --format FORMAT    table (default on a terminal), csv or jsonl (default otherwise)
  --report FILE.html write a self-contained HTML report of the session at its end
  --no-test          skip the connection test of every target before activating
  --listen HOST:PORT serve the readings at http://HOST:PORT/metrics for Prometheus while it runs
                     (HOST:PORT, [IPV6]:PORT, or PORT alone on 127.0.0.1; port 0: any free port)

)";

const char kDemoHelp[] = R"(Usage: sarvik-host demo [--duration SECONDS] [--servers N] [--interval SECONDS]
                        [--format table|csv|jsonl] [--report FILE.html] [--listen HOST:PORT]

Starts sarvik-statserver (from beside sarvik-host) on an ephemeral loopback port, sends it a
steady stream of HTTP requests so that its counters move, and monitors every counter of the
configuration on it. At the end (or on SIGINT, SIGTERM or SIGHUP) it stops everything it started;
a stop signal ends it with exit status 130 (SIGINT), 143 (SIGTERM) or 129 (SIGHUP).

Options:
  --duration SECONDS end after this long (default: run until interrupted)
  --servers N        watch N statistics servers (1 to 32, default 1)
  --interval SECONDS sampling period (default 1)
  --format FORMAT    table (default on a terminal), csv or jsonl (default otherwise)
  --report FILE.html write a self-contained HTML report of the session at its end
  --listen HOST:PORT serve the readings at http://HOST:PORT/metrics for Prometheus while it runs
                     (HOST:PORT, [IPV6]:PORT, or PORT alone on 127.0.0.1; port 0: any free port)
)";

const char kBrowseHelp[] = R"(Usage: sarvik-host browse HOST[:PORT] [--login L] [--password P]
                          [--monitor [--interval SECONDS] [--duration SECONDS]
                                     [--format table|csv|jsonl] [--report FILE.html]
                                     [--listen HOST:PORT]]

Shows the plug-in's Add Measurements dialog for HOST (a desktop display is needed: DISPLAY or
WAYLAND_DISPLAY). After OK it prints one line per chosen counter: label, counter text, host and
user-data string (its password shown as <password>), separated by tabs. With --monitor it then
watches those counters the way 'monitor' does, with the server properties confirmed in the dialog.

The dialog offers the server properties the configuration gives (serverPort, infoURL,
serverLogin, serverPassword). With HOST:PORT, --login or --password it offers that port, the
configuration's URL and the login and password given (empty when not given) instead.

Options:
  --login L          the login the dialog offers
  --password P       the password the dialog offers
  --monitor          watch the chosen counters after the dialog
  --interval SECONDS sampling period (default 2; the configuration's SamplingRate overrides it)
  --duration SECONDS end after this long (default: run until interrupted)
  --format FORMAT    table (default on a terminal), csv or jsonl (default otherwise)
  --report FILE.html write a self-contained HTML report of the session at its end
  --listen HOST:PORT serve the readings at http://HOST:PORT/metrics for Prometheus while it runs
                     (HOST:PORT, [IPV6]:PORT, or PORT alone on 127.0.0.1; port 0: any free port)
)";

const char kDiscoverHelp[] = R"(Usage: sarvik-host discover HOST [server options] [--write FILE] [--format table|csv|jsonl]

Reads a copy of the statistics page of HOST (and a second copy when it comes within 3 s) the way
the plug-in reads it, and proposes a counter for every number on it: a pattern counter for every
label followed by a number, and a table-cell counter (TblName, TblRow, TblColumn) for every number
in an HTML table. Each is checked to read, as the plug-in reads it, the number it was found at.
It prints them with the section of the configuration that already has each, or "new"; a label;
a guessed KeepPrevValue (1 for totals that only grow: a name that says total, requests, bytes,
hits, errors, ... and no level or time word, and not seen falling between the two copies); and the
value read now. The proxy and the certificate check come from the configuration, as for monitor.

Options:
  --write FILE       write the new counters to FILE as Netscape.cfg sections ready to add,
                     numbered after the configuration's last section, with the Counters line
                     raised to the new total
  --format FORMAT    table (default), csv or jsonl

)";

CommandLine Fail(std::string error) {
  CommandLine command_line;
  command_line.action = CommandLine::Action::kError;
  command_line.error = std::move(error);
  return command_line;
}

Command CommandOf(const std::string& word) {
  if (word == "collection") return Command::kCollection;
  if (word == "userdata") return Command::kUserData;
  if (word == "test") return Command::kTest;
  if (word == "monitor") return Command::kMonitor;
  if (word == "demo") return Command::kDemo;
  if (word == "browse") return Command::kBrowse;
  if (word == "discover") return Command::kDiscover;
  return Command::kNone;
}

// The options each command takes (besides --help and --plugin).
std::set<std::string> OptionsOf(Command command) {
  const std::set<std::string> server = {"--user-data", "--port", "--url", "--login", "--password"};
  switch (command) {
    case Command::kCollection:
      return {"--format"};
    case Command::kUserData:
      return {"--login", "--password", "--document", "--port", "--url"};
    case Command::kTest:
      return server;
    case Command::kMonitor: {
      std::set<std::string> options = server;
      options.insert({"--targets", "--counter", "--all", "--interval", "--duration", "--format", "--report",
                      "--no-test", "--listen"});
      return options;
    }
    case Command::kDemo:
      return {"--duration", "--servers", "--interval", "--format", "--report", "--listen"};
    case Command::kBrowse:
      return {"--monitor", "--interval", "--duration", "--format", "--report", "--listen", "--login", "--password"};
    case Command::kDiscover: {
      std::set<std::string> options = server;
      options.insert({"--write", "--format"});
      return options;
    }
    case Command::kNone:
    default:
      return {};
  }
}

bool TakesValue(const std::string& option) {
  return option != "--all" && option != "--no-test" && option != "--monitor" && option != "--help" &&
         option != "--version";
}

}  // namespace

const char* CommandName(Command command) {
  switch (command) {
    case Command::kCollection: return "collection";
    case Command::kUserData: return "userdata";
    case Command::kTest: return "test";
    case Command::kMonitor: return "monitor";
    case Command::kDemo: return "demo";
    case Command::kBrowse: return "browse";
    case Command::kDiscover: return "discover";
    case Command::kNone:
    default: return "";
  }
}

std::string VersionText() { return std::string("sarvik-host ") + SARVIK_HOST_VERSION; }

std::string HelpText(Command command) {
  switch (command) {
    case Command::kCollection: return kCollectionHelp;
    case Command::kUserData: return kUserDataHelp;
    case Command::kTest: return std::string(kTestHelp) + kServerOptionsHelp;
    case Command::kMonitor: return std::string(kMonitorHelp) + kServerOptionsHelp;
    case Command::kDemo: return kDemoHelp;
    case Command::kBrowse: return kBrowseHelp;
    case Command::kDiscover: return std::string(kDiscoverHelp) + kServerOptionsHelp;
    case Command::kNone:
    default: return kUsage;
  }
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  std::set<std::string> seen;
  bool options_ended = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (options_ended || word.empty() || word[0] != '-' || word == "-") {
      if (result.command == Command::kNone) {
        result.command = CommandOf(word);
        if (result.command == Command::kNone) {
          return Fail("unknown command '" + word + "' (commands: demo, monitor, test, collection, userdata, browse, discover)");
        }
      } else {
        result.targets.push_back(word);
      }
      continue;
    }
    if (word == "--") {
      options_ended = true;
      continue;
    }

    // "--name value" or "--name=value".
    std::string name = word;
    std::optional<std::string> value;
    if (const std::size_t equals = word.find('='); equals != std::string::npos && word.rfind("--", 0) == 0) {
      name = word.substr(0, equals);
      value = word.substr(equals + 1);
    }
    if (name == "--help" || name == "-h") {
      result.action = CommandLine::Action::kHelp;
      continue;
    }
    if (name == "--version") {
      result.action = CommandLine::Action::kVersion;
      continue;
    }
    const bool global = name == "--plugin";
    if (!global && (result.command == Command::kNone || OptionsOf(result.command).count(name) == 0)) {
      if (result.command == Command::kNone) return Fail("unknown option " + name + " (see sarvik-host --help)");
      return Fail(std::string("unknown option ") + name + " for " + CommandName(result.command) +
                  " (see sarvik-host " + CommandName(result.command) + " --help)");
    }
    if (TakesValue(name)) {
      if (!value) {
        if (i + 1 >= arguments.size()) return Fail(name + " needs a value");
        value = arguments[++i];
      }
    } else if (value) {
      return Fail(name + " takes no value");
    }
    if (name != "--counter" && !seen.insert(name).second) return Fail(name + " is given twice");

    if (name == "--plugin") {
      if (value->empty()) return Fail("--plugin needs a path");
      result.plugin_path = *value;
    } else if (name == "--user-data") {
      std::string error;
      if (!CheckUserData(*value, &error)) return Fail(error);
      result.server.user_data = *value;
    } else if (name == "--port") {
      long port = 0;
      if (!ParseInteger(*value, 1, 65535, &port)) return Fail("--port needs a port from 1 to 65535, not '" + *value + "'");
      result.server.port = static_cast<int>(port);
    } else if (name == "--url") {
      std::string error;
      if (!CheckUserData("80|" + *value + "||", &error)) {
        return Fail("--url needs a statistics URL such as /.perf, not '" + *value + "'");
      }
      result.server.url = *value;
    } else if (name == "--login") {
      if (value->size() > 128) return Fail("--login is longer than 128 characters");
      result.server.login = *value;
    } else if (name == "--password") {
      if (value->size() > 128) return Fail("--password is longer than 128 characters");
      result.server.password = *value;
    } else if (name == "--document") {
      result.document_file = *value;
    } else if (name == "--targets") {
      result.targets_file = *value;
    } else if (name == "--counter") {
      if (value->empty()) return Fail("--counter needs a counter text");
      for (const std::string& counter : result.counters) {
        if (counter == *value) return Fail("--counter '" + *value + "' is given twice");
      }
      result.counters.push_back(*value);
    } else if (name == "--all") {
      result.all_counters = true;
    } else if (name == "--no-test") {
      result.test_first = false;
    } else if (name == "--monitor") {
      result.monitor_selection = true;
    } else if (name == "--interval") {
      if (!ParseSeconds(*value, kMinInterval, kMaxInterval, &result.interval_seconds)) {
        return Fail("--interval needs a number of seconds from 0.1 to 3600, not '" + *value + "'");
      }
      result.interval_given = true;
    } else if (name == "--duration") {
      double duration = 0;
      if (!ParseSeconds(*value, kMinDuration, kMaxDuration, &duration)) {
        return Fail("--duration needs a number of seconds from 0.1 to 2678400, not '" + *value + "'");
      }
      result.duration_seconds = duration;
    } else if (name == "--format") {
      if (*value == "table") result.format = OutputFormat::kTable;
      else if (*value == "csv") result.format = OutputFormat::kCsv;
      else if (*value == "jsonl") result.format = OutputFormat::kJsonl;
      else if (*value == "xml") result.format = OutputFormat::kXml;
      else if (result.command == Command::kCollection) return Fail("--format takes table or xml, not '" + *value + "'");
      else return Fail("--format takes table, csv or jsonl, not '" + *value + "'");
      const bool collection = result.command == Command::kCollection;
      if (collection && result.format != OutputFormat::kTable && result.format != OutputFormat::kXml) {
        return Fail("--format takes table or xml, not '" + *value + "'");
      }
      if (!collection && result.format == OutputFormat::kXml) {
        return Fail("--format takes table, csv or jsonl, not '" + *value + "'");
      }
    } else if (name == "--report") {
      if (value->empty()) return Fail("--report needs a file name");
      result.report_path = *value;
    } else if (name == "--listen") {
      std::string host, error;
      int port = 0;
      if (!ParseListenAddress(*value, &host, &port, &error)) return Fail("--listen: " + error);
      result.listen = *value;
    } else if (name == "--write") {
      if (value->empty()) return Fail("--write needs a file name");
      result.write_path = *value;
    } else if (name == "--servers") {
      long servers = 0;
      if (!ParseInteger(*value, 1, kMaxServers, &servers)) {
        return Fail("--servers needs a number from 1 to 32, not '" + *value + "'");
      }
      result.servers = static_cast<int>(servers);
    }
  }

  if (result.action != CommandLine::Action::kRun) return result;
  if (result.command == Command::kNone) return Fail("no command given (see sarvik-host --help)");

  const char* name = CommandName(result.command);
  const ServerOptions& server = result.server;
  if (server.user_data && (server.port || server.url || server.login || server.password)) {
    return Fail("give --user-data or --port/--url/--login/--password, not both");
  }
  switch (result.command) {
    case Command::kCollection:
    case Command::kUserData:
    case Command::kTest:
    case Command::kDiscover:
      if (result.targets.size() != 1) return Fail(std::string(name) + " needs exactly one HOST");
      break;
    case Command::kBrowse:
      if (result.targets.size() != 1) return Fail("browse needs exactly one HOST");
      if (!result.monitor_selection &&
          (result.interval_given || result.duration_seconds || result.format != OutputFormat::kAuto ||
           !result.report_path.empty() || !result.listen.empty())) {
        return Fail("--interval, --duration, --format, --report and --listen go with browse --monitor");
      }
      break;
    case Command::kMonitor:
      if (result.targets.empty() && result.targets_file.empty()) {
        return Fail("monitor needs at least one TARGET (or --targets FILE)");
      }
      if (result.all_counters && !result.counters.empty()) return Fail("give --counter or --all, not both");
      if (!result.all_counters && result.counters.empty()) {
        return Fail("monitor needs the counters to read: --counter TEXT (repeated) or --all");
      }
      break;
    case Command::kDemo:
      if (!result.targets.empty()) return Fail("demo takes no TARGET (it watches its own statistics server)");
      break;
    case Command::kNone:
    default:
      break;
  }
  if (result.command == Command::kDemo && !result.interval_given) result.interval_seconds = 1.0;
  return result;
}

}  // namespace sarvik_host
