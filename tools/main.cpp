// corvane-request: sends one request to a key server and prints the answer; for trying
// the service by hand.
#include "RequestCommand.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "net/CSocketTimeOut.h"
#include "protocol/AuthError.h"
#include "protocol/ConnectError.h"
#include "protocol/InvalidRequest.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Fail(const std::string& message)
{
    std::cerr << "corvane-request: " << message << "\n";
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kRequestUsage;
        return 0;
    }
    std::string error;
    std::optional<RequestCommand> command = ParseRequestCommand(args, error);
    if (!command) {
        std::cerr << "corvane-request: " << error << "\n" << kRequestUsage;
        return 1;
    }
    if (command->passwordFromInput && !std::getline(std::cin, command->password)) {
        return Fail("no password on standard input");
    }
    try {
        RunRequestCommand(*command, std::cout);
        return 0;
    } catch (const KeyServer::AuthError& refused) {
        return Fail(std::string("refused: ") + refused.what());
    } catch (const KeyServer::InvalidRequest& refused) {
        return Fail(std::string("refused: ") + refused.what());
    } catch (const KeyServer::ConnectError& failed) {
        return Fail(std::string("cannot reach ") + command->host + " port " + std::to_string(command->port) + ": " +
                    failed.what());
    } catch (const ZiRez::CSocketTimeOut& timedOut) {
        return Fail(std::string("timed out: ") + timedOut.what());
    } catch (const ZiRez::CSocketError& failed) {
        return Fail(std::string(failed.what()) + " (code " + std::to_string(failed.GetCode()) + ")");
    } catch (const std::exception& failed) {
        return Fail(failed.what());
    }
}
