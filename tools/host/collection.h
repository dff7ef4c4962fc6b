// What the host reads from the plug-in's measurements collection document: the counters it
// lists (text, label, description), and the document's server properties, which the host may
// change before it asks the plug-in for a user-data string.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik_host {

// One counter of the collection document.
struct CounterInfo {
  std::string counter;      // the text that identifies it (the "id" attribute)
  std::string label;        // the "name" attribute
  std::string description;  // the "desc" attribute
  std::string unit;         // UnitOf(label, description); empty when neither names one
};

// The counters of `document`, in the document's order: every <counter .../> element with an
// id. Attribute values are XML-unescaped.
std::vector<CounterInfo> ReadCollectionCounters(std::string_view document);

// The counter of `counters` whose text is `text`, or null.
const CounterInfo* FindCounter(const std::vector<CounterInfo>& counters, std::string_view text);

// What a counter named by an operator comes to.
struct CounterMatch {
  // The one counter the name stands for, or null.
  const CounterInfo* counter = nullptr;
  // Without a counter: the counters the name fits equally well (an ambiguity, two or more), or,
  // when it fits none, the nearest ones (up to three equally near; empty when none is near).
  std::vector<const CounterInfo*> candidates;
  bool ambiguous = false;
};

// Finds the counter `name` stands for among `counters`. In order, the first rule that leaves
// exactly one counter decides: the counter text as written (this always wins); the label as
// written; the text or label in any case; the text or label in any case without spaces and
// punctuation ("keepalivehits"); a part of the text or label in any case, with or without
// spaces and punctuation ("total number of requests"). A rule that leaves several counters
// makes the name ambiguous; when no rule leaves any, the nearest counters by edit distance are
// the candidates. Pointers point into `counters`.
CounterMatch MatchCounter(const std::vector<CounterInfo>& counters, std::string_view name);

// One line that says why `name` named no single counter, with the candidates of `match`:
// "unknown counter 'x'; did you mean 'A' (label), 'B' (label)?" or "counter 'x' is ambiguous:
// it fits 'A' (label), 'B' (label)".
std::string DescribeCounterMiss(std::string_view name, const CounterMatch& match);

// The value of the server property `name` ("port", "URL") in the document's monitorData, or
// nothing when the document has none.
std::optional<std::string> ReadServerProperty(std::string_view document, std::string_view name);

// The counters of `document` as a table for a person, at most `width` columns wide (counted in
// characters of UTF-8 text): a header, then one line a counter with its label, counter text, unit
// and description; a text longer than its column is cut and ends in "…". On a narrow terminal
// the label and counter columns narrow (to 14 characters at least) to leave the description 24;
// the description takes what the other columns leave (it is left out below 12 columns). Ends with a line that counts
// the counters and names the server defaults.
std::string RenderCounterTable(std::string_view document, std::size_t width);

// `text` with the five predefined entities and numeric character references replaced; a
// reference that cannot be read stays as written.
std::string XmlUnescape(std::string_view text);
// `text` with &, <, > and " escaped.
std::string XmlEscape(std::string_view text);

// The unit of a counter's value, from its label or description: a short unit in parentheses
// at the end of the label ("(ms)"), or a description that says "in milliseconds", "in
// seconds" or counts bytes. Empty when neither names one.
std::string UnitOf(std::string_view label, std::string_view description);

// The unit of a reading: `unit` for a value, `unit` + "/s" for a per-second rate.
std::string ReadingUnit(std::string_view unit, bool rate);

// `document` with the server properties "port" and "URL" of its monitorData set to the given
// values (a property not given keeps what the document says). A property the document lacks is
// added; a text that is not a collection document is replaced by a minimal one.
std::string WithServerProperties(std::string_view document, const std::optional<int>& port,
                                 const std::optional<std::string>& url);

}  // namespace sarvik_host
