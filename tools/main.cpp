// corvane-request: sends one request to a key server and prints the answer; for trying
// the service by hand.
#include "RequestCommand.h"
#include "net/CWinsockSession.h"
#include "platform/ProgramInfo.h"
#include "platform/SafeText.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message, int code)
{
    std::cerr << "corvane-request: " << SafeText(message) << "\n";
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    const ZiRez::CWinsockSession sockets;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const auto text = args.size() == 1 ? InfoText(args[0], kRequestUsage, "corvane-request") : std::nullopt) {
        std::cout << *text;
        return 0;
    }
    std::string error;
    std::optional<RequestCommand> command = ParseRequestCommand(args, error);
    if (!command) {
        std::cerr << "corvane-request: " << SafeText(error) << "\n" << kRequestUsage;
        return kExitUsage;
    }
    if (command->passwordFromInput && !std::getline(std::cin, command->password)) {
        return Fail("no password on standard input", kExitFailed);
    }
    if (RunRequestCommand(*command, std::cout, error) != 0) {
        return Fail(error, kExitFailed);
    }
    return 0;
}
