#include "AdminTest.h"

namespace {

TEST_F(AdminTest, UsageErrorsExitWithTwoAndSayWhatToDo)
{
    const struct
    {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{}, "no command given: see 'corvane-admin --help'"},
        {{"help", "lst"}, "unknown command 'lst': see 'corvane-admin --help'"},
        {{"list", "--yes"}, "list takes no option --yes: see 'corvane-admin list --help'"},
        {{"list", "--timeout", "3"}, "list takes no option --timeout: see 'corvane-admin list --help'"},
        {{"copy", "--timeout", "0", "host", "--all"},
         "--timeout needs a number of seconds from 1 to 3600: see 'corvane-admin copy --help'"},
        {{"status", "--timeout"},
         "--timeout needs a number of seconds from 1 to 3600: see 'corvane-admin status --help'"},
        {{"status", "--timeout", "1.5"},
         "--timeout needs a number of seconds from 1 to 3600: see 'corvane-admin status --help'"},
        {{"health", "--timeout", "0.0001"},
         "--timeout needs a number of seconds above 0 and up to 3600 (as 0.5): see 'corvane-admin health --help'"},
        {{"health", "--timeout", "3600.5"},
         "--timeout needs a number of seconds above 0 and up to 3600 (as 0.5): see 'corvane-admin health --help'"},
        {{"health", "--timeout", ".5"},
         "--timeout needs a number of seconds above 0 and up to 3600 (as 0.5): see 'corvane-admin health --help'"},
        {{"delete"}, "too few arguments for delete: see 'corvane-admin delete --help'"},
        {{"port", "1", "2"}, "too many arguments for port: see 'corvane-admin port --help'"},
        {{"password", "on"}, "password takes set or off, not 'on': see 'corvane-admin password --help'"},
        {{"copy", "host"}, "no IDs: name the IDs to copy, or --all: see 'corvane-admin copy --help'"},
        {{"copy", "[::1:51056", "--all"},
         "'[::1:51056' names no key server: write HOST, HOST:PORT or [IPV6-ADDRESS]:PORT"},
        {{"fetch", "[::1]51056", "X"},
         "'[::1]51056' names no key server: write HOST, HOST:PORT or [IPV6-ADDRESS]:PORT"},
        {{"fetch", "host:65536", "X"}, "the port in host:65536 is not a number up to 65535"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), 2) << c.err;
        EXPECT_EQ(err, "corvane-admin: " + c.err + "\n");
        EXPECT_EQ(out, "");
    }
    for (const std::vector<std::string>& help :
         {std::vector<std::string>{"--help"}, {"help", "copy"}, {"copy", "-h"}}) {
        EXPECT_EQ(Run(help), 0);
        EXPECT_EQ(out.find("Usage: corvane-admin "), 0u);
        EXPECT_EQ(err, "");
    }
}

} // namespace
