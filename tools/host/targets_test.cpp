#include "tools/host/targets.h"

#include <gtest/gtest.h>

namespace sarvik_host {
namespace {

TEST(TargetsTest, AHostOrAHostWithItsOwnUserData) {
  Target target;
  std::string error;
  ASSERT_TRUE(ParseTarget("web1", &target, &error)) << error;
  EXPECT_EQ("web1", target.host);
  EXPECT_FALSE(target.user_data.has_value());

  ASSERT_TRUE(ParseTarget("  web2:8080=8080|/https-1/.perf|admin|p=w ", &target, &error)) << error;
  EXPECT_EQ("web2:8080", target.host);
  EXPECT_EQ("8080|/https-1/.perf|admin|p=w", target.user_data.value_or(""));

  ASSERT_TRUE(ParseTarget("[::1]:8080", &target, &error)) << error;
  EXPECT_EQ("[::1]:8080", target.host);
  ASSERT_TRUE(ParseTarget("web3=81|http://web3:81/.perf||", &target, &error)) << error;
}

TEST(TargetsTest, MalformedTargetsAreRefusedWithAReason) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"", "needs a host name"},
      {"=80|/.perf||", "needs a host name"},
      {"http://web1/.perf", "not a host name"},
      {"web 1", "not a host name"},
      {"web1:http", "no port from 1 to 65535"},
      {"web1:0", "no port from 1 to 65535"},
      {":8080", "no host name before its port"},
      {"web1=", "1 field"},
      {"web1=80|/.perf|admin", "3 fields"},
      {"web1=80|/.perf|a|b|c", "fifth field; it must be http or https"},
      {"web1=80|/.perf|a|b|https|x", "6 fields"},
      {"ftp://web1:21", "not a host name"},
      {"https://web1:8443/.perf", "not a host name"},
      {"https://", "needs a host name"},
      {"https://web1:0", "no port from 1 to 65535"},
      {"http://web1:8080=8080|/.perf|||https", "written http:// but its user data names https"},
      {"web1=eighty|/.perf||", "no port"},
      {"web1=99999|/.perf||", "no port"},
      {"web1=80|||", "no statistics URL"},
      {"web1=80|.perf||", "no statistics URL"},
      {"web1=80|/a b||", "no statistics URL"},
  };
  for (const auto& bad : cases) {
    Target target;
    std::string error;
    EXPECT_FALSE(ParseTarget(bad.text, &target, &error)) << bad.text;
    EXPECT_NE(std::string::npos, error.find(bad.expected)) << bad.text << " -> " << error;
  }
}

TEST(TargetsTest, AnUrlWithoutAPathNamesTheScheme) {
  Target target;
  std::string error;
  ASSERT_TRUE(ParseTarget("https://web1:8443", &target, &error)) << error;
  EXPECT_EQ("web1:8443", target.host);
  EXPECT_EQ("https", target.scheme.value_or(""));
  EXPECT_FALSE(target.user_data.has_value());

  ASSERT_TRUE(ParseTarget(" HTTPS://[::1]:8443/ ", &target, &error)) << error;
  EXPECT_EQ("[::1]:8443", target.host);
  EXPECT_EQ("https", target.scheme.value_or(""));

  ASSERT_TRUE(ParseTarget("https://admin.example", &target, &error)) << error;
  EXPECT_EQ("admin.example:443", target.host) << "HTTPS without a port is on 443";

  ASSERT_TRUE(ParseTarget("http://web1:8080", &target, &error)) << error;
  EXPECT_EQ("web1:8080", target.host);
  EXPECT_EQ("http", target.scheme.value_or(""));

  ASSERT_TRUE(ParseTarget("https://web1:8443=8443|/https-admserv/.perf|admin|pw", &target, &error)) << error;
  EXPECT_EQ("8443|/https-admserv/.perf|admin|pw", target.user_data.value_or(""));
  ASSERT_TRUE(ParseTarget("web1=8443|/.perf|||HTTPS", &target, &error)) << error;
  EXPECT_FALSE(target.scheme.has_value());

  ASSERT_TRUE(ParseTarget("web1", &target, &error)) << error;
  EXPECT_FALSE(target.scheme.has_value());

  // HTTP and HTTPS of one host and port are told apart by their names.
  const std::vector<TargetName> names =
      NameTargets({{"web1:8443", {}, "https"}, {"web1:8443", {}, {}}, {"web1:8443", {}, "https"}},
                  {"8443|/.perf|||https", "8443|/.perf||", "8443|/https-b/.perf|||https"});
  ASSERT_EQ(3u, names.size());
  EXPECT_EQ("https://web1:8443", names[0].display);
  EXPECT_EQ("web1:8443", names[1].display);
  EXPECT_EQ("https://web1:8443#2", names[2].display);
}

TEST(TargetsTest, TheSchemeIsTheFifthFieldOfTheUserData) {
  std::string error;
  std::string user_data = "8443|/.perf|admin|pw";
  ASSERT_TRUE(SetUserDataScheme("https", &user_data, &error)) << error;
  EXPECT_EQ("8443|/.perf|admin|pw|https", user_data);
  ASSERT_TRUE(SetUserDataScheme("https", &user_data, &error)) << error;
  EXPECT_EQ("8443|/.perf|admin|pw|https", user_data) << "set once";
  ASSERT_TRUE(SetUserDataScheme("http", &user_data, &error)) << error;
  EXPECT_EQ("8443|/.perf|admin|pw", user_data) << "plain HTTP is four fields";
  EXPECT_TRUE(CheckUserData("8443|/.perf|admin|pw|https", &error)) << error;
  EXPECT_TRUE(CheckUserData("8443|/.perf|admin|pw|http", &error)) << error;

  user_data = "80|/" + std::string(1015, 'u') + "||";
  ASSERT_TRUE(CheckUserData(user_data, &error)) << error;
  EXPECT_FALSE(SetUserDataScheme("https", &user_data, &error));
  EXPECT_NE(std::string::npos, error.find("longer than 1023")) << error;
}

TEST(TargetsTest, ATargetsFileHasOneTargetALine) {
  std::vector<Target> targets;
  std::string error;
  ASSERT_TRUE(ParseTargetList("# the farm\nweb1\n\n  web2:8080  \r\nweb3=81|/.perf|a|b\n# end", &targets, &error))
      << error;
  ASSERT_EQ(3u, targets.size());
  EXPECT_EQ("web2:8080", targets[1].host);
  EXPECT_EQ("81|/.perf|a|b", targets[2].user_data.value_or(""));

  targets.clear();
  EXPECT_FALSE(ParseTargetList("web1\nweb2=80\n", &targets, &error));
  EXPECT_EQ(0u, error.find("line 2: web2: ")) << error;
}

TEST(TargetsTest, ACommentMayFollowATarget) {
  std::vector<Target> targets;
  std::string error;
  ASSERT_TRUE(ParseTargetList("127.0.0.1:18080\t# first\n127.0.0.1:18081  # second # node\n"
                              "   # indented comment\nweb3=81|/.perf|ops|pa#ss # the password keeps its '#'\n",
                              &targets, &error))
      << error;
  ASSERT_EQ(3u, targets.size());
  EXPECT_EQ("127.0.0.1:18080", targets[0].host);
  EXPECT_EQ("127.0.0.1:18081", targets[1].host);
  EXPECT_FALSE(targets[1].user_data.has_value());
  EXPECT_EQ("81|/.perf|ops|pa#ss", targets[2].user_data.value_or(""));

  targets.clear();
  EXPECT_FALSE(ParseTargetList("web1 # fine\nweb2:http # not a port\n", &targets, &error));
  EXPECT_EQ(0u, error.find("line 2: ")) << error;
}

TEST(TargetsTest, ATargetGivenTwiceIsFound) {
  std::string error;
  // The same page written three ways: host and port, its own user data, and a name in capitals.
  const std::vector<Target> targets = {
      {"127.0.0.1:18080", {}, {}}, {"web1", {}, {}}, {"127.0.0.1", std::string("018080|/.perf|ops|secret|http"), {}}};
  EXPECT_EQ(2u, FindRepeatedTarget(targets, {"18080|/.perf|ops|secret", "80|/.perf||", "018080|/.perf|ops|secret|http"},
                                   &error));
  EXPECT_NE(std::string::npos, error.find("the target '127.0.0.1=018080|/.perf|ops|<password>|http' is given twice"))
      << error;
  EXPECT_NE(std::string::npos, error.find("as '127.0.0.1:18080'")) << error;
  EXPECT_EQ(std::string::npos, error.find("secret")) << error;

  EXPECT_EQ(1u, FindRepeatedTarget({{"WEB1", {}, {}}, {"web1", {}, {}}}, {"80|/.perf||", "80|/.perf||"}, &error));

  // Another port, URL, login or scheme is another target.
  error.clear();
  const std::vector<Target> four(5, Target{"web1", {}, {}});
  EXPECT_EQ(5u, FindRepeatedTarget(four,
                                   {"80|/.perf||", "81|/.perf||", "80|/https-b/.perf||", "80|/.perf|ops|", "80|/.perf|||https"},
                                   &error));
  EXPECT_EQ("", error);
}

TEST(TargetsTest, ADisplayNameKeepsThePortTheTargetIsReadFrom) {
  const std::vector<TargetName> names = NameTargets(
      {{"127.0.0.1", std::string("18080|/.perf||"), {}}, {"127.0.0.1", std::string("18081|/.perf||"), {}},
       {"web1", {}, {}}, {"web2:8080", {}, {}}, {"[::1]:9000", {}, {}}},
      {"18080|/.perf||", "18081|/.perf||", "80|/.perf||", "9090|/.perf||", "9000|/.perf|||https"});
  ASSERT_EQ(5u, names.size());
  EXPECT_EQ("127.0.0.1:18080", names[0].display);
  EXPECT_EQ("127.0.0.1:18081", names[1].display);
  EXPECT_EQ("|127.0.0.1:18081", names[1].id_suffix) << "two targets on one host name";
  EXPECT_EQ("web1:80", names[2].display) << "the port of the configuration";
  EXPECT_EQ("", names[2].id_suffix);
  EXPECT_EQ("web2:9090", names[3].display) << "the port the user data reads from";
  EXPECT_EQ("https://[::1]:9000", names[4].display);
}

TEST(TargetsTest, PasswordsAreMasked) {
  EXPECT_EQ("18080|/.perf|admin|<password>", MaskPassword("18080|/.perf|admin|admin"));
  EXPECT_EQ("443|/.perf|ops|<password>|https", MaskPassword("443|/.perf|ops|s3cret|https"));
  EXPECT_EQ("80|/.perf||", MaskPassword("80|/.perf||")) << "no password, nothing to hide";
  EXPECT_EQ("not user data", MaskPassword("not user data"));
  std::string error;
  EXPECT_FALSE(CheckUserData("http|/.perf|admin|s3cret", &error));
  EXPECT_EQ(std::string::npos, error.find("s3cret")) << error;
  EXPECT_NE(std::string::npos, error.find("'http|/.perf|admin|<password>'")) << error;
  EXPECT_FALSE(CheckUserData("80|/.perf|admin|s3cret|ftp", &error));
  EXPECT_EQ(std::string::npos, error.find("s3cret")) << error;
}

TEST(TargetsTest, HostNamesAndPortsAsThePlugInCutsThem) {
  EXPECT_EQ("web1", TrimHost("web1:8080"));
  EXPECT_EQ("web1", TrimHost("web1"));
  EXPECT_EQ("[::1]", TrimHost("[::1]:8080"));
  EXPECT_EQ(8080, PortOfHostText("web1:8080").value_or(0));
  EXPECT_EQ(8080, PortOfHostText("[::1]:8080").value_or(0));
  EXPECT_FALSE(PortOfHostText("web1").has_value());
  EXPECT_FALSE(PortOfHostText("web1:").has_value());
}

TEST(TargetsTest, TargetsThatShareAHostNameGetTheirOwnIdentifiers) {
  const std::vector<TargetName> names =
      NameTargets({{"127.0.0.1:1001", {}, {}}, {"127.0.0.1:1002", {}, {}}, {"web1", {}, {}}, {"web1", {}, {}},
                   {"web2:80", {}, {}}},
                  {"1001|/.perf||", "1002|/.perf||", "80|/a/.perf||", "80|/b/.perf||", "80|/.perf||"});
  ASSERT_EQ(5u, names.size());
  EXPECT_EQ("127.0.0.1:1001", names[0].display);
  EXPECT_EQ("|127.0.0.1:1001", names[0].id_suffix);
  EXPECT_EQ("|127.0.0.1:1002", names[1].id_suffix);
  EXPECT_EQ("web1:80", names[2].display);
  EXPECT_EQ("web1:80#2", names[3].display) << "one host and port, two pages";
  EXPECT_EQ("|web1:80#2", names[3].id_suffix);
  EXPECT_EQ("web2:80", names[4].display);
  EXPECT_EQ("", names[4].id_suffix) << "a host of its own keeps the plain counter text";
}

TEST(TargetsTest, NumbersOfSecondsAndIntegers) {
  double seconds = 0;
  EXPECT_TRUE(ParseSeconds("2", 0.1, 10, &seconds));
  EXPECT_DOUBLE_EQ(2, seconds);
  EXPECT_TRUE(ParseSeconds("0.25", 0.1, 10, &seconds));
  EXPECT_FALSE(ParseSeconds("0", 0.1, 10, &seconds));
  EXPECT_FALSE(ParseSeconds("1e3", 0.1, 10000, &seconds));
  EXPECT_FALSE(ParseSeconds("", 0.1, 10, &seconds));
  EXPECT_FALSE(ParseSeconds("2s", 0.1, 10, &seconds));
  long value = 0;
  EXPECT_TRUE(ParseInteger("65535", 1, 65535, &value));
  EXPECT_FALSE(ParseInteger("+5", 1, 65535, &value));
  EXPECT_FALSE(ParseInteger("99999999999999999999", 1, 65535, &value));
}

}  // namespace
}  // namespace sarvik_host
