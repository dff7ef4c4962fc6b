#include "tools/statserver/page.h"

#include <cstdarg>
#include <cstdio>

namespace statserver {
namespace {

// Appends printf-formatted text.
__attribute__((format(printf, 2, 3))) void Appendf(std::string& out, const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    out.append(small, static_cast<std::size_t>(length));
  } else {
    std::string large(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(large.data(), large.size(), format, again);
    large.resize(static_cast<std::size_t>(length));
    out += large;
  }
  va_end(again);
}

void AppendHeading(std::string& out, const char* heading, int dashes) {
  out += heading;
  out += '\n';
  out.append(static_cast<std::size_t>(dashes), '-');
  out += '\n';
}

double Percent(double part, double whole) { return whole > 0 ? 100.0 * part / whole : 0.0; }
double Average(double total, std::uint64_t count) { return count > 0 ? total / static_cast<double>(count) : 0.0; }

unsigned long long U(std::uint64_t value) { return static_cast<unsigned long long>(value); }

// Text from a request shown in the Sessions table: printable, without markup characters, cut to width.
std::string Printable(const std::string& text, std::size_t width) {
  std::string shown = text.substr(0, width);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f || c == '<' || c == '>' || c == '&' || c == '"') c = '?';
  }
  return shown;
}

}  // namespace

std::string FormatPageTime(std::time_t when) {
  std::tm parts{};
  if (localtime_r(&when, &parts) == nullptr) return "Thu Jan  1 00:00:00 1970";
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string text;
  Appendf(text, "%s %s %2d %02d:%02d:%02d %d", kDays[parts.tm_wday % 7], kMonths[parts.tm_mon % 12],
          parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, parts.tm_year + 1900);
  return text;
}

std::string RenderPage(const PageData& d) {
  std::string out;
  out.reserve(4096);

  Appendf(out, "%s pid: %ld\n\n", d.process_name.c_str(), d.pid);
  Appendf(out, "%s\n\n", d.version_line.c_str());
  Appendf(out, "Server started %s\n", d.server_started.c_str());
  Appendf(out, "Process %ld started %s\n\n", d.pid, d.process_started.c_str());

  AppendHeading(out, "ConnectionQueue:", 41);
  Appendf(out, "%-43s%llu/%llu/%llu\n", "Current/Peak/Limit Queue Length", U(d.queue_current), U(d.queue_peak),
          U(d.queue_limit));
  Appendf(out, "%-43s%llu\n", "Total Connections Queued", U(d.connections_queued));
  Appendf(out, "%-43s%4.2f, %4.2f, %4.2f\n", "Average Queue Length (1, 5, 15 minutes)", d.queue_average_1,
          d.queue_average_5, d.queue_average_15);
  Appendf(out, "%-43s%.2f milliseconds\n\n", "Average Queueing Delay", d.queueing_delay_ms);

  AppendHeading(out, "ListenSocket ls1:", 24);
  Appendf(out, "%-26s%s\n", "Address", d.listen_address.c_str());
  Appendf(out, "%-26s%d\n", "Acceptor Threads", d.acceptor_threads);
  Appendf(out, "%-26s%s\n\n", "Default Virtual Server", d.default_virtual_server.c_str());

  AppendHeading(out, "KeepAliveInfo:", 20);
  Appendf(out, "%-22s%llu/%llu\n", "KeepAliveCount", U(d.keepalive_count), U(d.keepalive_limit));
  Appendf(out, "%-22s%llu\n", "KeepAliveHits", U(d.keepalive_hits));
  Appendf(out, "%-22s%llu\n", "KeepAliveFlushes", U(d.keepalive_flushes));
  Appendf(out, "%-22s%llu\n", "KeepAliveRefusals", U(d.keepalive_refusals));
  Appendf(out, "%-22s%llu\n", "KeepAliveTimeouts", U(d.keepalive_timeouts));
  Appendf(out, "%-22s%llu seconds\n\n", "KeepAliveTimeout", U(d.keepalive_timeout_seconds));

  AppendHeading(out, "SessionCreationInfo:", 24);
  Appendf(out, "%-26s%llu\n", "Active Sessions", U(d.active_sessions));
  Appendf(out, "%-26s%llu\n", "Keep-Alive Sessions", U(d.keepalive_sessions));
  Appendf(out, "%-26s%llu/%llu\n\n", "Total Sessions Created", U(d.sessions_created), U(d.sessions_limit));

  AppendHeading(out, "CacheInfo:", 23);
  Appendf(out, "%-25s%s\n", "File Cache Enabled", "yes");
  Appendf(out, "%-25s%llu/%llu\n", "File Cache Entries", U(d.cache_entries), U(d.cache_limit));
  Appendf(out, "%-25s%llu/%lld (%6.2f%%)\n", "File Cache Hit Ratio", U(d.cache_hits),
          static_cast<long long>(d.cache_lookups),
          Percent(static_cast<double>(d.cache_hits), static_cast<double>(d.cache_lookups)));
  Appendf(out, "%-25s%d\n\n", "Maximum Age", d.cache_max_age);

  AppendHeading(out, "Native pools:", 28);
  out += "NativePool:\n";
  Appendf(out, "%-30s%llu/%llu/%llu\n", "Idle/Peak/Limit", U(d.pool_idle), U(d.pool_peak), U(d.pool_limit));
  Appendf(out, "%-30s%llu/%llu/%llu\n\n", "Work Queue Length/Peak/Limit", U(d.work_queue_length),
          U(d.work_queue_peak), U(d.work_queue_limit));

  AppendHeading(out, "DNSCacheInfo:", 18);
  Appendf(out, "%-20s%s\n", "enabled", "yes");
  Appendf(out, "%-20s%llu/%llu\n", "CacheEntries", U(d.dns_entries), U(d.dns_limit));
  Appendf(out, "%-20s%llu/%llu (%6.2f%%)\n\n", "HitRatio", U(d.dns_hits), U(d.dns_lookups),
          Percent(static_cast<double>(d.dns_hits), static_cast<double>(d.dns_lookups)));

  out += "Async DNS disabled\n\n";

  AppendHeading(out, "Performance Counters:", 48);
  Appendf(out, "%27s%-7s%9s%-5s%6s%s\n\n", "", "Average", "", "Total", "", "Percent");
  Appendf(out, "%-38s%10llu\n", "Total number of requests:", U(d.total_requests));
  Appendf(out, "%-27s%7.4f  %12.4f\n\n", "Request processing time:", Average(d.request_time_total, d.total_requests),
          d.request_time_total);

  Appendf(out, "%s (%s)\n", d.bucket_name.c_str(), d.bucket_description.c_str());
  Appendf(out, "%-36s%12llu    (%6.2f%%)\n", "Number of Requests:", U(d.bucket_requests),
          Percent(static_cast<double>(d.bucket_requests), static_cast<double>(d.total_requests)));
  Appendf(out, "%-36s%12llu    (%6.2f%%)\n", "Number of Invocations:", U(d.bucket_invocations),
          Percent(static_cast<double>(d.bucket_invocations), static_cast<double>(d.total_invocations)));
  Appendf(out, "%-27s%7.4f  %12.4f    (%6.2f%%)\n", "Latency:", Average(d.bucket_latency_total, d.bucket_requests),
          d.bucket_latency_total, Percent(d.bucket_latency_total, d.bucket_response_total));
  Appendf(out, "%-27s%7.4f  %12.4f    (%6.2f%%)\n", "Function Processing Time:",
          Average(d.bucket_function_total, d.bucket_requests), d.bucket_function_total,
          Percent(d.bucket_function_total, d.bucket_response_total));
  Appendf(out, "%-27s%7.4f  %12.4f    (%6.2f%%)\n\n", "Total Response Time:",
          Average(d.bucket_response_total, d.bucket_requests), d.bucket_response_total,
          Percent(d.bucket_response_total, d.request_time_total));

  AppendHeading(out, "Sessions:", 28);
  Appendf(out, "%-8s %-10s %-15s %-4s %-15s %-6s %-40s %s\n", "Process", "Status", "Client", "Age", "VS", "Method",
          "URI", "Function");
  std::size_t shown = 0;
  for (const SessionRow& row : d.sessions) {
    if (shown++ == kMaxSessionRows) break;
    Appendf(out, "%-8ld %-10s %-15s %-4ld %-15s %-6s %-40s %s\n", row.process, Printable(row.status, 10).c_str(),
            Printable(row.client, 39).c_str(), row.age_seconds, Printable(row.virtual_server, 32).c_str(),
            Printable(row.method, 10).c_str(), Printable(row.uri, 40).c_str(), Printable(row.function, 20).c_str());
  }
  out += '\n';

  Appendf(out, "<h2>%s</h2>\n", kVirtualServerTableName);
  out += "<table border=\"1\">\n";
  out += "<tr><th>Virtual Server</th><th>Requests</th><th>Bytes Sent</th><th>Errors</th></tr>\n";
  for (const VirtualServerRow& row : d.virtual_servers) {
    Appendf(out, "<tr><td>%s</td><td align=\"right\">%llu</td><td><b>%llu</b></td><td>%llu</td></tr>\n",
            Printable(row.name, 32).c_str(), U(row.requests), U(row.bytes_sent), U(row.errors));
  }
  out += "</table>\n";
  return out;
}

}  // namespace statserver
