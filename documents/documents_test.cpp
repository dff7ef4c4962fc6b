#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "documents/host_document.h"
#include "documents/measurements_collection.h"

namespace {

CounterDefinition Definition(const char* counter, const char* label, const char* description) {
  CounterDefinition definition;
  std::memset(&definition, 0, sizeof definition);
  std::strcpy(definition.counter, counter);
  std::strcpy(definition.label, label);
  std::strcpy(definition.description, description);
  return definition;
}

TEST(MeasurementsCollectionTest, IsTheDocumentByteForByte) {
  const CounterDefinition definitions[] = {Definition("KeepAliveHits", "Keep-alive hits", "Hits per second."),
                                           Definition("", "", "")};
  const Profile configuration = Profile::Parse("[Netscape]\nserverPort=8080\ninfoURL=http://%s/.perf\n");
  EXPECT_EQ(
      "<?xml version=\"1.0\" ?>\n"
      "<PerformanceMonitor>\n"
      "<counter id=\"KeepAliveHits\" name=\"Keep-alive hits\" desc=\"Hits per second.\"/>\n"
      "<counter id=\"\" name=\"\" desc=\"\"/>\n"
      "<monitorData>\n"
      "<prop name=\"port\"><value>8080</value></prop><prop name=\"URL\"><value>http://web1:81/.perf</value></prop>"
      "</monitorData>\n"
      "</PerformanceMonitor>\n",
      BuildMeasurementsCollection(definitions, "web1:81", configuration));

  EXPECT_EQ(
      "<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n<monitorData>\n"
      "<prop name=\"port\"><value>80</value></prop><prop name=\"URL\"><value></value></prop></monitorData>\n"
      "</PerformanceMonitor>\n",
      BuildMeasurementsCollection({}, "web1", Profile::Parse("")));
}

TEST(MeasurementsCollectionTest, ValuesAreEscapedAndTheUrlIsNeverAFormat) {
  const CounterDefinition definitions[] = {Definition("a<b", "\"quoted\" & more", "x > y")};
  const std::string document = BuildMeasurementsCollection(
      definitions, "web1", Profile::Parse("[Netscape]\ninfoURL=/%s/%d/%n/100%%/%\n"));
  EXPECT_NE(std::string::npos,
            document.find("<counter id=\"a&lt;b\" name=\"&quot;quoted&quot; &amp; more\" desc=\"x &gt; y\"/>"));
  EXPECT_NE(std::string::npos, document.find("<value>/web1/%d/%n/100%/%</value>"));
  EXPECT_EQ("/.perf", ExpandInfoUrl("/.perf", "web1"));
  EXPECT_EQ("web1web1", ExpandInfoUrl("%s%s", "web1"));
}

HostMachineRecord Machine(const char* host, const char* login, const char* password) {
  HostMachineRecord machine;
  std::memset(&machine, 0, sizeof machine);
  std::strcpy(machine.host, host);
  std::strcpy(machine.login, login);
  std::strcpy(machine.password, password);
  return machine;
}

std::string Document(const std::string& port, const std::string& url) {
  return "<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n<counter id=\"x\" name=\"y\" desc=\"z\"/>\n<monitorData>\n"
         "<prop name=\"port\"><value>" + port + "</value></prop><prop name=\"URL\"><value>" + url +
         "</value></prop></monitorData>\n</PerformanceMonitor>\n";
}

TEST(UserDataDocumentTest, PropertiesComeFromTheDocumentOrEachFromTheConfiguration) {
  const Profile configuration = Profile::Parse("[Netscape]\nserverPort=81\ninfoURL=http://%s/.perf\n");
  const HostMachineRecord machine = Machine("web1", "admin", "");
  EXPECT_EQ("8080|http://web1:8080/stats|admin|",
            ComposeUserData(machine, Document("8080", "http://web1:8080/stats"), configuration));
  EXPECT_EQ("81|http://web1/.perf|admin|",
            ComposeUserData(machine, "<PerformanceMonitor><other/></PerformanceMonitor>", configuration));
  EXPECT_EQ("81|/only/url|admin|", ComposeUserData(machine, Document("", "/only/url"), configuration));
  EXPECT_EQ("9000|http://web1/.perf|admin|", ComposeUserData(machine, Document("9000", ""), configuration));
  EXPECT_EQ("0|/u|admin|", ComposeUserData(machine, Document("port", "/u"), configuration));
  // Element text includes its descendants' text.
  EXPECT_EQ("81|/a/b|admin|", ComposeUserData(machine, Document("", "/a<i>/b</i>"), configuration));
}

TEST(UserDataDocumentTest, AnHttpsConfigurationAddsTheSchemeAndHttpLeavesTheFourFields) {
  const HostMachineRecord machine = Machine("web1", "admin", "pw");
  const std::string document = Document("8443", "/https-admserv/.perf");
  EXPECT_EQ("8443|/https-admserv/.perf|admin|pw|https",
            ComposeUserData(machine, document, Profile::Parse("[Netscape]\nserverScheme=https\n")));
  EXPECT_EQ("8443|/https-admserv/.perf|admin|pw",
            ComposeUserData(machine, document, Profile::Parse("[Netscape]\nserverScheme=http\n")));
  EXPECT_EQ("8443|/https-admserv/.perf|admin|pw", ComposeUserData(machine, document, Profile::Parse("")));
  // The collection document, which hosts also keep and hand back, is the same either way.
  const std::string http = BuildMeasurementsCollection({}, "web1", Profile::Parse("[Netscape]\nserverPort=8443\n"));
  EXPECT_EQ(http, BuildMeasurementsCollection(
                      {}, "web1", Profile::Parse("[Netscape]\nserverPort=8443\nserverScheme=https\n")));
}

TEST(UserDataDocumentTest, AnythingButAWellFormedDocumentFallsBackToTheConfiguration) {
  const Profile configuration = Profile::Parse("[Netscape]\nserverPort=81\ninfoURL=http://%s/.perf\n");
  for (const char* document : {"", "not xml at all", "<PerformanceMonitor><monitorData>", "<a></b>"}) {
    EXPECT_EQ("81|http://web1:99/.perf|user|pw", ComposeUserData(Machine("web1:99", "user", "pw"), document, configuration))
        << document;
  }
  // Before the configuration is known: port 80 and an empty URL.
  EXPECT_EQ("80||user|pw", ComposeUserData(Machine("web1", "user", "pw"), "", Profile::Parse("")));
}

TEST(UserDataDocumentTest, LongAndUnterminatedInputStaysWithinItsHolders) {
  HostMachineRecord machine;
  std::memset(&machine, 'x', sizeof machine);  // no field is terminated
  const std::string composed = ComposeUserData(machine, Document("1", std::string(5000, 'u')), Profile::Parse(""));
  EXPECT_EQ(1023u, composed.size());
  EXPECT_EQ(0u, composed.find("1|uuu"));

  const std::string from_fields = ComposeUserData(machine, "", Profile::Parse("[Netscape]\ninfoURL=%s\n"));
  EXPECT_EQ("80|" + std::string(129, 'x') + "|" + std::string(129, 'x') + "|" + std::string(129, 'x'), from_fields);
}

}  // namespace
